#include "db/conexao.h"

// Provisional body until the failure notice is built.
namespace velmora {
void ConexaoModule::enviar_email() {}
}  // namespace velmora
