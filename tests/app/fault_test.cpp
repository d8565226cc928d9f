// Faults that real nights meet beyond a failing statement: the consultation
// server going away, a mail server that never answers, the consultation file
// on a full or read-only file system. After each faulty night the
// consultation tables are complete or exactly as before, the source is
// unchanged but for its run-log row, the run has returned; and the next
// night, with everything back, ends with complete tables.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/run/nightly_run.h"
#include "app/run/process_state.h"
#include "core/clock.h"
#include "core/deployment.h"
#include "core/failure.h"
#include "core/sql_text.h"
#include "ctl/ctl.h"
#include "db/client.h"
#include "db/conexao.h"
#include "db/connection_text.h"
#include "db/odbc_pool.h"
#include "db/odbc_session.h"
#include "db/time_outs.h"
#include "notify/mail_sender.h"
#include "notify/message_box.h"
#include "seed/embedded_data_set.h"
#include "tests/app/run_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/machine.h"
#include "tests/support/postgres.h"
#include "tests/support/smtp_server.h"
#include "transfer/frmatualizacao.h"
#include "transfer/intern_statements.h"
#include "transfer/payment_statements.h"

namespace velmora::testing {
namespace {

constexpr int kInterns = 20;
constexpr std::string_view kInternInsert = kInternInsertHead;
constexpr std::string_view kPaymentInsert = kPaymentInsertHead;
constexpr const char* kSourceTables[] = {"vlmr_estagiario",
                                         "vlmr_concurso",
                                         "vlmr_bolsaauxilio",
                                         "vlmr_estagiariodesignacao",
                                         "vlmr_estagiariointerrupcao",
                                         "vlmr_pagamento"};

Rows sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Calls `act` at the `n`-th statement that starts with `prefix`, just
// before that statement reaches the database.
void at_statement(std::string_view prefix_text, int n, std::function<void()> act) {
  auto seen = std::make_shared<int>(0);
  set_statement_observer(
      [=, prefix = std::string(prefix_text)](const Connection&, const std::string& text) {
        if (text.starts_with(prefix) && ++*seen == n) act();
      });
}

// The run-log row of one date: {hora_inicial, hora_final, erro}, "NULL" for
// a column never written.
struct LogRow {
  std::string start, end, erro;
};

// A night on seeded source data (kInterns interns, embedded), with the
// consultation database and the organiser catalog on a server the test
// chooses, a fake clock, the boxes recorded and a mail server that refuses
// connections unless the test names another. Each night runs in the same
// process state as the one before, as the nightly process does.
class FaultNight : public ::testing::Test, protected NightSurroundings {
 protected:
  void TearDown() override { reset_process_state_for_testing(); }

  // Seeds the source (and, in `consulta_dir`, embedded consultation and
  // organiser files, unused when the consultation server is another) for
  // 2026-12-08 and points the process at `consulta_server`.
  void set_up(const std::string& consulta_dir, const std::string& consulta_server,
              const std::string& odbc_driver = "FreeTDS") {
    seed::Options options;
    options.interns = kInterns;
    options.today = {2026, 12, 8, 0, 0, 0};
    seed::write_embedded_data_set(options, {source_.dir(), consulta_dir});
    reset_process_state_for_testing();
    Deployment deployment = built_in_deployment();
    deployment.source_server = source_.server();
    deployment.consulta_server = consulta_server;
    deployment.odbc_driver = odbc_driver;
    install_surroundings(std::move(deployment));
    clock_.set(2026, 12, 8, 0, 30, 0);
    set_clock(&clock_);
  }

  // Leaves the consultation tables as an older night did (fewer interns,
  // other payments), so that a restore and a rebuild look different.
  void age_consultation_tables(Database& consulta) {
    consulta.exec("consulta_tessarin",
                  "DELETE FROM cons_estagiario WHERE matricula IN (SELECT matricula FROM "
                  "cons_estagiario ORDER BY matricula LIMIT 5)");
    consulta.exec("consulta_tessarin", "DELETE FROM cons_pagamento WHERE anomes > '202606'");
  }

  Rows table(Database& consulta, const std::string& name) {
    return sorted(consulta.query("consulta_tessarin", "SELECT * FROM " + name));
  }
  struct Tables {
    Rows estagiario, pagamento;
    bool operator==(const Tables&) const = default;
  };
  Tables tables(Database& consulta, const std::string& suffix = "") {
    return {table(consulta, "cons_estagiario" + suffix),
            table(consulta, "cons_pagamento" + suffix)};
  }

