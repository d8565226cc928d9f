#include "seed/data_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/seed/seeded.h"

namespace velmora::testing {
namespace {

const DateTime kToday{2026, 12, 8, 14, 0, 0};

// Every row as text, by table, in the order generated.
class RecordingSink final : public seed::Sink {
 public:
  void begin(const seed::Table& t) override { table_ = t.catalog + "." + t.name; }
  void row(const std::vector<Value>& values) override {
    std::string line;
    for (const Value& v : values) line += debug_text(v) + "|";
    rows[table_].push_back(line);
  }
  void end() override {}
  std::map<std::string, std::vector<std::string>> rows;

 private:
  std::string table_;
};

RecordingSink generated(int interns, std::uint64_t seed) {
  RecordingSink sink;
  seed::generate({interns, seed, kToday}, sink);
  return sink;
}

TEST(SeedDataSet, TheSameOptionsGiveTheSameRowsAndAnotherSeedOthers) {
  const auto first = generated(60, 7);
  EXPECT_EQ(first.rows, generated(60, 7).rows);
  EXPECT_NE(first.rows.at("Velmora.vlmr_estagiario"),
            generated(60, 8).rows.at("Velmora.vlmr_estagiario"));
}

TEST(SeedDataSet, ALargerDataSetKeepsTheInternsOfASmallerOne) {
  const auto small = generated(30, 3);
  const auto large = generated(90, 3);
  for (const char* table : {"Velmora.vlmr_estagiario", "Velmora.vlmr_pagamento"}) {
    const auto& few = small.rows.at(table);
    const auto& many = large.rows.at(table);
    ASSERT_GT(many.size(), few.size()) << table;
    EXPECT_EQ(few, std::vector<std::string>(many.begin(), many.begin() + few.size())) << table;
  }
}

TEST(SeedDataSet, OutOfRangeInternCountsAreRefused) {
  RecordingSink sink;
  EXPECT_THROW(seed::generate({0, 1, kToday}, sink), std::invalid_argument);
  EXPECT_THROW(seed::generate({seed::kMaxInterns + 1, 1, kToday}, sink), std::invalid_argument);
}

// What a realistic installation has, which the night's code paths need:
// each query answers 1 when the data set has it.
TEST(SeedDataSet, HoldsTheCasesANightMeets) {
  const SeededDatabases data(400, kToday);
  const std::pair<const char*, const char*> cases[] = {
      {"a name with an apostrophe",
       "select exists(select 1 from vlmr_estagiario where nome like "
       "'%''%')"},
      {"a name with an accented letter",
       "select exists(select 1 from vlmr_estagiario where length(nome) < "
       "length(cast(nome as blob)))"},
      {"an intern without an assignment",
       "select exists(select 1 from vlmr_estagiario e where not exists (select 1 from "
       "vlmr_estagiariodesignacao d where d.matricula = e.matricula))"},
      {"an intern with three assignments",
       "select exists(select matricula from vlmr_estagiariodesignacao group by matricula "
       "having count(*) = 3)"},
      {"an intern with an open interruption",
       "select exists(select 1 from vlmr_estagiariointerrupcao where dtfim is null)"},
      {"a unit found by its qorv code",
       "select exists(select 1 from vlmr_estagiariodesignacao d join CALVERIN.orgaos o on o.qorv "
       "= d.Id_orgao)"},
      {"a unit found by its number",
       "select exists(select 1 from vlmr_estagiariodesignacao d join CALVERIN.orgaos o on "
       "cast(o.orgao as text) = d.Id_orgao)"},
      {"a unit that no longer exists",
       "select exists(select 1 from vlmr_estagiariodesignacao where Id_orgao <> '' and Id_orgao "
       "not in (select qorv from CALVERIN.orgaos) and Id_orgao not in (select cast(orgao as "
       "text) from CALVERIN.orgaos))"},
      {"an exam found and one not found",
       "select exists(select 1 from vlmr_estagiario where concurso in (select concurso from "
       "vlmr_concurso)) and exists(select 1 from vlmr_estagiario where concurso <> '' and "
       "concurso not in (select concurso from vlmr_concurso))"},
      {"a grant found and one not found",
       "select exists(select 1 from vlmr_estagiario where id_bolsa in (select id_bolsa from "
       "vlmr_bolsaauxilio)) and exists(select 1 from vlmr_estagiario where id_bolsa not in "
       "(select id_bolsa from vlmr_bolsaauxilio))"},
      {"commendations, sanctions and earlier rows of them",
       "select exists(select 1 from vlmr_estagiario where elogio is not null) and exists(select "
       "1 from vlmr_estagiario where sancao is not null) and exists(select 1 from "
       "consulta_tessarin.cons_estagiarioelogio)"},
      {"twelve months of payments for every intern",
       "select not exists(select 1 from vlmr_estagiario e where (select count(*) from "
       "vlmr_pagamento p where p.matricula = e.matricula) <> 12)"},
      {"a run log of earlier nights",
       "select count(*) >= 5 from vlmr_logtransferencia where hora_final is not null"},
      {"numbers where the statements write them bare",
       "select not exists(select 1 from consulta_tessarin.cons_estagiarioelogio where "
       "typeof(matricula) <> 'integer') and not exists(select 1 from CALVERIN.orgaos where "
       "typeof(orgao) <> 'integer') and not exists(select 1 from vlmr_bolsaauxilio where "
       "typeof(id_bolsa) <> 'integer')"},
      {"the snapshot pair the last night left",
       "select count(*) = 2 from consulta_tessarin.sqlite_schema where name in "
       "('cons_estagiario_2026_12_06', 'cons_pagamento_2026_12_06')"},
  };
  for (const auto& [what, sql] : cases) EXPECT_EQ(data.answer(sql), "1") << what;
}

// The run log of a data set made at any time of day covers the seven nights
// that have run by then, each once and complete, so that a freshly seeded
// demo shows no night without a run; a failed night among them is one the
// embedded client can have.
TEST(SeedDataSet, RunLogHasEveryNightOfTheWeekThatHasRunWhenSeeded) {
  struct Case {
    DateTime made;
    const char* latest_night;  // the newest date in the log
    const char* oldest_night;
  };
  const Case cases[] = {
      {{2026, 12, 8, 0, 0, 0}, "2026-12-07", "2026-12-01"},
      {{2026, 12, 8, 0, 30, 0}, "2026-12-07", "2026-12-01"},  // the night is only due
      {{2026, 12, 8, 0, 30, 1}, "2026-12-08", "2026-12-02"},
      {{2026, 12, 8, 11, 0, 0}, "2026-12-08", "2026-12-02"},
      {{2026, 12, 8, 23, 59, 59}, "2026-12-08", "2026-12-02"},
      {{2027, 1, 1, 10, 0, 0}, "2027-01-01", "2026-12-26"},
      {{2027, 1, 1, 0, 10, 0}, "2026-12-31", "2026-12-25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(date_text(c.made) + " " + std::to_string(c.made.hour) + ":" +
                 std::to_string(c.made.minute) + ":" + std::to_string(c.made.second));
    RecordingSink sink;
    seed::generate({30, 5, c.made}, sink);
    const auto& rows = sink.rows.at("Velmora.vlmr_logtransferencia");
    ASSERT_EQ(rows.size(), 7u);
    std::vector<std::string> dates;
    int failed = 0;
    for (const std::string& row : rows) {
      // data|hora_inicial|hora_final|erro|
      std::vector<std::string> f;
      for (std::size_t at = 0, bar; (bar = row.find('|', at)) != std::string::npos; at = bar + 1)
        f.push_back(row.substr(at, bar - at));
      ASSERT_EQ(f.size(), 4u) << row;
      dates.push_back(f[0]);
      EXPECT_EQ(f[1], "00:30:00 ") << row;
      EXPECT_GT(f[2], "00:30:00 ") << row;
      if (f[3] != " SEM ERRO") {
        ++failed;
        EXPECT_EQ(f[3], "5 - database is locked") << row;
      }
    }
    EXPECT_EQ(dates.front(), c.oldest_night);
    EXPECT_EQ(dates.back(), c.latest_night);
    EXPECT_TRUE(std::is_sorted(dates.begin(), dates.end()));
    EXPECT_EQ(std::adjacent_find(dates.begin(), dates.end()), dates.end()) << "a date twice";
    EXPECT_LE(failed, 1);
  }
}

TEST(SeedDataSet, ANightKeepsItsRunLogRowWhateverTheTimeOfSeeding) {
  RecordingSink early, late;
  seed::generate({30, 5, {2026, 12, 8, 0, 10, 0}}, early);
  seed::generate({30, 5, {2026, 12, 8, 15, 0, 0}}, late);
  const auto& before = early.rows.at("Velmora.vlmr_logtransferencia");
  const auto& after = late.rows.at("Velmora.vlmr_logtransferencia");
  // The six nights both logs hold are the same rows; the later one adds today's.
  EXPECT_EQ(std::vector<std::string>(before.begin() + 1, before.end()),
            std::vector<std::string>(after.begin(), after.end() - 1));
}

}  // namespace
}  // namespace velmora::testing
