#include "ctl/status_report.h"

#include <cstdio>
#include <ctime>
#include <sstream>

#include "app/run/nightly_run.h"

namespace velmora::ctl {
namespace {

std::string verdict_text(const FailedNight& night) {
  switch (night.verdict) {
    case Verdict::kRestored:
      return "; RESTORED: cons_estagiario " + rows_text(night.tables[0].live) +
             ", cons_pagamento " + rows_text(night.tables[1].live) + ", as in its snapshot pair " +
             night.run.pair;
    case Verdict::kNotRestored: {
      std::string text = "; NOT RESTORED:";
      const char* separator = " ";
      for (const Comparison& c : night.tables) {
        text += separator + c.table + " " + rows_text(c.live) + " (its snapshot " +
                rows_text(c.snapshot) + ")";
        separator = ", ";
      }
      return text + "; put them back with: " + night.restore_command;
    }
    case Verdict::kNoPair:
      break;
  }
  return "; it took no snapshot pair " + night.run.pair +
         " (it failed before its snapshots), so it left the consultation tables alone";
}

std::string outcome_line(const LoggedRun& run, const Status& status) {
  switch (run.outcome) {
    case Outcome::kOk:
      return "ok (\"" + run.row.erro + "\")";
    case Outcome::kFailed: {
      std::string line = "FAILED: " + run.row.erro;
      if (status.failed_night && &run == &status.runs.front()) {
        line += verdict_text(*status.failed_night);
      }
      return line;
    }
    case Outcome::kInProgress:
      if (status.in_progress && status.in_progress->mail_failure_box) {
        return "in progress, held by the mail-failure box since " +
               status.in_progress->holder.stage_since +
               " (press OK on the nightly process's desktop)";
      }
      return "in progress";
    case Outcome::kStopped:
      break;
  }
  std::string advice = "the consultation tables may be half-filled; put them back as they ";
  if (!run.pair.empty()) {
    advice += "were before this run with: velmora-ctl restore --suffix " + run.pair;
  } else {
    advice += "were before this run with velmora-ctl restore";
  }
  return "STOPPED DURING THE RUN (no end time): " + advice;
}

std::vector<std::string> run_lines(const StatusFacts& facts, const Status& status,
                                   std::size_t shown) {
  std::vector<std::string> lines;
  if (!facts.log_read) {
    lines.push_back("  cannot read the run log: " + facts.log_failure);
    return lines;
  }
  if (status.runs.empty()) lines.push_back("  no run logged yet");
  for (std::size_t i = 0; i < status.runs.size() && i < shown; ++i) {
    const LoggedRun& run = status.runs[i];
    const std::string end = run.row.hora_final.empty() ? "-" : run.row.hora_final;
    char head[64];
    std::snprintf(head, sizeof head, "  %-10s  %-8s  %-8s  ", run.row.data.c_str(),
                  run.row.hora_inicial.c_str(), end.c_str());
    lines.push_back(head + outcome_line(run, status));
  }
  if (status.missed.empty()) {
    lines.push_back("Nights of the last week without a run: none");
  } else {
    lines.push_back("Nights of the last week WITHOUT A RUN (no nightly process was running at " +
                    std::string(nightly_run::kTriggerText) +
                    ", its clock skipped that second, or the source database was unreachable):");
    for (const auto& night : status.missed) lines.push_back("  " + night);
  }
  return lines;
}

// Perfdata of the check: the last completed run's duration and the rows of
// the two tables the site reads, each left out when unknown.
std::string perfdata(const StatusFacts& facts, const Status& status) {
  std::string out;
  auto add = [&](const std::string& item) { out += (out.empty() ? "" : " ") + item + ";;;"; };
  if (status.last_completed && status.last_completed->duration) {
    add("duration=" + std::to_string(*status.last_completed->duration) + "s");
  }
  for (const TableRows& t : facts.tables) {
    if (!t.rows) continue;
    if (t.table == "cons_estagiario") add("interns=" + std::to_string(*t.rows));
    if (t.table == "cons_pagamento") add("payments=" + std::to_string(*t.rows));
  }
  return out;
}

std::string ok_summary(const Status& status) {
  if (!status.last_completed) return "no run logged yet";
  const LoggedRun& run = *status.last_completed;
  std::string text = "night of " + run.row.data + " ok";
  if (run.duration) text += " in " + span_text(*run.duration);
  return text;
}

// JSON writing: strings escaped by the format's rules, Null for what is
// unknown.
std::string quote(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string number(const std::optional<std::int64_t>& n) {
  return n ? std::to_string(*n) : std::string("null");
}

std::string text_or_null(const std::string& text) { return text.empty() ? "null" : quote(text); }

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::kOk:
      return "ok";
    case Outcome::kFailed:
      return "failed";
    case Outcome::kInProgress:
      return "in progress";
    case Outcome::kStopped:
      break;
  }
  return "stopped";
}

const char* verdict_name(Verdict verdict) {
  switch (verdict) {
    case Verdict::kRestored:
      return "RESTORED";
    case Verdict::kNotRestored:
      return "NOT RESTORED";
    case Verdict::kNoPair:
      break;
  }
  return "NO PAIR";
}

std::string run_json(const LoggedRun& run) {
  return "{\"date\":" + quote(run.row.data) + ",\"start\":" + text_or_null(run.row.hora_inicial) +
         ",\"end\":" + text_or_null(run.row.hora_final) +
         ",\"outcome\":" + quote(outcome_name(run.outcome)) +
         ",\"error\":" + text_or_null(run.row.erro) +
         ",\"duration_seconds\":" + number(run.duration) + ",\"pair\":" + text_or_null(run.pair) +
         "}";
}

std::string holder_json(const LockHolder& h) {
  return "{\"pid\":" + std::to_string(h.pid) + ",\"program\":" + quote(h.program) +
         ",\"since\":" + quote(h.since);
}

// Prometheus text exposition: each family with its HELP and TYPE, label
// values escaped by the format's rules.
class Metrics {
 public:
  void family(const std::string& name, const std::string& help) {
    out_ << "# HELP " << name << " " << help << "\n# TYPE " << name << " gauge\n";
    name_ = name;
  }
  void sample(std::int64_t value, const std::string& labels = "") {
    out_ << name_ << (labels.empty() ? "" : "{" + labels + "}") << " " << value << "\n";
  }
  void gauge(const std::string& name, const std::string& help, std::optional<std::int64_t> value) {
    if (!value) return;
    family(name, help);
    sample(*value);
  }
  static std::string label(const std::string& name, const std::string& value) {
    std::string escaped;
    for (char c : value) {
      if (c == '\\' || c == '"') escaped += '\\';
      if (c == '\n') {
        escaped += "\\n";
        continue;
      }
      escaped += c;
    }
    return name + "=\"" + escaped + "\"";
  }
  std::string text() const { return out_.str(); }

