#include "ctl/status_report.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "app/run/nightly_run.h"
#include "core/sql_text.h"

namespace velmora::ctl {
namespace {

constexpr int kTriggerSecond = 30 * 60;

int second_of_day(const DateTime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

// The date of a "yyyy-mm-dd" text, if it is one.
bool parse_date(const std::string& text, DateTime& out) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return false;
  out = {y, m, d, 0, 0, 0};
  return true;
}

std::string outcome_line(const LogRow& row, const std::string& today, bool run_in_progress) {
  if (row.hora_final.empty()) {
    if (run_in_progress && row.data == today) return "in progress";
    std::string advice = "the consultation tables may be half-filled; put them back as they ";
    DateTime date;
    if (parse_date(row.data, date)) {
      advice += "were before this run with: velmora-ctl restore --suffix " +
                underscore_date_text(add_days(date, -1));
    } else {
      advice += "were before this run with velmora-ctl restore";
    }
    return "STOPPED DURING THE RUN (no end time): " + advice;
  }
  if (row.erro == nightly_run::kSuccessText) return "ok (\"" + row.erro + "\")";
  // A failed night puts the tables back from its snapshots, unless it lost
  // the consultation database on the way: then only the counts tell.
  DateTime date;
  const std::string pair =
      parse_date(row.data, date) ? " " + underscore_date_text(add_days(date, -1)) : "";
  return "FAILED: " + row.erro +
         " (the consultation tables were put back as they were, unless the run lost the "
         "consultation database: compare their counts below with the snapshot pair" +
         pair + ")";
}

}  // namespace

std::vector<std::string> run_log_lines(std::vector<LogRow> log, const DateTime& now,
                                       bool run_in_progress, std::size_t shown) {
  std::stable_sort(log.begin(), log.end(), [](const LogRow& a, const LogRow& b) {
    return std::tie(a.data, a.hora_inicial) > std::tie(b.data, b.hora_inicial);
  });
  const std::string today = date_text(now);
  std::vector<std::string> lines;
  if (log.empty()) lines.push_back("  no run logged yet");
  for (std::size_t i = 0; i < log.size() && i < shown; ++i) {
    const LogRow& row = log[i];
    const std::string end = row.hora_final.empty() ? "-" : trim_blanks(row.hora_final);
    char head[64];
    std::snprintf(head, sizeof head, "  %-10s  %-8s  %-8s  ", row.data.c_str(),
                  trim_blanks(row.hora_inicial).c_str(), end.c_str());
    lines.push_back(head + outcome_line(row, today, run_in_progress));
  }

  std::set<std::string> logged;
  for (const LogRow& row : log) logged.insert(row.data);
  const int first_back = second_of_day(now) >= kTriggerSecond ? 0 : 1;
  std::vector<std::string> missed;
  for (int back = first_back; back < first_back + 7; ++back) {
    const std::string night = date_text(add_days(now, -back));
    if (!logged.contains(night)) missed.push_back(night);
  }
  if (missed.empty()) {
    lines.push_back("Nights of the last week without a run: none");
  } else {
    lines.push_back("Nights of the last week WITHOUT A RUN (no nightly process was running at " +
                    std::string(nightly_run::kTriggerText) +
                    ", its clock skipped that second, or the source database was unreachable):");
    for (const auto& night : missed) lines.push_back("  " + night);
  }
  return lines;
}

std::string next_run_text(const DateTime& now) {
  const int s = second_of_day(now);
  const bool today = s < kTriggerSecond;
  const int wait = (today ? kTriggerSecond : 86400 + kTriggerSecond) - s;
  char in[64];
  if (wait >= 3600)
    std::snprintf(in, sizeof in, "in %d h %d min", wait / 3600, wait / 60 % 60);
  else if (wait >= 60)
    std::snprintf(in, sizeof in, "in %d min", wait / 60);
  else
    std::snprintf(in, sizeof in, "in %d s", wait);
  return date_text(today ? now : add_days(now, 1)) + " " + std::string(nightly_run::kTriggerText) +
         " (" + in + ")";
}

}  // namespace velmora::ctl
