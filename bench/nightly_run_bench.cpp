// A whole night on the embedded client: N interns, each with an exam, a
// grant, two assignments (and so a unit lookup), an interruption and a
// commendation, and four payments per intern. Reports the run's wall time,
// the time per intern and the process's peak resident memory, so that a
// night over a large source can be judged without running one.
//
//   BUILD/bench/velmora_nightly_run_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "app/run/nightly_run.h"
#include "db/conexao.h"
#include "notify/message_box.h"
#include "tests/support/fixtures.h"
#include "transfer/frmatualizacao.h"

namespace velmora {
namespace {

void seed(testing::EmbeddedDatabases& db, int interns) {
  std::string source = "BEGIN;";
  source += "insert into vlmr_concurso values ('C1','Concurso 2025');";
  source += "insert into vlmr_bolsaauxilio values (7,'Bolsa integral');";
  for (int i = 1; i <= interns; ++i) {
    const std::string m = std::to_string(100000 + i);
    source += "insert into vlmr_estagiario values ('" + m + "','O','C1','7','Nome " + m +
              "','2','Filiacao','000.000.000-00','Rua','Apto','12','Bairro','Cidade','PE',"
              "'50000-000','3333','9999','a@b.c','Faculdade','B','C','5','1','2027-06-30',"
              "'2025-01-02','2026-12-31','1','','','','Elogio " +
              m + "');";
    source +=
        "insert into vlmr_estagiariodesignacao values (1,'" + m + "','2025-01-02',NULL,'Q1');";
    source += "insert into vlmr_estagiariodesignacao values (2,'" + m + "','2025-06-01',NULL,'" +
              std::to_string(i % 50 + 1) + "');";
    source += "insert into vlmr_estagiariointerrupcao values (1,'" + m +
              "','2025-03-01','2025-03-10',NULL,'Motivo');";
    for (int p = 1; p <= 4; ++p) {
      source += "insert into vlmr_pagamento values ('" + m + "','20250" + std::to_string(p) +
                "',1500.50,'2025-0" + std::to_string(p) + "-05');";
    }
  }
  source += "COMMIT;";
  db.exec("Velmora", source);
  std::string units = "BEGIN;insert into gruposorgaos values (1,'Grupo');";
  for (int u = 1; u <= 50; ++u) {
    units += "insert into orgaos values (" + std::to_string(u) + ",'Unidade " + std::to_string(u) +
             "','Q" + std::to_string(u) + "','R',1);";
  }
  db.exec("CALVERIN", units + "COMMIT;");
}

long peak_resident_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_NightlyRun(benchmark::State& state) {
  const int interns = static_cast<int>(state.range(0));
  set_message_boxes({[](const std::string&) {}, [](const std::string&) {}});
  for (auto _ : state) {
    state.PauseTiming();
    testing::EmbeddedDatabases db;
    seed(db, interns);
    testing::FakeClock clock;
    testing::SystemUnderTest sut(db, &clock);
    state.ResumeTiming();
    nightly_run::perform_run();
    state.PauseTiming();
    if (frmatualizacao.erro_execucao != " SEM ERRO") {
      state.SkipWithError(("run failed: " + frmatualizacao.erro_execucao).c_str());
    }
    state.ResumeTiming();
  }
  set_message_boxes({});
  state.counters["interns"] = interns;
  state.counters["us_per_intern"] = benchmark::Counter(
      static_cast<double>(interns),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["peak_rss_MiB"] = static_cast<double>(peak_resident_kib()) / 1024.0;
}
BENCHMARK(BM_NightlyRun)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