  // Every source table, the run log without the rows of the two nights that
  // the tests run (2026-12-08 and 2026-12-09), and the list of tables.
  std::map<std::string, Rows> source_but_run_log() {
    std::map<std::string, Rows> out;
    for (const char* name : kSourceTables) out[name] = table_of_source(name);
    out["vlmr_logtransferencia"] = sorted(source_.query(
        "Velmora",
        "SELECT * FROM vlmr_logtransferencia WHERE data NOT IN ('2026-12-08', '2026-12-09')"));
    out["(tables)"] = sorted(source_.query(
        "Velmora", "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name"));
    return out;
  }
  Rows table_of_source(const std::string& name) {
    return sorted(source_.query("Velmora", "SELECT * FROM " + name));
  }

  std::optional<LogRow> log_row(const std::string& date) {
    const Rows rows = source_.query(
        "Velmora",
        "SELECT hora_inicial, hora_final, erro FROM vlmr_logtransferencia WHERE data = '" + date +
            "'");
    if (rows.empty()) return std::nullopt;
    EXPECT_EQ(rows.size(), 1u) << "one run on " << date;
    return LogRow{rows[0].at(0), rows[0].at(1), rows[0].at(2)};
  }

  // Asserts that `consulta`'s two tables hold one row for each source row:
  // the interns' and the payments' registration numbers match the source's.
  void expect_complete(Database& consulta) {
    auto column = [](Database& db, const std::string& catalog, const std::string& sql) {
      std::vector<std::string> out;
      for (const auto& row : db.query(catalog, sql)) out.push_back(row.at(0));
      std::sort(out.begin(), out.end());
      return out;
    };
    const auto interns = column(source_, "Velmora", "SELECT trim(matricula) FROM vlmr_estagiario");
    const auto payments = column(source_, "Velmora", "SELECT trim(matricula) FROM vlmr_pagamento");
    ASSERT_EQ(interns.size(), static_cast<std::size_t>(kInterns));
    EXPECT_EQ(column(consulta, "consulta_tessarin", "SELECT matricula FROM cons_estagiario"),
              interns);
    EXPECT_EQ(column(consulta, "consulta_tessarin", "SELECT matricula FROM cons_pagamento"),
              payments);
  }

  // For a night whose failure branch met the fault again and could not
  // finish: the failure is reported, the run's snapshot pair, if it took one
  // (`before` given), still holds the tables as they were before it (what an
  // operator restores from), and the end row carries the night's failure.
  void expect_unfinished_failure_branch(Database& consulta, const Tables* before,
                                        const std::string& outcome_prefix) {
    EXPECT_FALSE(reports.empty()) << "a failure nobody can handle is reported";
    if (before) {
      EXPECT_EQ(tables(consulta, "_2026_12_07"), *before);
    }
    // The night still mails once and completes its run-log row with the
    // failure that stopped it.
    EXPECT_EQ(modal_boxes.size(), 1u) << "the failure e-mail, which cannot reach its server";
    const std::optional<LogRow> log = log_row("2026-12-08");
    ASSERT_TRUE(log) << "the start row is written before the consultation database is used";
    EXPECT_NE(log->end, "NULL");
    EXPECT_TRUE(log->erro.starts_with(outcome_prefix)) << log->erro;
  }

  // The night after: 2026-12-09 00:30:00, no fault, in this process state.
  void run_next_night() {
    set_statement_observer(nullptr);
    modal_boxes.clear();
    reports.clear();
    clock_.set(2026, 12, 9, 0, 30, 0);
    nightly_run::perform_run();
  }