 private:
  std::ostringstream out_;
  std::string name_;
};

}  // namespace

std::vector<std::string> report_lines(const StatusFacts& facts, const Status& status,
                                      std::size_t shown) {
  std::vector<std::string> lines = {"Runs (vlmr_logtransferencia, newest first):"};
  for (auto& line : run_lines(facts, status, shown)) lines.push_back(std::move(line));

  lines.push_back("Snapshot pairs:");
  if (!facts.consulta_read) {
    lines.push_back("  cannot read the consultation database: " + facts.consulta_failure);
  } else {
    if (facts.pairs.empty()) lines.push_back("  none");
    for (const PairRows& p : facts.pairs) {
      std::string line = "  " + p.suffix + ": cons_estagiario_" + p.suffix + " " +
                         rows_text(p.estagiario) + ", cons_pagamento_" + p.suffix + " " +
                         rows_text(p.pagamento);
      if (p.suffix.size() > 10) line += " (kept aside by run-now --again)";
      lines.push_back(line);
    }
    std::string tables = "Consultation tables:";
    const char* separator = " ";
    for (const TableRows& t : facts.tables) {
      tables += separator + t.table + " " +
                (t.rows ? rows_text(t.rows) : "MISSING (restore it: velmora-ctl restore --help)");
      separator = ", ";
    }
    lines.push_back(tables);
  }

  if (facts.nightly) {
    lines.push_back("Nightly process: running (" + holder_text(*facts.nightly) +
                    "); next run due " + next_run_text(facts.now));
  } else {
    lines.push_back(
        "Nightly process: NOT RUNNING on this machine for these databases: no run "
        "happens at " +
        std::string(nightly_run::kTriggerText) + " until it is started");
  }
  if (status.in_progress) {
    const RunInProgress& run = *status.in_progress;
    std::string line = "Run in progress: " + holder_text(run.holder);
    if (run.seconds) line += " (for " + span_text(*run.seconds) + ")";
    if (!run.holder.stage.empty()) {
      line += "; " + run.holder.stage + " since " + run.holder.stage_since;
    }
    lines.push_back(line);
  }
  lines.push_back(std::string("State: ") + state_name(status.state));
  for (const Problem& p : status.problems) {
    lines.push_back(std::string("  ") + state_name(p.state) + ": " + p.text);
  }
  return lines;
}

