// Run against the test server:
//   bash tools/pg-test-server start /tmp/pg && set -a && . /tmp/pg/env && set +a
//   ODBCSYSINI=$PWD/tools/odbc ODBCINSTINI=odbcinst.ini BUILD/bench/velmora_odbc_bench
//   bash tools/pg-test-server stop /tmp/pg
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/deployment.h"
#include "db/client.h"
#include "db/connection_text.h"
#include "db/odbc_pool.h"
#include "db/odbc_session.h"
#include "tests/support/postgres.h"

namespace velmora {
namespace {

// The test databases and a deployment using their driver, made once.
testing::PostgresDatabases& databases() {
  static testing::PostgresDatabases db;
  static Deployment d = [] {
    Deployment out = built_in_deployment();
    out.odbc_driver = testing::PostgresDatabases::kDriver;
    return out;
  }();
  set_deployment_for_testing(&d);
  return db;
}

// One unit lookup's connection cycle: open the organiser catalog, close it.
// Argument 0: pooled (1) or not (0); argument 1: the organiser login with its
// password (0) or sa, trusted without one (1).
void BM_OpenClose(benchmark::State& state) {
  const bool pooled = state.range(0) != 0;
  const bool trusted = state.range(1) != 0;
  const std::string text = trusted ? databases().connection_text("CALVERIN", "sa", "''")
                                   : databases().connection_text("CALVERIN");
  odbc_pool().clear();
  odbc_pool().set_idle_timeout(pooled ? OdbcPool::kDefaultIdleTimeout
                                      : std::chrono::steady_clock::duration::zero());
  for (auto _ : state) {
    Connection cn;
    cn.Open(text);
    cn.Close();
  }
  odbc_pool().set_idle_timeout(OdbcPool::kDefaultIdleTimeout);
  state.SetLabel(std::string(pooled ? "pooled" : "unpooled") +
                 (trusted ? ", sa trusted" : ", password login"));
}
BENCHMARK(BM_OpenClose)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMicrosecond);

// Heap taken by intern rows read into memory, as a pending row set holds
// them after a statement interrupts it: every column filled as a typical
// intern row is.
void BM_PendingInternRows(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  auto& db = databases();
  db.exec("Velmora", "delete from vlmr_estagiario");
  db.exec("Velmora",
          "insert into vlmr_estagiario select lpad(g::text, 6, '0'), 'S', '12', '3', "
          "'Maria Aparecida da Conceição Silva', 'F', 'José da Silva e Ana Maria da Conceição', "
          "'000.000.000-00', 'Rua das Acácias', 'Apto 101', '1234', 'Boa Viagem', 'Recife', "
          "'PE', '51000-000', '(81) 3333-4444', '(81) 99999-8888', 'maria.silva@example.com', "
          "'Universidade Federal de Pernambuco', 'Cidade Universitária', 'Recife', '7', 'M', "
          "'2026-12-20', '2025-03-01', '2027-02-28', 'A', '', '', '', '' "
          "from generate_series(1, " +
              std::to_string(rows) + ") g");
  auto session = open_odbc_session(parse_connection_text(db.connection_text("Velmora")),
                                   testing::PostgresDatabases::kDriver);
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto cursor = session->execute("select * from vlmr_estagiario");
    auto held = std::make_unique<std::deque<std::vector<Value>>>();
    std::vector<Value> row;
    while (cursor->next(row)) held->push_back(std::move(row));
    // What the rows take is what their release gives back.
    const std::size_t with_rows = mallinfo2().uordblks;
    held.reset();
    bytes = with_rows - mallinfo2().uordblks;
  }
  session->close();
  state.counters["bytes_per_row"] = static_cast<double>(bytes) / rows;
  state.counters["MB_total"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_PendingInternRows)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