  EmbeddedDatabases source_;  // Velmora.db; its other two files are not used
  FakeClock clock_;
};

// The consultation server (PostgreSQL, a cluster of the test's own) goes
// away at the n-th insert of a transfer. The source stays on a server of its
// own (embedded here), as when the two databases live on two instances: the
// run log can still be written, and the night's outcome is all about the
// consultation server. The server is stopped with an immediate shutdown: no
// checkpoint, no waiting for its clients, every backend told to quit at once
// (each may send a last 57P01 before its socket closes) and a crash recovery
// at the next start, the nearest its own tools come to a crash or a lost
// machine. A fast shutdown would instead end every session in good order
// first. Every connection to it dies at once, the idle ones in the client's
// pool included.
struct Outage {
  const char* name;
  std::string_view insert;  // the transfer's insert at which the server goes
  int at;                   // the how-manieth of those inserts
  bool back_before_failure_branch;
};

void PrintTo(const Outage& o, std::ostream* os) { *os << o.name; }

class ConsultationServerOutage : public FaultNight, public ::testing::WithParamInterface<Outage> {
 protected:
  void SetUp() override {
    cluster_ = std::make_unique<PostgresTestCluster>();
    consulta_ = std::make_unique<PostgresDatabases>(cluster_->server());
    set_up(seeded_consulta_.dir(), cluster_->server(), PostgresDatabases::kDriver);
    // The units that the interns' assignments name.
    copy_table("CALVERIN", "orgaos", "orgao, nome, qorv, regiao, grupo");
    copy_table("CALVERIN", "gruposorgaos", "grupo, descricao");
    write_earlier_consultation_rows(*consulta_);
  }
  void TearDown() override {
    FaultNight::TearDown();
    consulta_.reset();
    cluster_.reset();
  }

  // Copies `columns` of every row of the seeded embedded `table` to the
  // server's.
  void copy_table(const std::string& catalog, const std::string& table,
                  const std::string& columns) {
    std::string values;
    for (const auto& row :
         seeded_consulta_.query(catalog, "SELECT " + columns + " FROM " + table)) {
      std::string tuple;
      for (const auto& v : row) {
        const std::string literal = v == "NULL" ? v : "'" + velmora::quoted(v) + "'";
        tuple += (tuple.empty() ? "(" : ", ") + literal;
      }
      values += (values.empty() ? "" : ", ") + tuple + ")";
    }
    ASSERT_FALSE(values.empty()) << table;
    consulta_->exec(catalog, "INSERT INTO " + table + " (" + columns + ") VALUES " + values);
  }

