#include "transfer/frmatualizacao.h"

// Provisional body until this procedure is built.
namespace velmora {
void Frmatualizacao::transferir_pagamentos() {}
}  // namespace velmora