std::string check_text(const StatusFacts& facts, const Status& status) {
  const std::string cause = status.problems.empty() ? ok_summary(status) : status.problems[0].text;
  std::string text = std::string("VELMORA ") + state_name(status.state) + " - " + cause;
  const std::string data = perfdata(facts, status);
  if (!data.empty()) text += " | " + data;
  text += "\n";
  for (const Problem& p : status.problems) {
    text += std::string(state_name(p.state)) + ": " + p.text + "\n";
  }
  return text;
}

std::string json_text(const StatusFacts& facts, const Status& status, const Thresholds& limits) {
  std::string j = "{\"state\":" + quote(state_name(status.state)) +
                  ",\"exit_status\":" + std::to_string(static_cast<int>(status.state)) +
                  ",\"now\":" + quote(date_text(facts.now) + " " + clock_text(facts.now)) +
                  ",\"thresholds_minutes\":{\"grace\":" + std::to_string(limits.grace) +
                  ",\"stuck_after\":" + std::to_string(limits.stuck_after) +
                  ",\"slow_after\":" + std::to_string(limits.slow_after) + "},\"problems\":[";
  for (std::size_t i = 0; i < status.problems.size(); ++i) {
    j += std::string(i ? "," : "") + "{\"state\":" + quote(state_name(status.problems[i].state)) +
         ",\"text\":" + quote(status.problems[i].text) + "}";
  }
  j += "],\"run_log\":{\"readable\":" + std::string(facts.log_read ? "true" : "false") +
       ",\"failure\":" + text_or_null(facts.log_failure) + ",\"runs\":[";
  for (std::size_t i = 0; i < status.runs.size(); ++i) {
    j += (i ? "," : "") + run_json(status.runs[i]);
  }
  j +=
      "],\"last_completed\":" + (status.last_completed ? run_json(*status.last_completed) : "null");
  j += ",\"last_success\":" + (status.last_success ? run_json(*status.last_success) : "null");
  j += ",\"missed_nights\":[";
  for (std::size_t i = 0; i < status.missed.size(); ++i) {
    j += (i ? "," : "") + quote(status.missed[i]);
  }
  j += "]},\"failed_night\":";
  if (status.failed_night) {
    const FailedNight& f = *status.failed_night;
    j += "{\"date\":" + quote(f.run.row.data) + ",\"pair\":" + text_or_null(f.run.pair) +
         ",\"verdict\":" + quote(verdict_name(f.verdict)) + ",\"tables\":[";
    for (std::size_t i = 0; i < f.tables.size(); ++i) {
      j += std::string(i ? "," : "") + "{\"table\":" + quote(f.tables[i].table) +
           ",\"rows\":" + number(f.tables[i].live) +
           ",\"snapshot_rows\":" + number(f.tables[i].snapshot) + "}";
    }
    j += "],\"restore_command\":" + text_or_null(f.restore_command) + "}";
  } else {
    j += "null";
  }
  j += ",\"consultation\":{\"readable\":" + std::string(facts.consulta_read ? "true" : "false") +
       ",\"failure\":" + text_or_null(facts.consulta_failure) + ",\"tables\":[";
  for (std::size_t i = 0; i < facts.tables.size(); ++i) {
    j += std::string(i ? "," : "") + "{\"table\":" + quote(facts.tables[i].table) +
         ",\"rows\":" + number(facts.tables[i].rows) + "}";
  }
  j += "],\"snapshot_pairs\":[";
  for (std::size_t i = 0; i < facts.pairs.size(); ++i) {
    const PairRows& p = facts.pairs[i];
    bool orphan = false;
    for (const auto& o : status.orphans) orphan = orphan || o == p.suffix;
    j += std::string(i ? "," : "") + "{\"suffix\":" + quote(p.suffix) +
         ",\"cons_estagiario_rows\":" + number(p.estagiario) +
         ",\"cons_pagamento_rows\":" + number(p.pagamento) +
         ",\"kept_aside\":" + (p.suffix.size() > 10 ? "true" : "false") +
         ",\"dropped_by_a_night\":" + (orphan ? "false" : "true") + "}";
  }
  j += "]},\"nightly_process\":" +
       (facts.nightly ? holder_json(*facts.nightly) +
                            ",\"next_run\":" + quote(next_run_text(facts.now).substr(0, 19)) + "}"
                      : std::string("null"));
  j += ",\"run_in_progress\":";
  if (status.in_progress) {
    const RunInProgress& r = *status.in_progress;
    j += holder_json(r.holder) + ",\"stage\":" + text_or_null(r.holder.stage) +
         ",\"stage_since\":" + text_or_null(r.holder.stage_since) +
         ",\"seconds\":" + number(r.seconds) +
         ",\"mail_failure_box\":" + (r.mail_failure_box ? "true" : "false") + "}";
  } else {
    j += "null";
  }
  return j + "}\n";
}