  EmbeddedDatabases seeded_consulta_;  // the data set's organiser catalog, copied from
  std::unique_ptr<PostgresTestCluster> cluster_;
  std::unique_ptr<PostgresDatabases> consulta_;
};

TEST_P(ConsultationServerOutage, LeavesTablesWholeOrRebuildsThemTheNextNight) {
  const Outage& outage = GetParam();
  const Tables before = tables(*consulta_);
  const auto source_before = source_but_run_log();
  at_statement(outage.insert, outage.at, [&] {
    cluster_->crash();
    if (outage.back_before_failure_branch) cluster_->resume();
  });

  nightly_run::perform_run();

  EXPECT_FALSE(frmatualizacao.run_in_progress);
  EXPECT_TRUE(all_connections_closed());
  EXPECT_EQ(source_but_run_log(), source_before);
  const std::optional<LogRow> log = log_row("2026-12-08");
  ASSERT_TRUE(log) << "the start row is written before the consultation server is used";
  if (outage.back_before_failure_branch) {
    // The failure branch finds the server back: it restores, logs the
    // failure, and the closings go through.
    EXPECT_EQ(tables(*consulta_), before);
    EXPECT_NE(log->end, "NULL");
    EXPECT_NE(log->erro, " SEM ERRO");
    EXPECT_EQ(modal_boxes.size(), 1u) << "the failure e-mail, which cannot reach its server";
    EXPECT_TRUE(reports.empty()) << reports.front();
  } else {
    // The failure branch cannot reach the server: nothing is restored.
    cluster_->resume();
    expect_unfinished_failure_branch(*consulta_, &before, "");
    EXPECT_NE(log->erro, " SEM ERRO");
    // The tables stay as the transfers left them when the server went.
    const Tables left = tables(*consulta_);
    const auto inserted = static_cast<std::size_t>(outage.at - 1);
    if (outage.insert == kInternInsert) {
      EXPECT_EQ(left.estagiario.size(), inserted);
      EXPECT_EQ(left.pagamento, before.pagamento);
    } else {
      EXPECT_EQ(left.estagiario.size(), static_cast<std::size_t>(kInterns));
      EXPECT_EQ(left.pagamento.size(), inserted);
    }
  }
  const Tables after_fault = tables(*consulta_);

  run_next_night();

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO") << (reports.empty() ? "" : reports.front());
  EXPECT_TRUE(all_connections_closed());
  expect_complete(*consulta_);
  // The next night took its snapshots of the tables as the fault left them.
  EXPECT_EQ(tables(*consulta_, "_2026_12_08"), after_fault);
  const std::optional<LogRow> next = log_row("2026-12-09");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->erro, " SEM ERRO");
  EXPECT_EQ(source_but_run_log(), source_before);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ConsultationServerOutage,
    ::testing::Values(Outage{"InternsBackBeforeRestore", kInternInsert, 8, true},
                      Outage{"InternsGoneForTheNight", kInternInsert, 8, false},
                      Outage{"PaymentsBackBeforeRestore", kPaymentInsert, 100, true},
                      Outage{"PaymentsGoneForTheNight", kPaymentInsert, 100, false}),
    [](const ::testing::TestParamInfo<Outage>& info) { return std::string(info.param.name); });

// A mail server that accepts the connection and never says a word, on a
// night whose payment transfer fails: the e-mail gives up after its
// time-outs (shortened here from 30 s and 2 min), its failure shows in the
// box, and the night still restores and writes its end row.
class SilentMailServerFault : public FaultNight {
 protected:
  void SetUp() override {
    set_up(source_.dir(), source_.server());
    age_consultation_tables(source_);
    site.smtp_port = smtp_.port();
    set_deployment_for_testing(&site);
    set_mail_timeouts_for_testing(&kShortWait);
  }
  static constexpr MailTimeouts kShortWait{std::chrono::milliseconds(300),
                                           std::chrono::milliseconds(1000)};
  SmtpTestServer smtp_{SmtpTestServer::Mode::kSilent};
};

TEST_F(SilentMailServerFault, DoesNotHoldTheNightAndTheTablesAreRestored) {
  const Tables before = tables(source_);
  const auto source_before = source_but_run_log();
  at_statement(kPaymentInsert, 5, [] { throw Failure(-7, "Table 'x' is missing."); });

  const auto started = std::chrono::steady_clock::now();
  nightly_run::perform_run();
  const auto took = std::chrono::steady_clock::now() - started;

  EXPECT_LT(took, std::chrono::seconds(10));
  ASSERT_EQ(modal_boxes.size(), 1u);
  EXPECT_TRUE(modal_boxes[0].starts_with("Ocorreu um erro no envio do e-mail: Timeout was reached"))
      << modal_boxes[0];
  EXPECT_TRUE(reports.empty()) << reports.front();
  EXPECT_EQ(tables(source_), before);
  EXPECT_EQ(source_but_run_log(), source_before);
  const std::optional<LogRow> log = log_row("2026-12-08");
  ASSERT_TRUE(log);
  EXPECT_NE(log->end, "NULL");
  EXPECT_EQ(log->erro, "-7 - Table x is missing. (matricula 100001, anomes 202604)");
  EXPECT_TRUE(all_connections_closed());

  run_next_night();

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
  expect_complete(source_);
  EXPECT_EQ(source_but_run_log(), source_before);
}

// Mounts made by a test, in a mount namespace of the test process's own so
// that they vanish with the process however it ends and nobody else sees
// them. Needs the right to mount (root, as here and in CI).
class TestMounts {
 public:
  // Empty when mounting is possible, else why not.
  static std::string enter_private_namespace() {
    if (::unshare(CLONE_NEWNS) != 0)
      return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("making / private: ") + std::strerror(errno);
    return "";
  }
  ~TestMounts() {
    for (auto it = targets_.rbegin(); it != targets_.rend(); ++it)
      ::umount2(it->c_str(), MNT_DETACH);
  }
  // A tmpfs of `kib` KiB on `dir`.
  void tmpfs(const std::string& dir, int kib) {
    const std::string options = "size=" + std::to_string(kib) + "k";
    check(::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()), "tmpfs on " + dir);
    targets_.push_back(dir);
  }
  // `path` (a file or a directory) read-only from now on, for root too.
  void read_only(const std::string& path) {
    check(::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr), "bind " + path);
    targets_.push_back(path);
    check(::mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr),
          "read-only " + path);
  }
  // Undoes the latest mount.
  void undo_last() {
    ASSERT_EQ(::umount2(targets_.back().c_str(), 0), 0) << std::strerror(errno);
    targets_.pop_back();
  }

 private:
  static void check(int rc, const std::string& what) {
    if (rc != 0) throw std::runtime_error("mount " + what + ": " + std::strerror(errno));
  }
  std::vector<std::string> targets_;
};

