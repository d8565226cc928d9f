#include "ctl/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "transfer/cons_sancao.h"
#include "transfer/intern_statements.h"
#include "transfer/payment_statements.h"

namespace velmora::ctl {
namespace {

// A duration as a person reads it: tenths below 10 s, where a run of a few
// thousand interns spends its phases, whole seconds above.
std::string seconds_text(double seconds) {
  char out[32];
  if (seconds >= 60)
    std::snprintf(out, sizeof out, "%d min %02d s", static_cast<int>(seconds) / 60,
                  static_cast<int>(seconds) % 60);
  else if (seconds < 9.95)
    std::snprintf(out, sizeof out, "%.1f s", std::max(seconds, 0.0));
  else
    std::snprintf(out, sizeof out, "%d s", static_cast<int>(std::lround(seconds)));
  return out;
}

// A rate over less than half a second says nothing yet.
constexpr double kShortestRatePeriod = 0.5;

}  // namespace

std::string progress_text(std::string_view what, std::int64_t done, std::int64_t total,
                          double seconds) {
  std::string text(what);
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  char numbers[96];
  if (total > 0) {
    constexpr int kWidth = 20;
    const int filled = static_cast<int>(std::min<std::int64_t>(done, total) * kWidth / total);
    text += " [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "]";
    std::snprintf(numbers, sizeof numbers, " %lld/%lld", static_cast<long long>(done),
                  static_cast<long long>(total));
  } else {
    std::snprintf(numbers, sizeof numbers, " %lld", static_cast<long long>(done));
  }
  text += numbers;
  if (seconds >= kShortestRatePeriod && rate > 0) {
    std::snprintf(numbers, sizeof numbers, " %.0f/s", rate);
    text += numbers;
    if (total > done)
      text += " " + seconds_text(static_cast<double>(total - done) / rate) + " left";
  }
  return text;
}

RunProgress::RunProgress(std::ostream& out, bool terminal, std::int64_t interns_total,
                         std::int64_t payments_total)
    : out_(out),
      terminal_(terminal),
      interns_total_(interns_total),
      payments_total_(payments_total),
      interns_start_(Clock::now()) {}

void RunProgress::on_statement(std::string_view statement) {
  if (statement.starts_with(kInternInsertHead)) {
    advance(counts_.interns, interns_total_, "interns", interns_decile_, interns_start_);
  } else if (statement.starts_with(kPaymentInsertHead)) {
    if (counts_.payments == 0) {
      payments_start_ = Clock::now();
      interns_seconds_ = std::chrono::duration<double>(payments_start_ - interns_start_).count();
    }
    advance(counts_.payments, payments_total_, "payments", payments_decile_, payments_start_);
  } else if (statement.starts_with(kCommendationInsertHead)) {
    ++counts_.commendations_inserted;
  } else if (statement.starts_with(kCommendationUpdateHead)) {
    ++counts_.commendations_updated;
  }
}

void RunProgress::advance(std::int64_t& done, std::int64_t total, std::string_view what,
                          int& decile_shown, Clock::time_point phase_start) {
  ++done;
  if (terminal_) {
    draw(done == 1);
    return;
  }
  if (total <= 0) return;
  const int decile = static_cast<int>(std::min<std::int64_t>(done, total) * 10 / total);
  if (decile <= decile_shown) return;
  decile_shown = decile;
  const double seconds = std::chrono::duration<double>(Clock::now() - phase_start).count();
  out_ << progress_line(what, done, total, seconds) << std::endl;
}

std::string progress_line(std::string_view what, std::int64_t done, std::int64_t total,
                          double seconds) {
  const std::int64_t percent = total > 0 ? std::min<std::int64_t>(done, total) * 100 / total : 0;
  std::string line = std::string(what) + ": " + std::to_string(percent) + "% (" +
                     std::to_string(done) + " of " + std::to_string(total) + " written, " +
                     seconds_text(seconds) + " elapsed";
  if (seconds >= kShortestRatePeriod && done > 0 && total > done) {
    const double left = static_cast<double>(total - done) * seconds / static_cast<double>(done);
    line += ", about " + seconds_text(left) + " left";
  }
  return line + ")";
}

void RunProgress::draw(bool force) {
  const auto now = Clock::now();
  if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  std::string line;
  if (counts_.payments == 0) {
    line = progress_text("interns", counts_.interns, interns_total_,
                         std::chrono::duration<double>(now - interns_start_).count());
  } else {
    line = "interns " + std::to_string(counts_.interns) + " in " + seconds_text(interns_seconds_) +
           " | " +
           progress_text("payments", counts_.payments, payments_total_,
                         std::chrono::duration<double>(now - payments_start_).count());
  }
  out_ << "\r" << line << "\x1b[K" << std::flush;
  drawn_ = true;
}

void RunProgress::finish() {
  if (!terminal_ || !drawn_) return;
  draw(true);
  out_ << "\n";
}

}  // namespace velmora::ctl
