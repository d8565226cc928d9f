#pragma once

#include "ctl/ctl.h"
#include "db/client.h"

namespace velmora::ctl {

struct RunNowOptions {
  // Keep this date's snapshot pair aside (as <name>_HHMMSS) and run again.
  bool again = false;
  // Tests: sees every statement of the run, as the progress display does.
  StatementObserver also_notify;
};

// velmora-ctl run-now: performs one nightly run at once through the code
// the timer's tick runs (nightly_run::perform_run), holding the run lock,
// with progress on console.out. Refuses, changing nothing, while another run
// holds the run lock, while a nightly process waits for today's 00:30:00
// (that run would fail at this run's snapshots), when the consultation
// database cannot be asked, and when this date's snapshot pair exists and
// options.again is not set. Returns kSuccess only for a run whose outcome
// is " SEM ERRO". Installs and removes the statement observer. Throws
// Failure when the run lock cannot be taken at all.
int run_now(const RunNowOptions& options, Console& console);

}  // namespace velmora::ctl
