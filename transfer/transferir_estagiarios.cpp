#include "db/conexao.h"
#include "transfer/field_rules.h"
#include "transfer/frmatualizacao.h"
#include "transfer/intern_statements.h"

namespace velmora {

namespace {

// The value of `column` in the current row of `rs`.
Value column_of(const Slot<Recordset>& rs, const std::string& column) {
  return rs->Fields().Item(column).Value();
}

// Runs a look-up on the source connection into CONEXAO.rs2; true when it
// returned a row.
bool look_up(const std::string& statement) {
  sql = statement;
  CONEXAO.rs2 = CONEXAO.cn->Execute(sql);
  return !CONEXAO.rs2->Eof();
}

}  // namespace

void Frmatualizacao::transferir_estagiarios() {
  using namespace rules;
  RegEstagiario& r = reg_estagiario;

  sql = "Delete from cons_estagiario";
  Conexao2.cn->Execute(sql);
  sql = "Select * from vlmr_estagiario";
  CONEXAO.rs = CONEXAO.cn->Execute(sql);

  while (!CONEXAO.rs->Eof()) {
    auto source = [](const std::string& column) { return column_of(CONEXAO.rs, column); };
    auto found = [](const std::string& column) { return column_of(CONEXAO.rs2, column); };

    cons_limpar();
    r.matricula = rule_T(source("matricula"), "matricula");

    r.concurso = rule_T(source("concurso"), "concurso");
    if (!r.concurso.empty() && look_up(exam_lookup_statement(r.concurso))) {
      r.concurso = rule_T(found("descricao"), "descricao");
    }

    r.bolsa = rule_T(source("id_bolsa"), "id_bolsa");
    if (!r.bolsa.empty() && look_up(grant_lookup_statement(r.bolsa))) {
      r.bolsa = rule_T(found("descricao"), "descricao");
    }

    r.elogio = rule_T_null(source("elogio"), "elogio");
    r.sancao = rule_T_null(source("sancao"), "sancao");
    if (!r.elogio.empty() || !r.sancao.empty()) Cons_Sancao();

    if (look_up(assignment_lookup_statement(r.matricula))) {
      r.Dt_inidesignacao = rule_D(found("dt_ini"), "dt_ini");
      r.Dt_findesignacao = rule_D_null(found("dt_fin"), "dt_fin");
      conexao3.buscar_orgao(rule_T(found("Id_orgao"), "Id_orgao"));
      r.orgao = conexao3.nome_orgao;
    }

    if (look_up(interruption_lookup_statement(r.matricula))) {
      r.Dt_ininterrupcao = rule_D(found("dtinicio"), "dtinicio");
      r.Dt_prevfinterrupcao = rule_D_null(found("dtprevfim"), "dtprevfim");
      r.Dt_finterrupcao = rule_D_null(found("dtfim"), "dtfim");
      r.motivo_interrupcao = rule_R(found("motivo"), "motivo");
    }

    // oficial reads concurso as the exam look-up left it.
    r.oficial = admission_text(rule_T(source("oficial"), "oficial"), r.concurso);
    r.nome = rule_T(source("nome"), "nome");
    r.sexo = sex_text(rule_T(source("sexo"), "sexo"));
    r.filiacao = rule_T(source("filiacao"), "filiacao");
    r.cpf = rule_T(source("cpf"), "cpf");
    r.logradouro = rule_T(source("logradouro"), "logradouro");
    r.complemento = rule_T(source("Complemento"), "Complemento");
    r.numero = rule_N(source("Numero"), "Numero");
    r.bairro = rule_T(source("Bairro"), "Bairro");
    r.cidade = rule_T(source("cidade"), "cidade");
    r.uf = rule_T(source("uf"), "uf");
    r.cep = rule_T(source("cep"), "cep");
    r.telefone = rule_T(source("telefone"), "telefone");
    r.celular = rule_T(source("celular"), "celular");
    r.email = rule_T(source("email"), "email");
    r.faculdade = rule_T(source("faculdade"), "faculdade");
    r.baifacu = rule_T(source("baifacu"), "baifacu");
    r.cidadefacu = rule_T(source("cidadefacu"), "cidadefacu");
    r.periodo = rule_T(source("periodo"), "periodo");
    r.turno = shift_text(rule_T(source("turno"), "turno"));
    r.prevcolacao = rule_D_empty(source("prevcolacao"), "prevcolacao");
    r.dtiniestagio = rule_D_empty(source("dtiniestagio"), "dtiniestagio");
    r.dtfinestagio = rule_D_empty(source("dtfinestagio"), "dtfinestagio");
    r.situacao = status_text(rule_T(source("situacao"), "situacao"));
    r.tpdeslig = rule_T(source("tpdeslig"), "tpdeslig");
    r.matanterior = rule_K(source("matanterior"), "matanterior");

    sql = intern_insert_statement(r);
    Conexao2.cn->Execute(sql);
    CONEXAO.rs->MoveNext();
  }
}

}  // namespace velmora
