#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "db/value.h"
#include "transfer/frmatualizacao.h"

// How every field of the intern working record is filled, and how the
// filled record is laid out in its cons_estagiario insert: data that the
// intern transfer walks and the insert builder reads.
namespace velmora::intern_fields {

// The point of the intern transfer at which a field is read, which also
// names the row it is read from. The transfer takes the steps in this order
// and the look-ups between them; within a step fields are read in table
// order.
enum class Step {
  kRegistration,  // the intern's row: matricula, which the look-ups use
  kExamCode,      // the intern's row: the selection-exam code
  kExam,          // the exam look-up's row, when it found the exam
  kGrantCode,     // the intern's row: the grant code
  kGrant,         // the grant look-up's row, when it found the grant
  kTexts,         // the intern's row: commendation and sanction texts
  kAssignment,    // the latest assignment's row, when there is one
  kInterruption,  // the latest interruption's row, when there is one
  kIntern,        // the intern's row: every other field, after the look-ups
};

// The rule by which a source value becomes the field's text (transfer/field_rules.h).
enum class Rule { kT, kTNull, kD, kDNull, kDEmpty, kN, kK, kR };

// The code table applied to the rule's result.
enum class Codes { kNone, kAdmission, kSex, kShift, kStatus };

struct Field {
  Step step;
  std::string RegEstagiario::*member;
  std::string_view column;  // of the step's row, matched without regard to letter case
  Rule rule;
  Codes codes = Codes::kNone;
};

using R = RegEstagiario;

// Every field in the order the transfer reads it. `orgao` first holds the
// unit code, which the unit look-up then replaces by the unit's text, as
// `concurso` and `bolsa` hold their codes until a look-up finds them.
// `oficial` is read after the exam look-up: its text for "O" ends with the
// exam's description.
inline constexpr std::array kFields{
    Field{Step::kRegistration, &R::matricula, "matricula", Rule::kT},
    Field{Step::kExamCode, &R::concurso, "concurso", Rule::kT},
    Field{Step::kExam, &R::concurso, "descricao", Rule::kT},
    Field{Step::kGrantCode, &R::bolsa, "id_bolsa", Rule::kT},
    Field{Step::kGrant, &R::bolsa, "descricao", Rule::kT},
    Field{Step::kTexts, &R::elogio, "elogio", Rule::kTNull},
    Field{Step::kTexts, &R::sancao, "sancao", Rule::kTNull},
    Field{Step::kAssignment, &R::Dt_inidesignacao, "dt_ini", Rule::kD},
    Field{Step::kAssignment, &R::Dt_findesignacao, "dt_fin", Rule::kDNull},
    Field{Step::kAssignment, &R::orgao, "Id_orgao", Rule::kT},
    Field{Step::kInterruption, &R::Dt_ininterrupcao, "dtinicio", Rule::kD},
    Field{Step::kInterruption, &R::Dt_prevfinterrupcao, "dtprevfim", Rule::kDNull},
    Field{Step::kInterruption, &R::Dt_finterrupcao, "dtfim", Rule::kDNull},
    Field{Step::kInterruption, &R::motivo_interrupcao, "motivo", Rule::kR},
    Field{Step::kIntern, &R::oficial, "oficial", Rule::kT, Codes::kAdmission},
    Field{Step::kIntern, &R::nome, "nome", Rule::kT},
    Field{Step::kIntern, &R::sexo, "sexo", Rule::kT, Codes::kSex},
    Field{Step::kIntern, &R::filiacao, "filiacao", Rule::kT},
    Field{Step::kIntern, &R::cpf, "cpf", Rule::kT},
    Field{Step::kIntern, &R::logradouro, "logradouro", Rule::kT},
    Field{Step::kIntern, &R::complemento, "Complemento", Rule::kT},
    Field{Step::kIntern, &R::numero, "Numero", Rule::kN},
    Field{Step::kIntern, &R::bairro, "Bairro", Rule::kT},
    Field{Step::kIntern, &R::cidade, "cidade", Rule::kT},
    Field{Step::kIntern, &R::uf, "uf", Rule::kT},
    Field{Step::kIntern, &R::cep, "cep", Rule::kT},
    Field{Step::kIntern, &R::telefone, "telefone", Rule::kT},
    Field{Step::kIntern, &R::celular, "celular", Rule::kT},
    Field{Step::kIntern, &R::email, "email", Rule::kT},
    Field{Step::kIntern, &R::faculdade, "faculdade", Rule::kT},
    Field{Step::kIntern, &R::baifacu, "baifacu", Rule::kT},
    Field{Step::kIntern, &R::cidadefacu, "cidadefacu", Rule::kT},
    Field{Step::kIntern, &R::periodo, "periodo", Rule::kT},
    Field{Step::kIntern, &R::turno, "turno", Rule::kT, Codes::kShift},
    Field{Step::kIntern, &R::prevcolacao, "prevcolacao", Rule::kDEmpty},
    Field{Step::kIntern, &R::dtiniestagio, "dtiniestagio", Rule::kDEmpty},
    Field{Step::kIntern, &R::dtfinestagio, "dtfinestagio", Rule::kDEmpty},
    Field{Step::kIntern, &R::situacao, "situacao", Rule::kT, Codes::kStatus},
    Field{Step::kIntern, &R::tpdeslig, "tpdeslig", Rule::kT},
    Field{Step::kIntern, &R::matanterior, "matanterior", Rule::kK},
};

// One column of the cons_estagiario insert, in the insert's order. The
// column is named as its field; a bare value is written without quotes (it
// must read as a number). The insert's text has a blank after three column
// names and after four values' commas, where its layout always had one.
struct Column {
  std::string_view name;
  std::string RegEstagiario::*member;
  bool bare = false;
  bool blank_after_name = false;
  bool blank_after_value = false;
};

// The 36 columns of cons_estagiario in the order of its insert.
inline constexpr std::array kColumns{
    Column{"matricula", &R::matricula},
    Column{"oficial", &R::oficial},
    Column{"concurso", &R::concurso},
    Column{"bolsa", &R::bolsa},
    Column{"orgao", &R::orgao},
    Column{"nome", &R::nome},
    Column{"sexo", &R::sexo},
    Column{"filiacao", &R::filiacao, false, false, true},
    Column{"cpf", &R::cpf},
    Column{"logradouro", &R::logradouro},
    Column{"numero", &R::numero, true},
    Column{"complemento", &R::complemento, false, true},
    Column{"bairro", &R::bairro},
    Column{"cidade", &R::cidade},
    Column{"uf", &R::uf},
    Column{"cep", &R::cep},
    Column{"telefone", &R::telefone, false, false, true},
    Column{"celular", &R::celular},
    Column{"email", &R::email},
    Column{"faculdade", &R::faculdade},
    Column{"baifacu", &R::baifacu},
    Column{"cidadefacu", &R::cidadefacu},
    Column{"periodo", &R::periodo},
    Column{"turno", &R::turno},
    Column{"prevcolacao", &R::prevcolacao, false, true, true},
    Column{"dtiniestagio", &R::dtiniestagio},
    Column{"dtfinestagio", &R::dtfinestagio},
    Column{"Dt_inidesignacao", &R::Dt_inidesignacao},
    Column{"Dt_findesignacao", &R::Dt_findesignacao},
    Column{"situacao", &R::situacao},
    Column{"tpdeslig", &R::tpdeslig},
    Column{"matanterior", &R::matanterior, false, false, true},
    Column{"Dt_ininterrupcao", &R::Dt_ininterrupcao},
    Column{"Dt_prevfinterrupcao", &R::Dt_prevfinterrupcao},
    Column{"Dt_finterrupcao", &R::Dt_finterrupcao},
    Column{"motivo_interrupcao", &R::motivo_interrupcao, false, true},
};

// Every column is filled by some field rule.
consteval bool every_column_is_read() {
  for (const Column& column : kColumns) {
    bool read = false;
    for (const Field& field : kFields) read = read || field.member == column.member;
    if (!read) return false;
  }
  return true;
}
static_assert(every_column_is_read());

// The field's text for `value` by its rule and code table; `record` gives
// the exam text that the admission code "O" carries. Throws Failure as the
// rule does (transfer/field_rules.h), naming the field's column.
std::string field_text(const Field& field, const Value& value, const RegEstagiario& record);

}  // namespace velmora::intern_fields
