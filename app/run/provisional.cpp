#include "transfer/frmatualizacao.h"

// Provisional bodies until the run driver is built.
namespace velmora {
void Frmatualizacao::excluir_tabela_anterior() {}
void Frmatualizacao::tempo_Timer() {}
}  // namespace velmora
