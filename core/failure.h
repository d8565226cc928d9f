#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

// "<number> - <description>", the number as a signed decimal: a failure as
// the run log holds it and as velmora-ctl shows it.
std::string outcome_text(std::int32_t number, std::string_view description);

// Thrown for every failure that a run can meet: database, conversion or mail.
// Carries a signed 32-bit number and a description, which the run driver
// writes into the run log as outcome_text(number, description), also its
// what().
class Failure : public std::runtime_error {
 public:
  Failure(std::int32_t number, std::string description);
  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

// Numbers of the failures that the system raises itself rather than a
// database or the mail library. They are the numbers operators know from
// the run logs of the system this one replaced, so they stay.
namespace failure_number {
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kItemNotFound = 3265;
inline constexpr std::int32_t kNoCurrentRecord = 3021;
inline constexpr std::int32_t kObjectClosed = 3704;
inline constexpr std::int32_t kObjectOpen = 3705;
inline constexpr std::int32_t kGenericDatabase = -2147467259;  // 0x80004005
}  // namespace failure_number

// A failure reported by a database or its client library: `number` is the
// database's own (the generic database number when it gave none, i.e. 0).
Failure database_failure(std::int32_t number, std::string description);

// Anything that is not a Failure but escaped a step (an exception of the
// standard library, say): counted as a generic database failure with its
// message, so that it is handled like every other failure of a run.
Failure unexpected_failure(const std::exception& error);

// Misuse of the database client's objects, with the texts operators know.
enum class ObjectState {
  kNotSet,           // an empty connection or row set slot (91)
  kClosed,           // a closed connection or row set (3704)
  kOpen,             // opening a connection that is already open (3705)
  kNoCurrentRecord,  // reading or moving past the last row (3021)
};
Failure object_state_failure(ObjectState state);
// A column name that the row set does not have (3265), naming it.
Failure item_not_found(std::string_view name);

// A Null where a text is needed (94), naming the column.
Failure invalid_use_of_null(std::string_view column);
// A value that does not read as `expected` ("a number", "a date") where one
// is needed (13), naming what it is and showing the value; a long value is
// shown by its first characters so that the description fits a log column.
Failure type_mismatch(std::string_view what, std::string_view value, std::string_view expected);
// A text holding a NUL byte (13), naming the column: a statement cannot
// carry one (the embedded database would end the statement's text there).
Failure nul_in_text(std::string_view column);

// `failure` with the row it met appended to its description, e.g. "Invalid
// use of Null (column concurso)" becomes "Invalid use of Null (column
// concurso) (matricula 12345)" for `row` "matricula 12345". The number and
// the original description, which operators know, come first and unchanged.
Failure naming_row(const Failure& failure, std::string_view row);

// `value` as a description shows it: a long value by its first characters,
// a NUL byte as "\0", so that the description fits a log column and can be
// written into a statement.
std::string shown_value(std::string_view value);

}  // namespace velmora
