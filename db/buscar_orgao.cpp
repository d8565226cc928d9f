#include "db/conexao.h"

// Provisional body until the unit lookup is built.
namespace velmora {
void Conexao3Module::buscar_orgao(const std::string&) { nome_orgao.clear(); }
}  // namespace velmora
