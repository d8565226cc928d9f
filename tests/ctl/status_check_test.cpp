#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "app/run/process_state.h"
#include "core/deployment.h"
#include "ctl/ctl.h"
#include "notify/message_box.h"
#include "tests/seed/seeded.h"
#include "tests/support/fixtures.h"

namespace velmora::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// velmora-ctl status on a real embedded deployment: 40 interns seeded for
// 2026-12-08, whose night each case runs (or not) and then bends into the
// state it is about, read at 09:00 unless the case moves the clock.
class Site {
 public:
  Site() {
    reset_process_state_for_testing();
    clock.set(2026, 12, 8, 9, 0, 0);
    set_clock(&clock);
    site_ = built_in_deployment();
    site_.source_server = site_.consulta_server = data.server();
    site_.smtp_host = "127.0.0.1";
    site_.smtp_port = closed_loopback_port();
    set_deployment_for_testing(&site_);
  }
  ~Site() {
    run_lock.reset();
    reset_process_state_for_testing();
  }

  int ctl(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    std::istringstream in;
    ctl::Console console{out, err, in};
    // A failing night's box goes to standard error; keep it out of the log.
    std::ostringstream box;
    std::streambuf* const standard_error = std::cerr.rdbuf(box.rdbuf());
    const int status = ctl::run(args, console);
    std::cerr.rdbuf(standard_error);
    return status;
  }

  // The night of 2026-12-08 by run-now at 00:30:00; `fail` makes it fail in
  // the intern transfer, after its snapshots.
  void run_night(bool fail = false) {
    if (fail)
      data.exec("Velmora", "UPDATE vlmr_estagiario SET Numero = 'S/N' WHERE matricula = '100005'");
    clock.set(2026, 12, 8, 0, 30, 0);
    ctl({"run-now"});
    clock.set(2026, 12, 8, 9, 0, 0);
  }

  void log_start_row_only() const {
    data.exec("Velmora",
              "INSERT INTO vlmr_logtransferencia (data, hora_inicial) VALUES "
              "('2026-12-08', '00:30:00 ')");
  }

  FakeClock clock;
  SeededDatabases data{40, {2026, 12, 8}};
  TempDir scratch;
  std::optional<LockFile> run_lock;
  std::ostringstream out;
  std::ostringstream err;

 private:
  Deployment site_;
};

// Whether `command` exits 0, for the format checkers.
bool accepted(const std::string& command) { return std::system(command.c_str()) == 0; }