// The consultation database of the embedded client on a file system of its
// own, which the test fills or makes read-only.
class ConsultationFileFault : public FaultNight {
 protected:
  void SetUp() override {
    const std::string why = TestMounts::enter_private_namespace();
    if (!why.empty()) {
      VELMORA_CANNOT_RUN_HERE(
          "mounting file systems needs root with mount namespaces, and / a mount point (not a "
          "plain chroot nor an unprivileged container): " +
          why);
    }
  }
  void seed(bool on_tmpfs) {
    if (on_tmpfs) mounts_.tmpfs(consulta_.dir(), 4096);
    set_up(consulta_.dir(), consulta_.server());
    age_consultation_tables(consulta_);
  }

  EmbeddedDatabases consulta_;  // its files give way to the seeded ones
  TestMounts mounts_;           // unmounted before consulta_ goes
};

// The file system is full when the night starts, or fills up in the middle
// of the intern transfer (another program's files take the last blocks).
// Deleting and dropping rows needs free blocks too (SQLite writes every
// change to its write-ahead log first), so on a full file system the failure
// branch cannot drop, restore or even drop the older snapshots: a night that
// had already emptied cons_estagiario leaves it half-filled, as any database
// whose files cannot grow would. Freeing space and restoring from the run's
// snapshot pair, or simply the next night, mends it.
struct Fill {
  const char* name;
  int at_intern_insert;  // 0: before the night starts
  const char* outcome;   // the night's failure, as an end row would log it
};
void PrintTo(const Fill& f, std::ostream* os) { *os << f.name; }

