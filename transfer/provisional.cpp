#include "transfer/frmatualizacao.h"

// Provisional bodies until the transfers are built.
namespace velmora {
void Frmatualizacao::transferir_estagiarios() {}
void Frmatualizacao::Cons_Sancao() {}
void Frmatualizacao::transferir_pagamentos() {}
}  // namespace velmora
