#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmora {

// Thrown for every failure that a run can meet: database, conversion or mail.
// Carries a signed 32-bit number and a description, which the run driver
// writes into the run log as "<number> - <description>".
class Failure : public std::runtime_error {
 public:
  Failure(std::int32_t number, std::string description);
  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

// Numbers used for failures raised by the system itself, not by a database.
// They keep the numbers of the original platform, which operators know from
// the old run logs.
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

}  // namespace velmora
