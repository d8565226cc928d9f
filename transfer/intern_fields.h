#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "db/value.h"
#include "transfer/field_rules.h"
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

// The rule by which a source value becomes the field's text
// (transfer/field_rules.h), given the value and the column's name.
using Rule = std::string (*)(const Value& value, std::string_view column);

// The code table applied to the rule's result; `record` gives the exam
// text that the admission code "O" carries.
using Codes = std::string (*)(const std::string& text, const RegEstagiario& record);

inline constexpr Codes kAdmission = [](const std::string& text, const RegEstagiario& record) {
  return rules::admission_text(text, record.concurso);
};
inline constexpr Codes kSex = [](const std::string& text, const RegEstagiario&) {
  return rules::sex_text(text);
};
inline constexpr Codes kShift = [](const std::string& text, const RegEstagiario&) {
  return rules::shift_text(text);
};
inline constexpr Codes kStatus = [](const std::string& text, const RegEstagiario&) {
  return rules::status_text(text);
};

struct Field {
  Step step;
  std::string RegEstagiario::*member;
  std::string_view column;  // of the step's row, matched without regard to letter case
  Rule rule;
  Codes codes = nullptr;  // none: the rule's text is the field's
};

using R = RegEstagiario;
using rules::rule_D;
using rules::rule_D_empty;
using rules::rule_D_null;
using rules::rule_K;
using rules::rule_N;
using rules::rule_R;
using rules::rule_T;
using rules::rule_T_null;

