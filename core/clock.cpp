#include "core/clock.h"

#include <ctime>

namespace velmora {
namespace {

// Reads the system's local time, so that a process whose clock is moved by
// a preloaded time library follows the moved clock.
class SystemClock final : public Clock {
 public:
  DateTime now() const override {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }
};

const SystemClock kSystemClock;
const Clock* g_clock = &kSystemClock;

}  // namespace

const Clock& clock() { return *g_clock; }

void set_clock(const Clock* replacement) { g_clock = replacement ? replacement : &kSystemClock; }

std::string today_text() { return date_text(clock().now()); }
std::string snapshot_suffix() { return underscore_date_text(add_days(clock().now(), -1)); }
std::string retention_suffix() { return underscore_date_text(add_days(clock().now(), -2)); }
std::string now_clock_text() { return clock_text(clock().now()); }

}  // namespace velmora
