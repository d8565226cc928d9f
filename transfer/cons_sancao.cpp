#include "transfer/frmatualizacao.h"

// Provisional body until this procedure is built.
namespace velmora {
void Frmatualizacao::Cons_Sancao() {}
}  // namespace velmora