// Every field in the order the transfer reads it. `orgao` first holds the
// unit code, which the unit look-up then replaces by the unit's text, as
// `concurso` and `bolsa` hold their codes until a look-up finds them.
// `oficial` is read after the exam look-up: its text for "O" ends with the
// exam's description.
inline constexpr std::array kFields{
    Field{.step = Step::kRegistration,
          .member = &R::matricula,
          .column = "matricula",
          .rule = rule_T},
    Field{.step = Step::kExamCode, .member = &R::concurso, .column = "concurso", .rule = rule_T},
    Field{.step = Step::kExam, .member = &R::concurso, .column = "descricao", .rule = rule_T},
    Field{.step = Step::kGrantCode, .member = &R::bolsa, .column = "id_bolsa", .rule = rule_T},
    Field{.step = Step::kGrant, .member = &R::bolsa, .column = "descricao", .rule = rule_T},
    Field{.step = Step::kTexts, .member = &R::elogio, .column = "elogio", .rule = rule_T_null},
    Field{.step = Step::kTexts, .member = &R::sancao, .column = "sancao", .rule = rule_T_null},
    Field{.step = Step::kAssignment,
          .member = &R::Dt_inidesignacao,
          .column = "dt_ini",
          .rule = rule_D},
    Field{.step = Step::kAssignment,
          .member = &R::Dt_findesignacao,
          .column = "dt_fin",
          .rule = rule_D_null},
    Field{.step = Step::kAssignment, .member = &R::orgao, .column = "Id_orgao", .rule = rule_T},
    Field{.step = Step::kInterruption,
          .member = &R::Dt_ininterrupcao,
          .column = "dtinicio",
          .rule = rule_D},
    Field{.step = Step::kInterruption,
          .member = &R::Dt_prevfinterrupcao,
          .column = "dtprevfim",
          .rule = rule_D_null},
    Field{.step = Step::kInterruption,
          .member = &R::Dt_finterrupcao,
          .column = "dtfim",
          .rule = rule_D_null},
    Field{.step = Step::kInterruption,
          .member = &R::motivo_interrupcao,
          .column = "motivo",
          .rule = rule_R},
    Field{.step = Step::kIntern,
          .member = &R::oficial,
          .column = "oficial",
          .rule = rule_T,
          .codes = kAdmission},
    Field{.step = Step::kIntern, .member = &R::nome, .column = "nome", .rule = rule_T},
    Field{
        .step = Step::kIntern, .member = &R::sexo, .column = "sexo", .rule = rule_T, .codes = kSex},
    Field{.step = Step::kIntern, .member = &R::filiacao, .column = "filiacao", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::cpf, .column = "cpf", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::logradouro, .column = "logradouro", .rule = rule_T},
    Field{
        .step = Step::kIntern, .member = &R::complemento, .column = "Complemento", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::numero, .column = "Numero", .rule = rule_N},
    Field{.step = Step::kIntern, .member = &R::bairro, .column = "Bairro", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::cidade, .column = "cidade", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::uf, .column = "uf", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::cep, .column = "cep", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::telefone, .column = "telefone", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::celular, .column = "celular", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::email, .column = "email", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::faculdade, .column = "faculdade", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::baifacu, .column = "baifacu", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::cidadefacu, .column = "cidadefacu", .rule = rule_T},
    Field{.step = Step::kIntern, .member = &R::periodo, .column = "periodo", .rule = rule_T},
    Field{.step = Step::kIntern,
          .member = &R::turno,
          .column = "turno",
          .rule = rule_T,
          .codes = kShift},
    Field{.step = Step::kIntern,
          .member = &R::prevcolacao,
          .column = "prevcolacao",
          .rule = rule_D_empty},
    Field{.step = Step::kIntern,
          .member = &R::dtiniestagio,
          .column = "dtiniestagio",
          .rule = rule_D_empty},
    Field{.step = Step::kIntern,
          .member = &R::dtfinestagio,
          .column = "dtfinestagio",
          .rule = rule_D_empty},
    Field{.step = Step::kIntern,
          .member = &R::situacao,
          .column = "situacao",
          .rule = rule_T,
          .codes = kStatus},
    Field{.step = Step::kIntern, .member = &R::tpdeslig, .column = "tpdeslig", .rule = rule_T},
    Field{
        .step = Step::kIntern, .member = &R::matanterior, .column = "matanterior", .rule = rule_K},
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
    Column{.name = "matricula", .member = &R::matricula},
    Column{.name = "oficial", .member = &R::oficial},
    Column{.name = "concurso", .member = &R::concurso},
    Column{.name = "bolsa", .member = &R::bolsa},
    Column{.name = "orgao", .member = &R::orgao},
    Column{.name = "nome", .member = &R::nome},
    Column{.name = "sexo", .member = &R::sexo},
    Column{.name = "filiacao", .member = &R::filiacao, .blank_after_value = true},
    Column{.name = "cpf", .member = &R::cpf},
    Column{.name = "logradouro", .member = &R::logradouro},
    Column{.name = "numero", .member = &R::numero, .bare = true},
    Column{.name = "complemento", .member = &R::complemento, .blank_after_name = true},
    Column{.name = "bairro", .member = &R::bairro},
    Column{.name = "cidade", .member = &R::cidade},
    Column{.name = "uf", .member = &R::uf},
    Column{.name = "cep", .member = &R::cep},
    Column{.name = "telefone", .member = &R::telefone, .blank_after_value = true},
    Column{.name = "celular", .member = &R::celular},
    Column{.name = "email", .member = &R::email},
    Column{.name = "faculdade", .member = &R::faculdade},
    Column{.name = "baifacu", .member = &R::baifacu},
    Column{.name = "cidadefacu", .member = &R::cidadefacu},
    Column{.name = "periodo", .member = &R::periodo},
    Column{.name = "turno", .member = &R::turno},
    Column{.name = "prevcolacao",
           .member = &R::prevcolacao,
           .blank_after_name = true,
           .blank_after_value = true},
    Column{.name = "dtiniestagio", .member = &R::dtiniestagio},
    Column{.name = "dtfinestagio", .member = &R::dtfinestagio},
    Column{.name = "Dt_inidesignacao", .member = &R::Dt_inidesignacao},
    Column{.name = "Dt_findesignacao", .member = &R::Dt_findesignacao},
    Column{.name = "situacao", .member = &R::situacao},
    Column{.name = "tpdeslig", .member = &R::tpdeslig},
    Column{.name = "matanterior", .member = &R::matanterior, .blank_after_value = true},
    Column{.name = "Dt_ininterrupcao", .member = &R::Dt_ininterrupcao},
    Column{.name = "Dt_prevfinterrupcao", .member = &R::Dt_prevfinterrupcao},
    Column{.name = "Dt_finterrupcao", .member = &R::Dt_finterrupcao},
    Column{
        .name = "motivo_interrupcao", .member = &R::motivo_interrupcao, .blank_after_name = true},
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
inline std::string field_text(const Field& field, const Value& value, const RegEstagiario& record) {
  std::string text = field.rule(value, field.column);
  return field.codes ? field.codes(text, record) : text;
}

}  // namespace velmora::intern_fields