class FullFileSystem : public ConsultationFileFault, public ::testing::WithParamInterface<Fill> {
 protected:
  void fill() {
    const int fd = ::open(filler_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const std::vector<char> block(64 * 1024, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }
  std::string filler_ = consulta_.dir() + "/filler";
};

TEST_P(FullFileSystem, KeepsOrCanRestoreTheTablesAndTheNextNightRebuilds) {
  seed(true);
  const Tables before = tables(consulta_);
  const auto source_before = source_but_run_log();
  if (GetParam().at_intern_insert == 0) {
    fill();
  } else {
    at_statement(kInternInsert, GetParam().at_intern_insert, [this] { fill(); });
  }

  nightly_run::perform_run();
  // Reading the file back needs a block or two as well (its shared-memory
  // index); what the night left does not change with free space.
  std::filesystem::remove(filler_);

  EXPECT_FALSE(frmatualizacao.run_in_progress);
  EXPECT_TRUE(all_connections_closed());
  EXPECT_EQ(source_but_run_log(), source_before);
  const bool from_the_start = GetParam().at_intern_insert == 0;
  if (from_the_start) {
    EXPECT_EQ(tables(consulta_), before) << "the night fails before it touches a table";
  }
  expect_unfinished_failure_branch(consulta_, from_the_start ? nullptr : &before,
                                   GetParam().outcome);
  const Tables after_fault = tables(consulta_);

  run_next_night();

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO") << (reports.empty() ? "" : reports.front());
  expect_complete(consulta_);
  EXPECT_EQ(tables(consulta_, "_2026_12_08"), after_fault);
  EXPECT_EQ(source_but_run_log(), source_before);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FullFileSystem,
    ::testing::Values(Fill{"BeforeTheNight", 0, "4874 - disk I/O error"},
                      Fill{"DuringTheInternTransfer", 12, "13 - database or disk is full"}),
    [](const ::testing::TestParamInfo<Fill>& info) { return std::string(info.param.name); });

// The consultation file is read-only (as a file of mode 0444 is for anyone
// but root; root ignores modes, so a read-only bind mount of the file does
// it here). SQLite then opens it for reading only; the night fails at its
// first snapshot and touches no table, and without snapshots of its own it
// keeps the older pair too.
TEST_F(ConsultationFileFault, ReadOnlyFileLeavesTheTablesAsTheyWere) {
  seed(false);
  const Tables before = tables(consulta_);
  const Tables older_pair = tables(consulta_, "_2026_12_06");
  const auto source_before = source_but_run_log();
  mounts_.read_only(consulta_.dir() + "/consulta_tessarin.db");

  nightly_run::perform_run();

  EXPECT_FALSE(frmatualizacao.run_in_progress);
  EXPECT_TRUE(all_connections_closed());
  EXPECT_EQ(tables(consulta_), before);
  EXPECT_EQ(tables(consulta_, "_2026_12_06"), older_pair);
  EXPECT_EQ(source_but_run_log(), source_before);
  EXPECT_TRUE(reports.empty()) << reports.front();
  EXPECT_EQ(modal_boxes.size(), 1u) << "the failure e-mail, which cannot reach its server";
  const std::optional<LogRow> log = log_row("2026-12-08");
  ASSERT_TRUE(log);
  EXPECT_NE(log->end, "NULL");
  EXPECT_EQ(log->erro, "8 - attempt to write a readonly database");

  mounts_.undo_last();
  run_next_night();

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO") << (reports.empty() ? "" : reports.front());
  expect_complete(consulta_);
  EXPECT_EQ(source_but_run_log(), source_before);
}

// Waits that reach their bounds, shortened here: each fails with the
// time-out's number and a description naming what timed out and where, the
// night handles it as any failure, and the next night completes.
TimeOuts short_time_outs() {
  TimeOuts t;
  t.login = std::chrono::seconds(2);
  t.statement = std::chrono::seconds(3);
  t.busy = std::chrono::seconds(1);
  t.keepalive_idle = std::chrono::seconds(1);
  t.keepalive_interval = std::chrono::seconds(1);
  t.keepalive_count = 2;
  t.unacknowledged = std::chrono::seconds(3);
  return t;
}

class ShortTimeOuts {
 public:
  ShortTimeOuts() { set_time_outs_for_testing(&bounds_); }
  ~ShortTimeOuts() { set_time_outs_for_testing(nullptr); }

 private:
  TimeOuts bounds_ = short_time_outs();
};

std::chrono::steady_clock::duration time_of(const std::function<void()>& act) {
  const auto start = std::chrono::steady_clock::now();
  act();
  return std::chrono::steady_clock::now() - start;
}

// Another session holds an exclusive lock on cons_estagiario in an open
// transaction: the night's snapshot waits for it until the statement's
// bound, and the server cancels it.
class LockedConsultationTable : public ConsultationServerOutage {
 protected:
  ShortTimeOuts bounds_;
};

TEST_F(LockedConsultationTable, EndsTheStatementAtItsBoundAndTheNextNightCompletes) {
  const Tables before = tables(*consulta_);
  {
    // The lock holder: a connection of its own with autocommit off.
    const std::unique_ptr<OdbcLink> holder = odbc_pool().take(odbc_connection_string(
        parse_connection_text(consulta_->connection_text("consulta_tessarin")),
        PostgresDatabases::kDriver));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(holder->dbc(), SQL_ATTR_AUTOCOMMIT,
                                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                                SQL_IS_UINTEGER)));
    OdbcStmt lock = allocate_handle<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, holder->dbc());
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(
        lock.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>("LOCK TABLE cons_estagiario")),
        SQL_NTS)));

    const auto took = time_of([] { nightly_run::perform_run(); });

    EXPECT_GE(took, std::chrono::seconds(3));
    EXPECT_LT(took, std::chrono::seconds(15));
    const std::optional<LogRow> log = log_row("2026-12-08");
    ASSERT_TRUE(log);
    EXPECT_NE(log->end, "NULL");
    EXPECT_TRUE(log->erro.starts_with(
        "-2147217871 - statement time-out after 3 s on consulta_tessarin ([57014]"))
        << log->erro;
    EXPECT_EQ(modal_boxes.size(), 1u) << "the failure e-mail, which cannot reach its server";
    EXPECT_TRUE(all_connections_closed());
  }  // the holder disconnects: its transaction ends and the lock with it
  EXPECT_EQ(tables(*consulta_), before);

  run_next_night();

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO") << (reports.empty() ? "" : reports.front());
  expect_complete(*consulta_);
}

