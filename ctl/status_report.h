#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "ctl/status_model.h"

// The renderers of velmora-ctl status over one model (status_model.h): the
// operator's text report, the monitoring check, JSON and Prometheus metrics.
// All pure, but for the local time zone that unix_seconds reads.
namespace velmora::ctl {

// The operator's report: the newest `shown` runs with what each outcome
// means and what to do, the nights of the last week without a run, the
// snapshot pairs, the consultation tables, the nightly process and its next
// run, the run in progress, and the state with every problem.
std::vector<std::string> report_lines(const StatusFacts& facts, const Status& status,
                                      std::size_t shown);

// The monitoring check's output: "VELMORA <STATE> - <cause> | <perfdata>",
// then one line per problem ("CRITICAL: ...").
std::string check_text(const StatusFacts& facts, const Status& status);

// The same facts as one JSON object (the schema is in the README).
std::string json_text(const StatusFacts& facts, const Status& status, const Thresholds& limits);

// The same facts in the Prometheus text exposition format; `unix` turns a
// local time into unix seconds (nullopt when it cannot).
using UnixSeconds = std::function<std::optional<std::int64_t>(const DateTime&)>;
std::string metrics_text(const StatusFacts& facts, const Status& status, const UnixSeconds& unix);

// The local time `t` as unix seconds, by the process's time zone.
std::optional<std::int64_t> unix_seconds(const DateTime& t);

// When the nightly run after `now` is due: "yyyy-mm-dd 00:30:00 (in 2 h 5 min)".
std::string next_run_text(const DateTime& now);

}  // namespace velmora::ctl
