// The night's cost against the engine's: for each client and data-set size,
// one whole night through the code the timer's tick runs, and the same
// statements replayed straight through the engine. bench/run builds the
// Release tree, starts the PostgreSQL test server and runs this; by hand:
//
//   velmora_bench --work DIR [--sizes 1000,10000,100000]
//                 [--clients sqlite,postgres] [--repeat N]
//
// Every measurement runs in a fresh process of its own (this program started
// again with a step name), so that its peak resident memory is its own:
//
//   velmora_bench night --client C --work DIR [--record FILE]
//   velmora_bench replay-sqlite|replay-odbc|replay-odbc-own|replay-libpq --client C --work DIR
//                 --stream FILE
//
// replay-odbc connects with the driver's defaults, replay-odbc-own with the
// night's own driver options (odbc_driver_options: for psqlODBC a server-side
// cursor for every SELECT).
//   velmora_bench connect-cost
//   velmora_bench reset --client C --work DIR   (the data back as before the night)
//   velmora_bench prepare --client C --work DIR --interns N   (the data set made anew)
//
// A step can be run by hand on data that the orchestrator left in DIR, for
// instance under valgrind --tool=callgrind. The PostgreSQL client needs the
// server of tools/pg-test-server (VELMORA_TEST_PG) and the tests' driver list
// (ODBCSYSINI).
#include <libpq-fe.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "bench/data_set.h"
#include "bench/replay.h"
#include "core/clock.h"
#include "core/deployment.h"
#include "db/client.h"
#include "db/conexao.h"
#include "db/connection_text.h"
#include "db/odbc_pool.h"
#include "notify/message_box.h"
#include "tests/support/postgres.h"
#include "tools/embedded_databases.h"
#include "transfer/frmatualizacao.h"

namespace velmora::bench {
namespace {

namespace fs = std::filesystem;
using Args = std::map<std::string, std::string>;

constexpr const char* kCatalogs[] = {"Velmora", "consulta_tessarin", "CALVERIN"};
constexpr const char* kPostgresDriver = testing::PostgresDatabases::kDriver;

class NightClock final : public Clock {
 public:
  DateTime now() const override { return {kNightYear, kNightMonth, kNightDay, 0, 30, 0}; }
};

std::string arg(const Args& args, const std::string& key, const std::string& fallback = "") {
  const auto it = args.find(key);
  if (it != args.end()) return it->second;
  if (fallback.empty()) throw std::runtime_error("missing --" + key);
  return fallback;
}

std::pair<std::string, std::string> pg_host_port() {
  const std::string server = testing::PostgresDatabases::test_server();
  const auto comma = server.find(',');
  return {server.substr(0, comma), server.substr(comma + 1)};
}

// The live data of a run: files for the embedded client, the server for
// PostgreSQL.
std::string server_for(const std::string& client, const std::string& work) {
  return client == "sqlite" ? "sqlite:" + work + "/live"
                            : testing::PostgresDatabases::test_server();
}

void use_deployment(const std::string& client, const std::string& work) {
  static Deployment d;
  d = built_in_deployment();
  d.source_server = d.consulta_server = server_for(client, work);
  d.odbc_driver = kPostgresDriver;
  set_deployment_for_testing(&d);
}

// Catalog -> the system's connection text for it, parsed.
std::map<std::string, ConnectionText> connection_texts() {
  return {{"Velmora", parse_connection_text(source_connection_text())},
          {"consulta_tessarin", parse_connection_text(consulta_connection_text())},
          {"CALVERIN", parse_connection_text(organiser_connection_text())}};
}

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// User plus system CPU time of this process so far, in seconds: unlike the wall
// clock, it hardly moves when other processes load the machine.
double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// --- steps, each in a process of its own ---------------------------------

// The longest single statement of a night: for each statement the time
// from its start to the start of the next one (or to the end of the run),
// which holds the statement's own time and the client's work on its rows,
// so it errs on the long side, as a bound chosen from it should.
class LongestStatement {
 public:
  void started(const std::string& text) {
    const auto now = std::chrono::steady_clock::now();
    ended(now);
    last_text_ = text;
    last_start_ = now;
  }
  void ended(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) {
    if (last_text_.empty()) return;
    const double seconds = std::chrono::duration<double>(now - last_start_).count();
    if (seconds > seconds_) {
      seconds_ = seconds;
      text_ = last_text_;
    }
    last_text_.clear();
  }
  double seconds() const { return seconds_; }
  const std::string& text() const { return text_; }

