#include "transfer/frmatualizacao.h"

namespace velmora {

Frmatualizacao frmatualizacao;

void Frmatualizacao::cons_limpar() {
  reg_estagiario = RegEstagiario{};
  reg_estagiario.numero = "0";
}

}  // namespace velmora