std::string metrics_text(const StatusFacts& facts, const Status& status, const UnixSeconds& unix) {
  Metrics m;
  m.gauge("velmora_status_timestamp_seconds", "When velmora-ctl status read these facts.",
          unix(facts.now));
  m.gauge("velmora_check_status", "The check's state: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.",
          static_cast<int>(status.state));
  m.family("velmora_database_readable", "1 when status could read the database, else 0.");
  m.sample(facts.log_read ? 1 : 0, Metrics::label("catalog", "Velmora"));
  m.sample(facts.consulta_read ? 1 : 0, Metrics::label("catalog", "consulta_tessarin"));
  m.gauge("velmora_nightly_process_up",
          "1 when a nightly process serves these databases on this machine.",
          facts.nightly ? 1 : 0);

  if (const auto& run = status.last_completed) {
    m.gauge("velmora_last_run_start_timestamp_seconds",
            "Start of the newest run with an end in the run log.",
            run->start ? unix(*run->start) : std::nullopt);
    m.gauge("velmora_last_run_end_timestamp_seconds", "End of the newest run with an end.",
            run->end ? unix(*run->end) : std::nullopt);
    m.gauge("velmora_last_run_success",
            "Outcome of the newest run with an end: 1 success, 0 failure.",
            run->outcome == Outcome::kOk ? 1 : 0);
    std::optional<std::int64_t> failure = 0;
    if (run->outcome != Outcome::kOk) {
      failure = std::nullopt;
      std::int64_t n = 0;
      if (std::sscanf(run->row.erro.c_str(), "%ld", &n) == 1) failure = n;
    }
    m.gauge("velmora_last_run_failure_number",
            "Number of the failure of the newest run with an end (0 on success).", failure);
    m.gauge("velmora_last_run_duration_seconds", "Duration of the newest run with an end.",
            run->duration);
  }
  if (const auto& run = status.last_success; run && run->end) {
    m.gauge("velmora_last_success_timestamp_seconds", "End of the newest successful run.",
            unix(*run->end));
  }
  if (facts.log_read) {
    m.gauge("velmora_run_stopped",
            "1 when the newest run has no end and no run is in progress (it stopped).",
            !status.runs.empty() && status.runs.front().outcome == Outcome::kStopped ? 1 : 0);
    m.gauge("velmora_missed_nights", "Nights of the last week without a run.",
            static_cast<std::int64_t>(status.missed.size()));
  }
  m.gauge("velmora_run_in_progress", "1 while a run holds the run lock.",
          status.in_progress ? 1 : 0);
  if (status.in_progress) {
    m.gauge("velmora_run_in_progress_seconds", "How long the run in progress has held the lock.",
            status.in_progress->seconds);
    m.gauge("velmora_run_held_by_mail_failure_box",
            "1 while the box saying the failure notice could not be sent holds the run.",
            status.in_progress->mail_failure_box ? 1 : 0);
  }
  if (status.failed_night && status.failed_night->verdict != Verdict::kNoPair) {
    m.gauge("velmora_failed_night_restored",
            "For a newest run that failed: 1 when the tables equal its snapshot pair, else 0.",
            status.failed_night->verdict == Verdict::kRestored ? 1 : 0);
  }
  if (facts.consulta_read) {
    m.family("velmora_table_rows", "Rows of each consultation table present.");
    for (const TableRows& t : facts.tables) {
      if (t.rows) m.sample(*t.rows, Metrics::label("table", t.table));
    }
    m.family("velmora_snapshot_rows", "Rows of each snapshot table present.");
    for (const PairRows& p : facts.pairs) {
      for (const auto& [table, rows] :
           {std::pair{"cons_estagiario", p.estagiario}, std::pair{"cons_pagamento", p.pagamento}}) {
        if (rows) {
          m.sample(*rows, Metrics::label("pair", p.suffix) + "," + Metrics::label("table", table));
        }
      }
    }
    m.gauge("velmora_orphan_snapshot_pairs", "Snapshot pairs that no night will drop.",
            static_cast<std::int64_t>(status.orphans.size()));
  }
  return m.text();
}

std::optional<std::int64_t> unix_seconds(const DateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&tm);
  if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(seconds);
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
