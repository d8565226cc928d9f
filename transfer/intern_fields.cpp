#include "transfer/intern_fields.h"

#include "transfer/field_rules.h"

namespace velmora::intern_fields {
namespace {

std::string rule_text(Rule rule, const Value& value, std::string_view column) {
  using namespace rules;
  switch (rule) {
    case Rule::kT:
      return rule_T(value, column);
    case Rule::kTNull:
      return rule_T_null(value, column);
    case Rule::kD:
      return rule_D(value, column);
    case Rule::kDNull:
      return rule_D_null(value, column);
    case Rule::kDEmpty:
      return rule_D_empty(value, column);
    case Rule::kN:
      return rule_N(value, column);
    case Rule::kK:
      return rule_K(value, column);
    case Rule::kR:
      break;
  }
  return rule_R(value, column);
}

}  // namespace

std::string field_text(const Field& field, const Value& value, const RegEstagiario& record) {
  std::string text = rule_text(field.rule, value, field.column);
  switch (field.codes) {
    case Codes::kNone:
      return text;
    case Codes::kAdmission:
      return rules::admission_text(text, record.concurso);
    case Codes::kSex:
      return rules::sex_text(text);
    case Codes::kShift:
      return rules::shift_text(text);
    case Codes::kStatus:
      break;
  }
  return rules::status_text(text);
}

}  // namespace velmora::intern_fields
