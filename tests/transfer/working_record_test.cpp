#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/frmatualizacao.h"

namespace velmora {
namespace {

using FieldPtr = std::string RegEstagiario::*;

// Every field of the record, in declared order.
const std::vector<std::pair<const char*, FieldPtr>> kFields = {
    {"matricula", &RegEstagiario::matricula},
    {"oficial", &RegEstagiario::oficial},
    {"concurso", &RegEstagiario::concurso},
    {"bolsa", &RegEstagiario::bolsa},
    {"nome", &RegEstagiario::nome},
    {"sexo", &RegEstagiario::sexo},
    {"filiacao", &RegEstagiario::filiacao},
    {"cpf", &RegEstagiario::cpf},
    {"logradouro", &RegEstagiario::logradouro},
    {"complemento", &RegEstagiario::complemento},
    {"numero", &RegEstagiario::numero},
    {"bairro", &RegEstagiario::bairro},
    {"cidade", &RegEstagiario::cidade},
    {"uf", &RegEstagiario::uf},
    {"cep", &RegEstagiario::cep},
    {"telefone", &RegEstagiario::telefone},
    {"celular", &RegEstagiario::celular},
    {"email", &RegEstagiario::email},
    {"faculdade", &RegEstagiario::faculdade},
    {"baifacu", &RegEstagiario::baifacu},
    {"cidadefacu", &RegEstagiario::cidadefacu},
    {"periodo", &RegEstagiario::periodo},
    {"turno", &RegEstagiario::turno},
    {"prevcolacao", &RegEstagiario::prevcolacao},
    {"dtiniestagio", &RegEstagiario::dtiniestagio},
    {"dtfinestagio", &RegEstagiario::dtfinestagio},
    {"situacao", &RegEstagiario::situacao},
    {"tpdeslig", &RegEstagiario::tpdeslig},
    {"matanterior", &RegEstagiario::matanterior},
    {"sancao", &RegEstagiario::sancao},
    {"elogio", &RegEstagiario::elogio},
    {"orgao", &RegEstagiario::orgao},
    {"Dt_inidesignacao", &RegEstagiario::Dt_inidesignacao},
    {"Dt_findesignacao", &RegEstagiario::Dt_findesignacao},
    {"Dt_ininterrupcao", &RegEstagiario::Dt_ininterrupcao},
    {"Dt_prevfinterrupcao", &RegEstagiario::Dt_prevfinterrupcao},
    {"Dt_finterrupcao", &RegEstagiario::Dt_finterrupcao},
    {"motivo_interrupcao", &RegEstagiario::motivo_interrupcao},
};

// A field added to the record without being listed above would escape the
// checks below.
static_assert(sizeof(RegEstagiario) == 38 * sizeof(std::string));

Frmatualizacao filled_window() {
  Frmatualizacao w;
  for (const auto& [name, field] : kFields) w.reg_estagiario.*field = std::string("old ") + name;
  w.anomes = "202601";
  w.valor = "1500.5";
  w.dtproc = "2026-01-05";
  w.erro_execucao = "-2147467259 - falha";
  return w;
}

TEST(WorkingRecord, ClearingEmptiesEveryFieldButNumero) {
  Frmatualizacao w = filled_window();
  w.cons_limpar();
  for (const auto& [name, field] : kFields) {
    EXPECT_EQ(w.reg_estagiario.*field, std::string(name) == "numero" ? "0" : "") << name;
  }
}

TEST(WorkingRecord, ClearingTwiceIsClearingOnce) {
  Frmatualizacao once = filled_window();
  once.cons_limpar();
  Frmatualizacao twice = filled_window();
  twice.cons_limpar();
  twice.cons_limpar();
  EXPECT_EQ(once.reg_estagiario, twice.reg_estagiario);
}

TEST(WorkingRecord, ClearingLeavesRunOutcomeAndPaymentFieldsAlone) {
  Frmatualizacao w = filled_window();
  w.cons_limpar();
  EXPECT_EQ(w.erro_execucao, "-2147467259 - falha");
  EXPECT_EQ(w.anomes, "202601");
  EXPECT_EQ(w.valor, "1500.5");
  EXPECT_EQ(w.dtproc, "2026-01-05");
}

}  // namespace
}  // namespace velmora
