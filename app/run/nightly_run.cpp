#include "transfer/frmatualizacao.h"

// Provisional body until this procedure is built.
namespace velmora {
void Frmatualizacao::tempo_Timer() {}
}  // namespace velmora