TEST(StatusCheck, EachStateOfARealDeploymentReadsTheSameInTheCheckTheJsonAndTheMetrics) {
  const struct {
    const char* what;
    std::function<void(Site&)> make;
    bool nightly_process = true;
    int exit_status;
    std::string first_line;  // its start, up to the perfdata when there is one
    std::string json;        // a fragment of the JSON
    std::string metric;      // a line of the metrics
  } cases[] = {
      {"ok night", [](Site& t) { t.run_night(); }, true, 0,
       "VELMORA OK - night of 2026-12-08 ok in 0 s | duration=0s;;; interns=40;;; "
       "payments=480;;;",
       "\"last_success\":{\"date\":\"2026-12-08\",\"start\":\"00:30:00\",\"end\":\"00:30:00\"",
       "velmora_last_run_success 1"},
      {"failed night, restored", [](Site& t) { t.run_night(true); }, true, 2,
       "VELMORA CRITICAL - night of 2026-12-08 failed: 13 - ",
       "\"verdict\":\"RESTORED\",\"tables\":[{\"table\":\"cons_estagiario\",\"rows\":39,"
       "\"snapshot_rows\":39}",
       "velmora_failed_night_restored 1"},
      {"failed night, not restored",
       [](Site& t) {
         t.run_night(true);
         t.data.exec("consulta_tessarin", "DELETE FROM cons_estagiario WHERE rowid > 25");
       },
       true, 2,
       "VELMORA CRITICAL - night of 2026-12-08 failed and its tables are NOT RESTORED "
       "(cons_estagiario 25 rows, its snapshot 39 rows; cons_pagamento 468 rows, its snapshot "
       "468 rows): velmora-ctl restore --suffix 2026_12_07 | ",
       "\"restore_command\":\"velmora-ctl restore --suffix 2026_12_07\"",
       "velmora_failed_night_restored 0"},
      {"missed night", [](Site&) {}, true, 2,
       "VELMORA CRITICAL - night of 2026-12-08 did not run (no nightly process at 00:30:00; it "
       "started at 09:00:00) | ",
       "\"missed_nights\":[\"2026-12-08\"]", "velmora_missed_nights 1"},
      {"stuck run",
       [](Site& t) {
         t.log_start_row_only();
         t.clock.set(2026, 12, 8, 0, 30, 0);
         t.run_lock = LockFile::try_take(run_lock_path(), "velmora");
         t.clock.set(2026, 12, 8, 1, 10, 0);
       },
       true, 2, "VELMORA CRITICAL - a run has been in progress for 40 min (velmora, pid ",
       "\"outcome\":\"in progress\"", "velmora_run_in_progress_seconds 2400"},
      {"stopped run", [](Site& t) { t.log_start_row_only(); }, true, 2,
       "VELMORA CRITICAL - night of 2026-12-08 stopped during the run (no end time, no run in "
       "progress): velmora-ctl restore --suffix 2026_12_07 | ",
       "\"outcome\":\"stopped\"", "velmora_run_stopped 1"},
      {"no process", [](Site& t) { t.run_night(); }, false, 2,
       "VELMORA CRITICAL - no nightly process serves these databases on this machine: no run "
       "happens at 00:30:00 until it is started | ",
       "\"nightly_process\":null", "velmora_nightly_process_up 0"},
      {"orphan pairs",
       [](Site& t) {
         t.run_night();
         t.clock.set(2026, 12, 8, 9, 15, 0);
         t.ctl({"run-now", "--again"});
       },
       true, 1,
       "VELMORA WARNING - 1 snapshot pair(s) that no night will drop: 2026_12_07_091500 (drop "
       "them by hand once not needed) | ",
       "\"suffix\":\"2026_12_07_091500\",\"cons_estagiario_rows\":39,\"cons_pagamento_rows\":"
       "468,\"kept_aside\":true,\"dropped_by_a_night\":false",
       "velmora_orphan_snapshot_pairs 1"},
      {"source unreachable",
       [](Site& t) {
         t.run_night();
         std::filesystem::remove(t.data.dir() + "/Velmora.db");
       },
       true, 3, "VELMORA UNKNOWN - the run log cannot be read: ",
       "\"run_log\":{\"readable\":false,\"failure\":\"",
       "velmora_database_readable{catalog=\"Velmora\"} 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Site t;
    c.make(t);
    std::optional<LockFile> nightly;
    if (c.nightly_process) nightly = LockFile::try_take(instance_lock_path(), "velmora");
    const std::string metrics = t.scratch.path() + "/velmora.prom";

    EXPECT_EQ(t.ctl({"status", "--check", "--prometheus", metrics}), c.exit_status) << t.err.str();
    EXPECT_THAT(t.out.str(), StartsWith(c.first_line));
    std::ifstream file(metrics);
    const std::string written((std::istreambuf_iterator<char>(file)), {});
    EXPECT_THAT(written, HasSubstr(c.metric + "\n"));
    EXPECT_TRUE(accepted("promtool check metrics < " + metrics)) << written;

    EXPECT_EQ(t.ctl({"status", "--json"}), c.exit_status == 3 ? ctl::kFailure : ctl::kSuccess);
    EXPECT_THAT(t.out.str(), HasSubstr(c.json));
    std::ofstream(t.scratch.path() + "/status.json") << t.out.str();
    EXPECT_TRUE(accepted("python3 -m json.tool " + t.scratch.path() + "/status.json > /dev/null"))
        << t.out.str();
  }
}

// The box that says the failure notice could not be sent holds the run:
// while it waits, the run lock says so and the check is CRITICAL for it.
TEST(StatusCheck, ARunHeldByTheMailFailureBoxIsCriticalWhileTheBoxWaits) {
  Site t;
  t.clock.set(2026, 12, 8, 0, 30, 0);
  t.data.exec("Velmora", "UPDATE vlmr_estagiario SET Numero = 'S/N' WHERE matricula = '100005'");
  auto nightly = LockFile::try_take(instance_lock_path(), "velmora");
  auto lock = LockFile::try_take(run_lock_path(), "velmora");
  ASSERT_TRUE(lock);
  int seen_in_box = -1;
  std::string first_line, holder_stage;
  set_message_boxes({[&](const std::string&) {
                       t.clock.set(2026, 12, 8, 0, 31, 0);
                       holder_stage = lock_holder(run_lock_path())->stage;
                       seen_in_box = t.ctl({"status", "--check"});
                       first_line = t.out.str().substr(0, t.out.str().find('\n'));
                     },
                     {}});
  nightly_run::perform_run(&*lock);
  EXPECT_EQ(holder_stage, "mail-failure box");
  EXPECT_EQ(seen_in_box, 2);
  EXPECT_THAT(first_line, StartsWith("VELMORA CRITICAL - the run in progress (velmora, pid "));
  EXPECT_THAT(first_line, HasSubstr(", since 2026-12-08 00:30:00) is held by the mail-failure "
                                    "box since 2026-12-08 00:30:00: "));
  // Once dismissed, the run ends its row and the box holds nothing.
  EXPECT_EQ(lock_holder(run_lock_path())->stage, "end row");
}

}  // namespace
}  // namespace velmora::testing
