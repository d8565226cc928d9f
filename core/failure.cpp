#include "core/failure.h"

#include <utility>

namespace velmora {
namespace {

// The longest value a description shows whole.
constexpr std::size_t kShownValueLength = 40;

}  // namespace

// Cut on a character boundary so that the description stays valid UTF-8.
std::string shown_value(std::string_view text) {
  std::string_view shown = text;
  if (text.size() > kShownValueLength) {
    std::size_t cut = kShownValueLength;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    shown = text.substr(0, cut);
  }
  std::string out;
  out.reserve(shown.size() + 3);
  for (char c : shown) {
    if (c == '\0') {
      out += "\\0";
    } else {
      out += c;
    }
  }
  if (shown.size() < text.size()) out += "...";
  return out;
}

std::string outcome_text(std::int32_t number, std::string_view description) {
  return std::to_string(number) + " - " + std::string(description);
}

Failure::Failure(std::int32_t number, std::string description)
    : std::runtime_error(outcome_text(number, description)),
      number_(number),
      description_(std::move(description)) {}

Failure database_failure(std::int32_t number, std::string description) {
  return Failure(number != 0 ? number : failure_number::kGenericDatabase, std::move(description));
}

Failure unexpected_failure(const std::exception& error) {
  return Failure(failure_number::kGenericDatabase, error.what());
}

Failure object_state_failure(ObjectState state) {
  using namespace failure_number;
  switch (state) {
    case ObjectState::kNotSet:
      return Failure(kObjectNotSet, "Object variable or With block variable not set");
    case ObjectState::kClosed:
      return Failure(kObjectClosed, "Operation is not allowed when the object is closed.");
    case ObjectState::kOpen:
      return Failure(kObjectOpen, "Operation is not allowed when the object is open.");
    case ObjectState::kNoCurrentRecord:
      break;
  }
  return Failure(kNoCurrentRecord,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested "
                 "operation requires a current record.");
}

Failure item_not_found(std::string_view name) {
  return Failure(failure_number::kItemNotFound,
                 "Item cannot be found in the collection corresponding to the requested name or "
                 "ordinal. (" +
                     std::string(name) + ")");
}

Failure invalid_use_of_null(std::string_view column) {
  return Failure(failure_number::kInvalidUseOfNull,
                 "Invalid use of Null (column " + std::string(column) + ")");
}

Failure nul_in_text(std::string_view column) {
  return Failure(failure_number::kTypeMismatch,
                 "Type mismatch: text with a NUL byte (column " + std::string(column) + ")");
}

Failure naming_row(const Failure& failure, std::string_view row) {
  return Failure(failure.number(), failure.description() + " (" + std::string(row) + ")");
}

Failure type_mismatch(std::string_view what, std::string_view value, std::string_view expected) {
  return Failure(failure_number::kTypeMismatch, "Type mismatch: " + std::string(what) + " '" +
                                                    shown_value(value) + "' is not " +
                                                    std::string(expected));
}

}  // namespace velmora
