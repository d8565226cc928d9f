#include "core/failure.h"
#include "db/conexao.h"
#include "transfer/frmatualizacao.h"
#include "transfer/intern_fields.h"
#include "transfer/intern_statements.h"

namespace velmora {

namespace {

using intern_fields::Step;

// Fills the fields that `step` reads from the current row of `rs`, in table
// order.
void fill(RegEstagiario& record, Step step, const Slot<Recordset>& rs) {
  for (const intern_fields::Field& field : intern_fields::kFields) {
    if (field.step != step) continue;
    const Value& value = rs->Fields().Item(field.column).Value();
    record.*field.member = intern_fields::field_text(field, value, record);
  }
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
  RegEstagiario& r = reg_estagiario;

  sql = "Delete from cons_estagiario";
  Conexao2.cn->Execute(sql);
  sql = "Select * from vlmr_estagiario";
  CONEXAO.rs = CONEXAO.cn->Execute(sql);

  for (long row = 1; !CONEXAO.rs->Eof(); ++row) {
    // A failure while this intern is read, translated or written names it,
    // so that the operator can find the row: by its matricula once that is
    // read, by its place in the row set before.
    bool registration_read = false;
    try {
      cons_limpar();
      fill(r, Step::kRegistration, CONEXAO.rs);
      registration_read = true;

      fill(r, Step::kExamCode, CONEXAO.rs);
      if (!r.concurso.empty() && look_up(exam_lookup_statement(r.concurso))) {
        fill(r, Step::kExam, CONEXAO.rs2);
      }

      fill(r, Step::kGrantCode, CONEXAO.rs);
      if (!r.bolsa.empty() && look_up(grant_lookup_statement(r.bolsa))) {
        fill(r, Step::kGrant, CONEXAO.rs2);
      }

      fill(r, Step::kTexts, CONEXAO.rs);
      if (!r.elogio.empty() || !r.sancao.empty()) Cons_Sancao();

      if (look_up(assignment_lookup_statement(r.matricula))) {
        fill(r, Step::kAssignment, CONEXAO.rs2);
        // orgao holds the unit code until the unit look-up gives its text.
        conexao3.buscar_orgao(r.orgao);
        r.orgao = conexao3.nome_orgao;
      }

      if (look_up(interruption_lookup_statement(r.matricula))) {
        fill(r, Step::kInterruption, CONEXAO.rs2);
      }

      fill(r, Step::kIntern, CONEXAO.rs);

      sql = intern_insert_statement(r);
      Conexao2.cn->Execute(sql);
    } catch (const Failure& failure) {
      throw naming_row(failure, registration_read && !r.matricula.empty()
                                    ? "matricula " + shown_value(r.matricula)
                                    : "row " + std::to_string(row) + " of vlmr_estagiario");
    }
    CONEXAO.rs->MoveNext();
  }
}

}  // namespace velmora
