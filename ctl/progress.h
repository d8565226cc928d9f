#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace velmora::ctl {

// What a run wrote, counted from the statements it sent.
struct RunCounts {
  std::int64_t interns = 0;                 // inserts into cons_estagiario
  std::int64_t payments = 0;                // inserts into cons_pagamento
  std::int64_t commendations_inserted = 0;  // into cons_estagiarioelogio
  std::int64_t commendations_updated = 0;
};

// Follows a run through its statements (fed from the statement observer)
// and shows how far it is: on a terminal one line redrawn at most ten times
// a second, interns first and then payments; otherwise a plain line at
// every tenth of each total (progress_line). A total of 0 or less is unknown: then only
// counts are shown.
class RunProgress {
 public:
  RunProgress(std::ostream& out, bool terminal, std::int64_t interns_total,
              std::int64_t payments_total);

  void on_statement(std::string_view statement);
  // Ends the terminal's line; call once after the run.
  void finish();
  const RunCounts& counts() const { return counts_; }

 private:
  using Clock = std::chrono::steady_clock;
  void advance(std::int64_t& done, std::int64_t total, std::string_view what, int& decile_shown,
               Clock::time_point phase_start);
  void draw(bool force);

  std::ostream& out_;
  bool terminal_;
  std::int64_t interns_total_;
  std::int64_t payments_total_;
  RunCounts counts_;
  Clock::time_point interns_start_{};
  Clock::time_point payments_start_{};
  Clock::time_point last_draw_{};
  double interns_seconds_ = 0;  // how long the interns took, once payments began
  int interns_decile_ = 0;
  int payments_decile_ = 0;
  bool drawn_ = false;
};

// A plain line of a phase, for output that is not a terminal:
// "interns: 50% (1000 of 2000 written, 1.5 s elapsed, about 1.5 s left)"; the
// time left once the phase has run for half a second.
std::string progress_line(std::string_view what, std::int64_t done, std::int64_t total,
                          double seconds);

// One phase of the bar: "interns [##########..........] 1000/2000 667/s 1.5 s left".
std::string progress_text(std::string_view what, std::int64_t done, std::int64_t total,
                          double seconds);

}  // namespace velmora::ctl
