#include "ctl/status_model.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <tuple>

#include "app/run/nightly_run.h"
#include "core/sql_text.h"

namespace velmora::ctl {
namespace {

std::optional<DateTime> date_and_time(const std::string& date, const std::string& time) {
  return parse_iso_date_time(time.empty() ? date : date + " " + time);
}

// The date of a pair's suffix ("yyyy_mm_dd"); nullopt for a pair kept aside
// ("yyyy_mm_dd_HHMMSS") or any other name.
std::optional<DateTime> pair_date(const std::string& suffix) {
  if (suffix.size() != 10) return std::nullopt;
  std::string text = suffix;
  std::replace(text.begin(), text.end(), '_', '-');
  return parse_iso_date_time(text);
}

LoggedRun judge(const LogRow& raw, bool newest, bool run_lock_held) {
  LoggedRun run{raw, Outcome::kOk, std::nullopt, std::nullopt, std::nullopt, ""};
  run.row.hora_inicial = trim_blanks(raw.hora_inicial);
  run.row.hora_final = trim_blanks(raw.hora_final);
  run.start = date_and_time(run.row.data, run.row.hora_inicial);
  if (const auto date = parse_iso_date_time(run.row.data)) {
    run.pair = underscore_date_text(add_days(*date, -1));
  }
  if (run.row.hora_final.empty()) {
    // Only the newest run can be the one that holds the run lock now.
    run.outcome = newest && run_lock_held ? Outcome::kInProgress : Outcome::kStopped;
    return run;
  }
  run.outcome = raw.erro == nightly_run::kSuccessText ? Outcome::kOk : Outcome::kFailed;
  if (run.start) {
    run.end = date_and_time(run.row.data, run.row.hora_final);
    // An end before the start is on the next day (a box held past midnight).
    if (run.end && seconds_between(*run.start, *run.end) < 0) run.end = add_days(*run.end, 1);
    if (run.end) run.duration = seconds_between(*run.start, *run.end);
  }
  return run;
}

FailedNight compare_with_pair(const LoggedRun& run, const StatusFacts& facts) {
  FailedNight night{run, Verdict::kNoPair, {}, ""};
  const auto pair = std::find_if(facts.pairs.begin(), facts.pairs.end(),
                                 [&](const PairRows& p) { return p.suffix == run.pair; });
  if (run.pair.empty() || pair == facts.pairs.end()) return night;
  auto live = [&](const std::string& table) -> std::optional<std::int64_t> {
    for (const TableRows& t : facts.tables) {
      if (t.table == table) return t.rows;
    }
    return std::nullopt;
  };
  night.tables = {{"cons_estagiario", live("cons_estagiario"), pair->estagiario},
                  {"cons_pagamento", live("cons_pagamento"), pair->pagamento}};
  night.verdict = Verdict::kRestored;
  for (const Comparison& c : night.tables) {
    if (!c.live || !c.snapshot || *c.live != *c.snapshot) night.verdict = Verdict::kNotRestored;
  }
  if (night.verdict == Verdict::kNotRestored) {
    night.restore_command = "velmora-ctl restore --suffix " + run.pair;
  }
  return night;
}

std::string not_restored_text(const FailedNight& night) {
  std::string text = "night of " + night.run.row.data + " failed and its tables are NOT RESTORED (";
  const char* separator = "";
  for (const Comparison& c : night.tables) {
    text +=
        separator + c.table + " " + rows_text(c.live) + ", its snapshot " + rows_text(c.snapshot);
    separator = "; ";
  }
  return text + "): " + night.restore_command;
}

// Why tonight's run has no start row, from what the instance lock says.
std::string missed_tonight_text(const StatusFacts& facts, const std::string& today) {
  const std::string trigger(nightly_run::kTriggerText);
  std::string text = "night of " + today + " did not run (";
  if (!facts.nightly) return text + "no nightly process at " + trigger + ")";
  const auto since = parse_date_time(facts.nightly->since);
  if (since && date_text(*since) == today && second_of_day(*since) > kTriggerSecond) {
    return text + "no nightly process at " + trigger + "; it started at " + clock_text(*since) +
           ")";
  }
  return text + "the nightly process logged no run at " + trigger +
         ": its clock skipped that second, or the source database could not be reached)";
}

}  // namespace

const char* state_name(State state) {
  switch (state) {
    case State::kOk:
      return "OK";
    case State::kWarning:
      return "WARNING";
    case State::kCritical:
      return "CRITICAL";
    case State::kUnknown:
      break;
  }
  return "UNKNOWN";
}

int second_of_day(const DateTime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

std::string rows_text(const std::optional<std::int64_t>& rows) {
  return rows ? std::to_string(*rows) + " rows" : std::string("MISSING");
}

std::string holder_text(const LockHolder& h) {
  return h.program + ", pid " + std::to_string(h.pid) + ", since " + h.since;
}

std::int64_t seconds_between(const DateTime& from, const DateTime& to) {
  using namespace std::chrono;
  auto at = [](const DateTime& t) {
    const sys_days day = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                        std::chrono::day{static_cast<unsigned>(t.day)}};
    return sys_seconds(day) + hours{t.hour} + minutes{t.minute} + seconds{t.second};
  };
  return (at(to) - at(from)).count();
}

std::optional<DateTime> parse_date_time(const std::string& text) {
  return parse_iso_date_time(text);
}

std::string span_text(std::int64_t seconds) {
  if (seconds < 60) return std::to_string(seconds) + " s";
  if (seconds < 3600) return std::to_string(seconds / 60) + " min";
  return std::to_string(seconds / 3600) + " h " + std::to_string(seconds / 60 % 60) + " min";
}

Status assess(const StatusFacts& facts, const Thresholds& limits) {
  Status status;
  std::vector<Problem> critical, unknown, warning;
  const std::string today = date_text(facts.now);
  const bool past_trigger = second_of_day(facts.now) >= kTriggerSecond;

  if (facts.run) {
    RunInProgress run{*facts.run, std::nullopt, false, false};
    if (const auto since = parse_date_time(run.holder.since)) {
      run.seconds = seconds_between(*since, facts.now);
    }
    run.mail_failure_box = run.holder.stage == lock_stage::kMailFailureBox;
    run.nightly = run.holder.program == "velmora";
    if (run.mail_failure_box) {
      critical.push_back({State::kCritical,
                          "the run in progress (" + holder_text(run.holder) +
                              ") is held by the mail-failure box since " + run.holder.stage_since +
                              ": the failure notice could not be sent, and the run ends when OK "
                              "is pressed on the nightly process's desktop"});
    } else if (run.seconds && *run.seconds > limits.stuck_after * 60) {
      critical.push_back(
          {State::kCritical, "a run has been in progress for " + span_text(*run.seconds) + " (" +
                                 holder_text(run.holder) +
                                 (run.holder.stage.empty() ? "" : ", " + run.holder.stage) +
                                 "): more than " + std::to_string(limits.stuck_after) +
                                 " min, a server may have stopped answering"});
    }
    status.in_progress = run;
  }

  if (!facts.log_read) {
    unknown.push_back({State::kUnknown, "the run log cannot be read: " + facts.log_failure});
  } else {
    std::vector<LogRow> log = facts.log;
    std::stable_sort(log.begin(), log.end(), [](const LogRow& a, const LogRow& b) {
      return std::tuple(a.data, trim_blanks(a.hora_inicial)) >
             std::tuple(b.data, trim_blanks(b.hora_inicial));
    });
    // restore and seed hold the run lock too, but write no run-log row.
    const bool run_holds_the_lock =
        facts.run &&
        (facts.run->program == "velmora" || facts.run->program.starts_with("velmora-ctl run-now"));
    for (const LogRow& row : log) {
      status.runs.push_back(judge(row, status.runs.empty(), run_holds_the_lock));
      const LoggedRun& run = status.runs.back();
      if (run.end && !status.last_completed) status.last_completed = run;
      if (run.outcome == Outcome::kOk && !status.last_success) status.last_success = run;
    }

    if (!status.runs.empty()) {
      const LoggedRun& newest = status.runs.front();
      if (newest.outcome == Outcome::kStopped) {
        critical.push_back(
            {State::kCritical, "night of " + newest.row.data +
                                   " stopped during the run (no end time, no run in progress): "
                                   "velmora-ctl restore --suffix " +
                                   newest.pair});
      }
      if (newest.outcome == Outcome::kFailed) {
        if (facts.consulta_read) {
          status.failed_night = compare_with_pair(newest, facts);
          if (status.failed_night->verdict == Verdict::kNotRestored) {
            critical.push_back({State::kCritical, not_restored_text(*status.failed_night)});
          }
        }
        critical.push_back(
            {State::kCritical, "night of " + newest.row.data + " failed: " + newest.row.erro});
      }
    }

    std::set<std::string> logged;
    for (const LoggedRun& run : status.runs) logged.insert(run.row.data);
    const int first_back = past_trigger ? 0 : 1;
    for (int back = first_back; back < first_back + 7; ++back) {
      const std::string night = date_text(add_days(facts.now, -back));
      if (!logged.contains(night)) status.missed.push_back(night);
    }
    // Tonight's run, once its grace has passed, unless the run holding the
    // lock is tonight's and has not written its start row yet.
    const bool tonights_run_holds_the_lock =
        status.in_progress && status.in_progress->seconds &&
        *status.in_progress->seconds <= second_of_day(facts.now) - kTriggerSecond;
    std::vector<std::string> earlier = status.missed;
    if (!earlier.empty() && earlier.front() == today) {
      earlier.erase(earlier.begin());
      if (second_of_day(facts.now) >= kTriggerSecond + limits.grace * 60 &&
          !tonights_run_holds_the_lock) {
        critical.push_back({State::kCritical, missed_tonight_text(facts, today)});
      }
    }
    if (!earlier.empty()) {
      std::string nights;
      for (const auto& night : earlier) nights += (nights.empty() ? "" : ", ") + night;
      warning.push_back({State::kWarning, "nights of the last week without a run: " + nights});
    }
    if (status.last_completed && status.last_completed->duration &&
        *status.last_completed->duration > limits.slow_after * 60) {
      warning.push_back({State::kWarning, "night of " + status.last_completed->row.data + " took " +
                                              span_text(*status.last_completed->duration) +
                                              " (more than " + std::to_string(limits.slow_after) +
                                              " min)"});
    }
  }

  if (!facts.consulta_read) {
    unknown.push_back(
        {State::kUnknown, "the consultation database cannot be read: " + facts.consulta_failure});
  } else {
    const bool not_restored =
        status.failed_night && status.failed_night->verdict == Verdict::kNotRestored;
    for (const TableRows& t : facts.tables) {
      if (!t.rows && !not_restored) {
        critical.push_back({State::kCritical, "consultation table " + t.table +
                                                  " is MISSING (velmora-ctl restore --help)"});
      }
    }
    // The night of date N drops the pair of N minus two days. The nights to
    // come start with tonight's (today's when its run has not ended yet).
    bool tonight_logged = false;
    for (const LoggedRun& run : status.runs) {
      tonight_logged =
          tonight_logged || (run.row.data == today && run.outcome != Outcome::kInProgress);
    }
    const bool within_grace = second_of_day(facts.now) < kTriggerSecond + limits.grace * 60;
    const bool tonight_to_come =
        !past_trigger || (!tonight_logged && (within_grace || status.in_progress));
    const std::string first_dropped = date_text(add_days(facts.now, tonight_to_come ? -2 : -1));
    for (const PairRows& p : facts.pairs) {
      const auto date = pair_date(p.suffix);
      if (!date || date_text(*date) < first_dropped) {
        status.orphans.push_back(p.suffix);
      }
    }
    if (!status.orphans.empty()) {
      std::string pairs;
      for (const auto& s : status.orphans) pairs += (pairs.empty() ? "" : ", ") + s;
      warning.push_back({State::kWarning, std::to_string(status.orphans.size()) +
                                              " snapshot pair(s) that no night will drop: " +
                                              pairs + " (drop them by hand once not needed)"});
    }
  }

  if (!facts.nightly) {
    critical.push_back({State::kCritical,
                        "no nightly process serves these databases on this machine: no run "
                        "happens at " +
                            std::string(nightly_run::kTriggerText) + " until it is started"});
  }

  status.state = !critical.empty()  ? State::kCritical
                 : !unknown.empty() ? State::kUnknown
                 : !warning.empty() ? State::kWarning
                                    : State::kOk;
  for (auto* group : {&critical, &unknown, &warning}) {
    status.problems.insert(status.problems.end(), group->begin(), group->end());
  }
  return status;
}

}  // namespace velmora::ctl