 private:
  std::string last_text_, text_;
  std::chrono::steady_clock::time_point last_start_;
  double seconds_ = 0;
};

int step_night(const Args& args) {
  const std::string client = arg(args, "client"), work = arg(args, "work");
  use_deployment(client, work);
  NightClock clock;
  set_clock(&clock);
  set_message_boxes({[](const std::string&) {}, [](const std::string&) {}});

  std::unique_ptr<StreamWriter> writer;
  std::size_t statements = 0, organiser_opens = 0;
  if (args.count("record")) writer = std::make_unique<StreamWriter>(args.at("record"));
  LongestStatement longest;
  set_statement_observer([&](const Connection& c, const std::string& text) {
    longest.started(text);
    if (!writer) return;
    const std::string catalog = parse_connection_text(c.ConnectionString()).catalog;
    writer->append(catalog, text);
    ++statements;
    // Every unit lookup opens the organiser catalog, then asks by qorv.
    if (catalog == "CALVERIN" && text.find("a.qorv='") != std::string::npos) ++organiser_opens;
  });
  const double cpu_start = cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  nightly_run::perform_run();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = cpu_seconds() - cpu_start;
  longest.ended();
  set_statement_observer(nullptr);
  writer.reset();
  if (frmatualizacao.erro_execucao != nightly_run::kSuccessText) {
    std::cerr << "night failed: " << frmatualizacao.erro_execucao << "\n";
    return 1;
  }
  std::cerr << "  longest statement (" << longest.seconds()
            << " s): " << longest.text().substr(0, 100) << "\n";
  std::printf(
      "seconds=%.4f cpu=%.4f rss_kib=%ld statements=%zu organiser_opens=%zu longest_s=%.3f\n",
      seconds, cpu, peak_rss_kib(), statements, organiser_opens, longest.seconds());
  return 0;
}

int step_replay(const std::string& step, const Args& args) {
  const std::string client = arg(args, "client"), work = arg(args, "work");
  use_deployment(client, work);
  const auto stream = read_stream(arg(args, "stream"));
  ReplayResult r;
  const double cpu_start = cpu_seconds();
  if (step == "replay-sqlite") {
    r = replay_sqlite(work + "/live", stream);
  } else if (step == "replay-odbc") {
    r = replay_odbc(connection_texts(), kPostgresDriver, OdbcOptions::kDriverDefaults, stream);
  } else if (step == "replay-odbc-own") {
    r = replay_odbc(connection_texts(), kPostgresDriver, OdbcOptions::kNightsOwn, stream);
  } else {
    r = replay_libpq(connection_texts(), stream);
  }
  const double cpu = cpu_seconds() - cpu_start;
  std::printf("seconds=%.4f cpu=%.4f rss_kib=%ld statements=%zu rows=%zu values=%zu\n", r.seconds,
              cpu, peak_rss_kib(), r.statements, r.rows, r.values);
  return 0;
}

// Open and close of the organiser connection, pooled and unpooled.
int step_connect_cost(const Args& args) {
  use_deployment("postgres", arg(args, "work", "."));
  auto per_open_us = [](int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < count; ++k) {
      Connection cn;
      cn.Open(organiser_connection_text());
      cn.Close();
    }
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
               .count() /
           count;
  };
  per_open_us(10);  // the first login, and the driver loaded
  const double pooled = per_open_us(5000);
  odbc_pool().set_idle_timeout(std::chrono::steady_clock::duration::zero());
  const double unpooled = per_open_us(200);
  std::printf("pooled_us=%.2f unpooled_us=%.1f\n", pooled, unpooled);
  return 0;
}

// --- the orchestrator ----------------------------------------------------

std::map<std::string, double> parse_result(const std::string& line) {
  std::map<std::string, double> out;
  std::istringstream in(line);
  std::string pair;
  while (in >> pair) {
    const auto eq = pair.find('=');
    if (eq != std::string::npos) out[pair.substr(0, eq)] = std::stod(pair.substr(eq + 1));
  }
  return out;
}

std::string self_path() { return fs::read_symlink("/proc/self/exe").string(); }

// The load average over the last minute, as the kernel reports it.
std::string load_average() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  char buf[32] = "?";
  if (f) {
    if (std::fscanf(f, "%31s", buf) != 1) buf[0] = '?', buf[1] = '\0';
    std::fclose(f);
  }
  return buf;
}