// A network path of the test's own between this process and the
// consultation server: a network namespace joined to this one by a veth
// pair. The night runs with its thread inside the namespace and reaches the
// server through a forwarder on this side (the test server listens on
// loopback only); cutting the path drops every packet the namespace sends
// to it. Needs root (namespaces, iptables), as the mount tests do.
class NetworkPath {
 public:
  // Empty when the path was made, else why not.
  std::string make() {
    const pid_t pid = ::getpid();
    name_ = "vlmr" + std::to_string(pid);
    const std::string prefix =
        "10.231." + std::to_string((pid >> 6) & 255) + "." + std::to_string((pid & 63) * 4);
    here_ = prefix.substr(0, prefix.rfind('.') + 1) + std::to_string((pid & 63) * 4 + 1);
    there_ = prefix.substr(0, prefix.rfind('.') + 1) + std::to_string((pid & 63) * 4 + 2);
    for (const std::string& command :
         {"ip netns add " + name_,
          "ip link add " + name_ + "h type veth peer name " + name_ + "n netns " + name_,
          "ip addr add " + here_ + "/30 dev " + name_ + "h", "ip link set " + name_ + "h up",
          "ip -n " + name_ + " addr add " + there_ + "/30 dev " + name_ + "n",
          "ip -n " + name_ + " link set " + name_ + "n up", "ip -n " + name_ + " link set lo up",
          "ip netns exec " + name_ + " iptables -L -n"}) {
      if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return command + " failed";
      made_ = true;
    }
    home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    inside_ = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (home_ < 0 || inside_ < 0)
      return std::string("opening the namespaces: ") + std::strerror(errno);
    return "";
  }
  ~NetworkPath() {
    if (home_ >= 0) ::close(home_);
    if (inside_ >= 0) ::close(inside_);
    if (made_) {
      std::system(("ip link del " + name_ + "h >/dev/null 2>&1").c_str());
      std::system(("ip netns del " + name_ + " >/dev/null 2>&1").c_str());
    }
  }
  // This side's address of the path, where the forwarder listens.
  const std::string& here() const { return here_; }
  // Runs `act` on this thread inside the namespace.
  void inside(const std::function<void()>& act) {
    ASSERT_EQ(::setns(inside_, CLONE_NEWNET), 0) << std::strerror(errno);
    act();
    ASSERT_EQ(::setns(home_, CLONE_NEWNET), 0) << std::strerror(errno);
  }
  void cut() { iptables("-A OUTPUT -d " + here_ + " -j DROP"); }
  void mend() { iptables("-F OUTPUT"); }

 private:
  void iptables(const std::string& rule) {
    ASSERT_EQ(std::system(("ip netns exec " + name_ + " iptables " + rule).c_str()), 0) << rule;
  }
  std::string name_, here_, there_;
  bool made_ = false;
  int home_ = -1, inside_ = -1;
};

// Forwards every connection made to address:port() to 127.0.0.1:`target`,
// both ways, until destroyed.
class TcpForwarder {
 public:
  TcpForwarder(const std::string& address, int target) : target_(target) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    socklen_t length = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
      throw std::runtime_error(std::string("forwarder: ") + std::strerror(errno));
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { accept_all(); });
  }
  ~TcpForwarder() {
    stop_ = true;
    acceptor_.join();
    for (auto& t : pumps_) t.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  bool ready(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 100) > 0;
  }
  void accept_all() {
    while (!stop_) {
      if (!ready(listener_)) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<std::uint16_t>(target_));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(server);
        ::close(client);
        continue;
      }
      pumps_.emplace_back([this, client, server] { pump(client, server); });
    }
  }
  void pump(int a, int b) {
    char buffer[16384];
    while (!stop_) {
      pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
      if (::poll(p, 2, 100) <= 0) continue;
      bool open = true;
      for (int k = 0; k < 2 && open; ++k) {
        if (!p[k].revents) continue;
        const ssize_t n = ::read(p[k].fd, buffer, sizeof buffer);
        open = n > 0 && ::send(p[1 - k].fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
      }
      if (!open) break;
    }
    ::close(a);
    ::close(b);
  }

  int listener_ = -1;
  int port_ = 0;
  int target_;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> pumps_;  // only the acceptor adds to it
};

// The path to the consultation server is lost in the middle of the intern
// transfer: the statement in flight ends at the bound of unacknowledged
// data, the failure branch's logins end at the login time-out, the night
// ends with its failure logged, and the next night, the path back,
// completes.
class LostNetworkPath : public ConsultationServerOutage {
 protected:
  void SetUp() override {
    const std::string why = path_.make();
    if (!why.empty()) GTEST_SKIP() << "this test makes a network namespace and may not: " << why;
    ConsultationServerOutage::SetUp();
    const std::string server = cluster_->server();
    forwarder_ = std::make_unique<TcpForwarder>(path_.here(),
                                                std::stoi(server.substr(server.find(',') + 1)));
    site.consulta_server = path_.here() + "," + std::to_string(forwarder_->port());
    set_deployment_for_testing(&site);
  }
  void TearDown() override {
    ConsultationServerOutage::TearDown();
    forwarder_.reset();
  }
  NetworkPath path_;
  std::unique_ptr<TcpForwarder> forwarder_;
  ShortTimeOuts bounds_;
};

