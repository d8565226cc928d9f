#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/clock.h"

// The pure part of velmora-ctl status: what the run log says, in lines.
namespace velmora::ctl {

// One row of vlmr_logtransferencia, each column as text ("" for Null).
struct LogRow {
  std::string data;
  std::string hora_inicial;
  std::string hora_final;
  std::string erro;
};

// The newest `shown` runs of `log` (by date, then start time), one line
// each, with what an operator should know and do about the outcome: a run
// without an end is flagged as stopped (or in progress, when
// `run_in_progress` and it is today's), followed by the nights of the last
// week whose 00:30:00 has passed without a run, as of `now`.
std::vector<std::string> run_log_lines(std::vector<LogRow> log, const DateTime& now,
                                       bool run_in_progress, std::size_t shown);

// When the nightly run after `now` is due: "yyyy-mm-dd 00:30:00 (in 2 h 5 min)".
std::string next_run_text(const DateTime& now);

}  // namespace velmora::ctl
