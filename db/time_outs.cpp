#include "db/time_outs.h"

namespace velmora {
namespace {
const TimeOuts* g_replacement = nullptr;
}  // namespace

TimeOuts built_in_time_outs() { return TimeOuts{}; }

const TimeOuts& time_outs() {
  static const TimeOuts built_in = built_in_time_outs();
  return g_replacement ? *g_replacement : built_in;
}

void set_time_outs_for_testing(const TimeOuts* replacement) { g_replacement = replacement; }

Failure time_out_failure(std::int32_t number, const std::string& what, std::chrono::seconds bound,
                         const std::string& where, const std::string& detail) {
  std::string description =
      what + " time-out after " + std::to_string(bound.count()) + " s on " + where;
  if (!detail.empty()) description += " (" + detail + ")";
  return Failure(number, std::move(description));
}

}  // namespace velmora