// The PostgreSQL server's process (the postmaster) when the benchmark runs
// on PostgreSQL on this machine, else 0.
int g_postmaster = 0;

// The fields of /proc/PID/stat after the process name, which may hold blanks.
std::vector<std::string> proc_stat(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> fields;
  const auto close = text.rfind(')');
  if (close == std::string::npos) return fields;
  std::istringstream rest(text.substr(close + 1));
  for (std::string f; rest >> f;) fields.push_back(f);
  return fields;  // [0] state, [1] parent, [11] utime, [12] stime, [13] cutime, [14] cstime
}

// CPU seconds the server has used so far: the postmaster's own, that of the
// backends it has reaped, and that of its running (or exited, unreaped)
// children. A step's difference is the server's work for it, which moves far
// less with the machine's load than the wall clock does.
double server_cpu_seconds() {
  if (g_postmaster == 0) return 0;
  auto ticks = [](const std::vector<std::string>& f, std::size_t from, std::size_t count) {
    double sum = 0;
    for (std::size_t k = from; k < from + count && k < f.size(); ++k) sum += std::stod(f[k]);
    return sum;
  };
  const std::string postmaster = std::to_string(g_postmaster);
  double total = ticks(proc_stat(postmaster), 11, 4);
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
    const auto f = proc_stat(pid);
    if (f.size() > 12 && f[1] == postmaster) total += ticks(f, 11, 2);
  }
  return total / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs one step in a new process and returns its result line, printed with
// the load average before and after the step and, on PostgreSQL, the
// server's CPU seconds for the step (server_cpu).
std::map<std::string, double> run_step(const std::vector<std::string>& words) {
  const std::string load_before = load_average();
  const double server_before = server_cpu_seconds();
  std::string command = "'" + self_path() + "'";
  for (const auto& w : words) command += " '" + w + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot start " + command);
  std::string last;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe)) last = buf;
  if (pclose(pipe) != 0) throw std::runtime_error("step failed: " + command);
  while (!last.empty() && last.back() == '\n') last.pop_back();
  if (g_postmaster != 0) {
    char server[48];
    std::snprintf(server, sizeof server, " server_cpu=%.4f", server_cpu_seconds() - server_before);
    last += server;
  }
  std::cout << "  " << words[0] << ": " << last << " load=" << load_before << "->" << load_average()
            << std::endl;
  return parse_result(last);
}

class PgAdmin {
 public:
  PgAdmin() {
    const auto [host, port] = pg_host_port();
    conn_ = PQconnectdb(("host=" + host + " port=" + port + " user=sa dbname=postgres").c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      throw std::runtime_error(std::string("admin connection: ") + PQerrorMessage(conn_));
    }
  }
  ~PgAdmin() { PQfinish(conn_); }
  // The server process serving this connection.
  int backend_pid() const { return PQbackendPID(conn_); }
  void exec(const std::string& sql) {
    PGresult* r = PQexec(conn_, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) throw std::runtime_error(sql + ": " + PQerrorMessage(conn_));
  }

 private:
  PGconn* conn_ = nullptr;
};

const char* owner_of(const std::string& catalog) {
  if (catalog == "Velmora") return "sa";
  if (catalog == "consulta_tessarin") return "consulta_tessarin_int02";
  return "CALVERIN_int01";
}

