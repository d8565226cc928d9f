#include "transfer/frmatualizacao.h"

// Provisional body until this procedure is built.
namespace velmora {
void Frmatualizacao::excluir_tabela_anterior() {}
}  // namespace velmora
