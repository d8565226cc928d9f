#pragma once

#include <string>

#include "core/calendar.h"

namespace velmora {

// The one seam through which the system reads the local date and time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime now() const = 0;
};

// The clock in use: the system's local clock unless a test installed another.
const Clock& clock();

// Installs `replacement` as the clock (not owned); nullptr restores the
// system clock.
void set_clock(const Clock* replacement);

// Texts read from the clock at the moment of the call.
std::string today_text();        // date text of today, "yyyy-mm-dd"
std::string snapshot_suffix();   // today minus one day, "yyyy_mm_dd"
std::string retention_suffix();  // today minus two days, "yyyy_mm_dd"
std::string now_clock_text();    // 24-hour "HH:MM:SS" whatever the host's locale

}  // namespace velmora