// Makes the data set of `interns` once, kept aside as a template.
void prepare(const std::string& client, const std::string& work, int interns) {
  if (client == "sqlite") {
    fs::remove_all(work + "/template");
    tools::create_embedded_databases(work + "/template");
    load_sqlite(work + "/template", interns);
    return;
  }
  {
    testing::PostgresDatabases empty;  // the system's empty tables
  }
  odbc_pool().clear();
  const auto [host, port] = pg_host_port();
  load_postgres(host, port, interns);
  PgAdmin admin;
  for (const std::string catalog : kCatalogs) {
    admin.exec("DROP DATABASE IF EXISTS \"bench_" + catalog + "\"");
    admin.exec("CREATE DATABASE \"bench_" + catalog + "\" TEMPLATE \"" + catalog + "\"");
  }
}

// Puts the template back in place of the live data, as the night before left it.
void reset(const std::string& client, const std::string& work) {
  if (client == "sqlite") {
    fs::remove_all(work + "/live");
    fs::create_directories(work + "/live");
    for (const std::string catalog : kCatalogs) {
      fs::copy_file(work + "/template/" + catalog + ".db", work + "/live/" + catalog + ".db");
    }
    return;
  }
  PgAdmin admin;
  for (const std::string catalog : kCatalogs) {
    admin.exec("DROP DATABASE \"" + catalog + "\" WITH (FORCE)");
    admin.exec("CREATE DATABASE \"" + catalog + "\" OWNER \"" + owner_of(catalog) +
               "\" TEMPLATE \"bench_" + catalog + "\"");
  }
}

struct Row {
  std::string client;
  int interns = 0;
  double statements = 0, organiser_opens = 0;
  // replay: SQLite, or ODBC with the driver's defaults; own: ODBC with the
  // night's own driver options.
  std::vector<double> night, rss_mib, replay, own, libpq;
  std::vector<double> night_cpu, replay_cpu, own_cpu, libpq_cpu;
  // Our CPU plus the server's, PostgreSQL only.
  std::vector<double> night_all, replay_all, own_all, libpq_all;
  std::vector<double> longest;  // the longest single statement of each night, s
};

double best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) out.push_back(item);
  return out;
}

std::string join(const std::vector<double>& v, const char* format) {
  std::string out;
  char buf[64];
  for (double x : v) {
    std::snprintf(buf, sizeof buf, format, x);
    out += (out.empty() ? "" : " ") + std::string(buf);
  }
  return out;
}

