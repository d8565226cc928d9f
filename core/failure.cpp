#include "core/failure.h"

#include <utility>

namespace velmora {

Failure::Failure(std::int32_t number, std::string description)
    : std::runtime_error(std::to_string(number) + " - " + description),
      number_(number),
      description_(std::move(description)) {}

}  // namespace velmora