TEST_F(LostNetworkPath, FailsWithinTheBoundAndTheNextNightCompletes) {
  at_statement(kInternInsert, 8, [&] { path_.cut(); });

  const auto took = time_of([&] { path_.inside([] { nightly_run::perform_run(); }); });

  EXPECT_LT(took, std::chrono::seconds(40));
  EXPECT_FALSE(frmatualizacao.run_in_progress);
  EXPECT_TRUE(all_connections_closed());
  const std::optional<LogRow> log = log_row("2026-12-08");
  ASSERT_TRUE(log);
  EXPECT_NE(log->end, "NULL");
  // Dead-peer detection: the insert in flight is never acknowledged.
  EXPECT_TRUE(log->erro.starts_with("35 - [08S01] could not ")) << log->erro;
  EXPECT_NE(log->erro.find("Connection timed out"), std::string::npos) << log->erro;
  EXPECT_EQ(modal_boxes.size(), 1u) << "the failure e-mail, which cannot reach its server";

  path_.mend();
  path_.inside([&] { run_next_night(); });

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO") << (reports.empty() ? "" : reports.front());
  expect_complete(*consulta_);
}

// Another program holds the write lock of the embedded consultation file:
// the night's first write waits the busy time-out and fails.
class LockedConsultationFile : public FaultNight {
 protected:
  void SetUp() override {
    set_up(source_.dir(), source_.server());
    age_consultation_tables(source_);
  }
  ShortTimeOuts bounds_;
};

TEST_F(LockedConsultationFile, FailsAtTheBusyTimeOutAndTheNextNightCompletes) {
  const Tables before = tables(source_);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((source_.dir() + "/consulta_tessarin.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

  const auto took = time_of([] { nightly_run::perform_run(); });

  EXPECT_LT(took, std::chrono::seconds(10));
  const std::optional<LogRow> log = log_row("2026-12-08");
  ASSERT_TRUE(log);
  EXPECT_NE(log->end, "NULL");
  EXPECT_EQ(log->erro,
            "5 - lock wait time-out after 1 s on consulta_tessarin (database is locked)");
  EXPECT_EQ(modal_boxes.size(), 1u) << "the failure e-mail, which cannot reach its server";
  EXPECT_TRUE(all_connections_closed());

  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(tables(source_), before);

  run_next_night();

  EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO") << (reports.empty() ? "" : reports.front());
  expect_complete(source_);
}

// A loopback port whose connections the kernel accepts (into the listen
// backlog) and nobody ever reads or answers.
class SilentListener {
 public:
  SilentListener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd_, 64) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error(std::string("silent listener: ") + std::strerror(errno));
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(fd_); }
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

// A source server that accepts the connection and never answers, reached
// through FreeTDS: velmora-ctl check reports a login time-out for each
// catalog on it, and the night fails at its first open within the bound.
class SilentSourceServer : public FaultNight {
 protected:
  void SetUp() override {
    set_up(source_.dir(), source_.server());
    silent_ = "127.0.0.1," + std::to_string(silent_server_.port());
    site.source_server = silent_;
    site.odbc_driver = "FreeTDS";
    set_deployment_for_testing(&site);
  }
  SilentListener silent_server_;
  std::string silent_;
  ShortTimeOuts bounds_;
};

TEST_F(SilentSourceServer, CheckAndTheNightsFirstOpenFailAtTheLoginTimeOut) {
  std::ostringstream out, err;
  std::istringstream in;
  ctl::Console console{out, err, in, false, false};
  int status = 0;
  const auto check_took = time_of([&] { status = ctl::run({"check"}, console); });
  EXPECT_EQ(status, ctl::kFailure);
  EXPECT_LT(check_took, std::chrono::seconds(10));
  EXPECT_NE(
      out.str().find("FAIL  source database Velmora on " + silent_ +
                     " as sa: -2147217871 - login time-out after 2 s on Velmora at " + silent_),
      std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("ok    consultation database consulta_tessarin"), std::string::npos)
      << out.str();

  const auto night_took = time_of([] { nightly_run::perform_run(); });

  EXPECT_LT(night_took, std::chrono::seconds(10));
  EXPECT_TRUE(frmatualizacao.erro_execucao.starts_with(
      "-2147217871 - login time-out after 2 s on Velmora at " + silent_))
      << frmatualizacao.erro_execucao;
  EXPECT_FALSE(frmatualizacao.run_in_progress);
  EXPECT_TRUE(all_connections_closed());
}

}  // namespace
}  // namespace velmora::testing