int orchestrate(const Args& args) {
  const std::string work = fs::absolute(arg(args, "work")).string();
  const auto sizes = split(arg(args, "sizes", "1000,10000,100000"));
  const auto clients = split(arg(args, "clients", "sqlite,postgres"));
  const int repeat = std::stoi(arg(args, "repeat", "3"));
  if (repeat < 1) throw std::runtime_error("--repeat must be at least 1");
  fs::create_directories(work);
  const std::string stream = work + "/stream.txt";

  std::vector<Row> rows;
  std::map<std::string, double> connect;
  for (const auto& client : clients) {
    g_postmaster = 0;
    if (client == "postgres") {
      const auto f = proc_stat(std::to_string(PgAdmin().backend_pid()));
      if (f.size() > 1) g_postmaster = std::stoi(f[1]);
    }
    for (const auto& size : sizes) {
      Row row;
      row.client = client;
      row.interns = std::stoi(size);
      std::cout << client << ", " << size << " interns: preparing" << std::endl;
      prepare(client, work, row.interns);
      reset(client, work);
      const auto recorded =
          run_step({"night", "--client", client, "--work", work, "--record", stream});
      row.statements = recorded.at("statements");
      row.organiser_opens = recorded.at("organiser_opens");
      for (int k = 0; k < repeat; ++k) {
        reset(client, work);
        const auto night = run_step({"night", "--client", client, "--work", work});
        row.night.push_back(night.at("seconds"));
        row.night_cpu.push_back(night.at("cpu"));
        row.longest.push_back(night.at("longest_s"));
        if (night.count("server_cpu"))
          row.night_all.push_back(night.at("cpu") + night.at("server_cpu"));
        row.rss_mib.push_back(night.at("rss_kib") / 1024.0);
        reset(client, work);
        const std::string replay = client == "sqlite" ? "replay-sqlite" : "replay-odbc";
        const auto replayed =
            run_step({replay, "--client", client, "--work", work, "--stream", stream});
        row.replay.push_back(replayed.at("seconds"));
        row.replay_cpu.push_back(replayed.at("cpu"));
        if (replayed.count("server_cpu")) {
          row.replay_all.push_back(replayed.at("cpu") + replayed.at("server_cpu"));
        }
        if (client == "postgres") {
          reset(client, work);
          const auto own =
              run_step({"replay-odbc-own", "--client", client, "--work", work, "--stream", stream});
          row.own.push_back(own.at("seconds"));
          row.own_cpu.push_back(own.at("cpu"));
          row.own_all.push_back(own.at("cpu") + own.at("server_cpu"));
          reset(client, work);
          const auto libpq =
              run_step({"replay-libpq", "--client", client, "--work", work, "--stream", stream});
          row.libpq.push_back(libpq.at("seconds"));
          row.libpq_cpu.push_back(libpq.at("cpu"));
          row.libpq_all.push_back(libpq.at("cpu") + libpq.at("server_cpu"));
        }
      }
      rows.push_back(row);
    }
    if (client == "postgres") connect = run_step({"connect-cost", "--work", work});
  }
  fs::remove(stream);

  std::printf(
      "\nBest of %d; all runs in brackets. Ratio = night / replay. On PostgreSQL the replay\n"
      "connects with the driver's defaults, the own-options replay with the night's.\n\n",
      repeat);
  std::printf(
      "| client | interns | statements | night s | us/intern | statements/s | interns/s | "
      "peak RSS MiB | replay s | run/replay | own-options replay s | run/own | libpq s | "
      "run/libpq |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Row& r : rows) {
    const double night = best(r.night), replay = best(r.replay);
    std::printf("| %s | %d | %.0f | %.2f | %.0f | %.0f | %.0f | %.1f | %.2f | %.3f |",
                r.client.c_str(), r.interns, r.statements, night, night / r.interns * 1e6,
                r.statements / night, r.interns / night,
                *std::max_element(r.rss_mib.begin(), r.rss_mib.end()), replay, night / replay);
    if (r.own.empty()) {
      std::printf(" | |");
    } else {
      std::printf(" %.2f | %.3f |", best(r.own), night / best(r.own));
    }
    if (r.libpq.empty()) {
      std::printf(" | |\n");
    } else {
      std::printf(" %.2f | %.3f |\n", best(r.libpq), night / best(r.libpq));
    }
  }
  std::printf(
      "\nCPU seconds of our process (best of %d; the server's own CPU is not counted):\n\n"
      "| client | interns | night cpu s | cpu us/intern | replay cpu s | cpu run/replay | "
      "own-options cpu s | cpu run/own | libpq cpu s |\n|---|---|---|---|---|---|---|---|---|\n",
      repeat);
  for (const Row& r : rows) {
    const double night = best(r.night_cpu), replay = best(r.replay_cpu);
    std::printf("| %s | %d | %.2f | %.0f | %.2f | %.3f |", r.client.c_str(), r.interns, night,
                night / r.interns * 1e6, replay, night / replay);
    if (r.own_cpu.empty()) {
      std::printf(" | |");
    } else {
      std::printf(" %.2f | %.3f |", best(r.own_cpu), night / best(r.own_cpu));
    }
    if (r.libpq_cpu.empty()) {
      std::printf(" |\n");
    } else {
      std::printf(" %.2f |\n", best(r.libpq_cpu));
    }
  }
  bool any_server = false;
  for (const Row& r : rows) any_server = any_server || !r.night_all.empty();
  if (any_server) {
    std::printf(
        "\nCPU seconds of our process and the server together (best of %d): the work of each "
        "step,\nwhich the machine's load moves far less than the wall clock:\n\n"
        "| client | interns | night s | us/intern | replay s | run/replay | own-options replay "
        "s | run/own | libpq s | run/libpq |\n|---|---|---|---|---|---|---|---|---|---|\n",
        repeat);
    for (const Row& r : rows) {
      if (r.night_all.empty()) continue;
      const double night = best(r.night_all), replay = best(r.replay_all), own = best(r.own_all),
                   libpq = best(r.libpq_all);
      std::printf("| %s | %d | %.2f | %.0f | %.2f | %.3f | %.2f | %.3f | %.2f | %.3f |\n",
                  r.client.c_str(), r.interns, night, night / r.interns * 1e6, replay,
                  night / replay, own, night / own, libpq, night / libpq);
    }
  }
  std::printf(
      "\nRaw seconds: night / replay / own-options replay / libpq (wall, then cpu); peak RSS "
      "MiB\n");
  for (const Row& r : rows) {
    std::printf("  %s %d: [%s] / [%s] / [%s] / [%s]; cpu [%s] / [%s] / [%s] / [%s]; [%s]\n",
                r.client.c_str(), r.interns, join(r.night, "%.2f").c_str(),
                join(r.replay, "%.2f").c_str(), join(r.own, "%.2f").c_str(),
                join(r.libpq, "%.2f").c_str(), join(r.night_cpu, "%.2f").c_str(),
                join(r.replay_cpu, "%.2f").c_str(), join(r.own_cpu, "%.2f").c_str(),
                join(r.libpq_cpu, "%.2f").c_str(), join(r.rss_mib, "%.1f").c_str());
  }
  std::printf(
      "\nLongest single statement of a night (from its start to the next statement's; the\n"
      "statement time-out is chosen from it), longest of %d:\n\n"
      "| client | interns | longest statement s | all runs |\n|---|---|---|---|\n",
      repeat);
  for (const Row& r : rows) {
    std::printf("| %s | %d | %.2f | [%s] |\n", r.client.c_str(), r.interns,
                *std::max_element(r.longest.begin(), r.longest.end()),
                join(r.longest, "%.2f").c_str());
  }
  if (!connect.empty()) {
    std::printf(
        "\nOrganiser connection open+close: pooled %.1f us, unpooled %.0f us.\n"
        "Per night (one open per unit lookup) and projected night over a network, at one round\n"
        "trip per statement (night on loopback + statements x round trip):\n\n",
        connect.at("pooled_us"), connect.at("unpooled_us"));
    std::printf(
        "| interns | unit lookups | organiser cost pooled s | unpooled s | night at 1 ms | at 2 ms "
        "|\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& r : rows) {
      if (r.client != "postgres") continue;
      const double night = best(r.night);
      std::printf("| %d | %.0f | %.2f | %.1f | %.0f s | %.0f s |\n", r.interns, r.organiser_opens,
                  r.organiser_opens * connect.at("pooled_us") / 1e6,
                  r.organiser_opens * connect.at("unpooled_us") / 1e6, night + r.statements * 0.001,
                  night + r.statements * 0.002);
    }
  }
  return 0;
}

}  // namespace
}  // namespace velmora::bench

int main(int argc, char** argv) {
  using namespace velmora::bench;
  try {
    std::string step;
    Args args;
    int k = 1;
    if (k < argc && argv[k][0] != '-') step = argv[k++];
    for (; k + 1 < argc; k += 2) {
      std::string key = argv[k];
      if (!key.starts_with("--")) throw std::runtime_error("unexpected argument " + key);
      args[key.substr(2)] = argv[k + 1];
    }
    if (k < argc) throw std::runtime_error(std::string("option without a value: ") + argv[k]);
    if (step.empty()) return orchestrate(args);
    if (step == "night") return step_night(args);
    if (step.starts_with("replay-")) return step_replay(step, args);
    if (step == "connect-cost") return step_connect_cost(args);
    if (step == "prepare") {
      prepare(arg(args, "client"), arg(args, "work"), std::stoi(arg(args, "interns")));
      return 0;
    }
    if (step == "reset") {
      reset(arg(args, "client"), arg(args, "work"));
      return 0;
    }
    throw std::runtime_error("unknown step " + step);
  } catch (const std::exception& e) {
    std::cerr << "velmora_bench: " << e.what() << "\n";
    return 1;
  }
}
