#include "bench/data_set.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "transfer/intern_fields.h"

namespace velmora::bench {
namespace {

constexpr int kExams = 20;     // codes C01..C20; C20 has no vlmr_concurso row
constexpr int kGrants = 5;     // ids 1..5; 5 has no vlmr_bolsaauxilio row
constexpr int kUnits = 200;    // orgao 1..200, qorv Q1..Q200
constexpr int kGroups = 20;    // grupo 1..20
constexpr int kPayments = 12;  // one a month of 2025

std::string two(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

std::string date(int year, int month, int day) {
  return std::to_string(year) + "-" + two(month) + "-" + two(day);
}

std::string matricula_of(int i) { return std::to_string(100000 + i); }

constexpr std::array kFirstNames{"Maria",   "José",    "Ana",    "João",    "Francisca",
                                 "Antônio", "Adriana", "Carlos", "Juliana", "Paulo"};
constexpr std::array kLastNames{"da Silva", "dos Santos", "Oliveira", "de Souza", "Rodrigues",
                                "Ferreira", "Alves",      "Pereira",  "Lima",     "Gomes"};
constexpr std::array kCities{"Recife",    "Olinda",   "Jaboatão dos Guararapes", "Caruaru",
                             "Petrolina", "Paulista", "Cabo de Santo Agostinho", "Camaragibe"};
constexpr std::array kFaculties{"Universidade Federal de Pernambuco",
                                "Universidade Católica de Pernambuco", "Universidade de Pernambuco",
                                "Faculdade Boa Viagem"};

// The source row of intern i (1-based), in the column order of
// vlmr_estagiario.
std::vector<Cell> intern_row(int i) {
  const std::string m = matricula_of(i);
  const std::string first = kFirstNames[i % kFirstNames.size()];
  const std::string last = kLastNames[(i / 10) % kLastNames.size()];
  const std::string city = kCities[i % kCities.size()];
  const int start_month = i % 12 + 1;
  const bool has_exam = i % 50 != 0;
  const bool has_commendation = i % 4 == 0;
  const bool has_sanction = i % 12 == 0;
  return {
      m,
      std::string(1, "OOOECSX"[i % 7]),
      has_exam ? Cell("C" + two(i % kExams + 1)) : Cell(""),
      std::to_string(i % kGrants + 1),
      first + " " + kLastNames[i % kLastNames.size()] + " " + last,
      i % 30 == 29 ? "0" : std::string(1, "12"[i % 2]),
      "Pai " + last + " e Mãe " + kLastNames[(i + 3) % kLastNames.size()],
      std::to_string(100 + i % 900) + "." + std::to_string(200 + i % 800) + "." +
          std::to_string(300 + i % 700) + "-" + two(i % 100),
      "Rua " + std::string(kLastNames[(i + 5) % kLastNames.size()]) + ", bloco " +
          std::to_string(i % 40),
      i % 3 == 0 ? Cell("") : Cell("Apto " + std::to_string(100 + i % 900)),
      i % 17 == 0 ? Cell("  ") : Cell(std::to_string(1 + i % 2000)),
      "Bairro " + std::to_string(i % 60),
      city,
      "PE",
      std::to_string(50000 + i % 9000) + "-" + std::to_string(100 + i % 900),
      "(81) 3" + std::to_string(100 + i % 900) + "-" + std::to_string(1000 + i % 9000),
      "(81) 9" + std::to_string(8000 + i % 2000) + "-" + std::to_string(1000 + i % 9000),
      "estagiario" + m + "@example.com",
      kFaculties[i % kFaculties.size()],
      "Cidade Universitária",
      "Recife",
      std::to_string(i % 10 + 1),
      std::string(1, "12"[i % 2]),
      date(2026, start_month, 15),
      date(2025, start_month, 1),
      i % 5 == 0 ? Cell() : Cell(date(2027, start_month, 28)),
      std::string(1, "1234"[i % 4]),
      i % 4 == 1 ? Cell("A pedido") : Cell(""),
      i % 25 == 0 ? Cell(matricula_of(i + 500000)) : Cell(),
      has_sanction ? Cell("Advertência por atraso em " + date(2025, start_month, 10)) : Cell(),
      has_commendation ? Cell("Elogio pelo desempenho no semestre " + std::to_string(i % 2 + 1))
                       : Cell(),
  };
}

// The consultation row that the previous night wrote for intern i.
std::vector<Cell> consultation_row(int i) {
  const std::vector<Cell> s = intern_row(i);
  auto text = [&](std::size_t k) { return s[k] ? *s[k] : std::string(); };
  return {text(0),
          "Concursado no Concurso",
          "Concurso " + text(2),
          "Bolsa " + text(3),
          "Unidade " + std::to_string(i % kUnits + 1) + " Grupo",
          text(4),
          "Feminino",
          text(6),
          text(7),
          text(8),
          std::to_string(1 + i % 2000),
          text(9),
          text(11),
          text(12),
          text(13),
          text(14),
          text(15),
          text(16),
          text(17),
          text(18),
          text(19),
          text(20),
          text(21),
          "Manhã",
          text(23),
          text(24),
          text(25),
          date(2025, 1, 2),
          "",
          "Ativo",
          text(27),
          text(28),
          "",
          "",
          "",
          ""};
}

void generate_velmora(int interns, RowSink& sink) {
  sink.begin("vlmr_concurso", {"concurso", "Descricao"});
  for (int e = 1; e < kExams; ++e) {
    sink.row({"C" + two(e), "Concurso público de estágio " + std::to_string(2000 + e)});
  }
  sink.end();

  sink.begin("vlmr_bolsaauxilio", {"id_bolsa", "descricao"});
  for (int g = 1; g < kGrants; ++g) {
    sink.row({std::to_string(g), "Bolsa auxílio nível " + std::to_string(g)});
  }
  sink.end();

  sink.begin(
      "vlmr_estagiario",
      {"matricula",    "oficial",      "concurso",   "id_bolsa",    "nome",        "sexo",
       "filiacao",     "cpf",          "logradouro", "Complemento", "Numero",      "Bairro",
       "cidade",       "uf",           "cep",        "telefone",    "celular",     "email",
       "faculdade",    "baifacu",      "cidadefacu", "periodo",     "turno",       "prevcolacao",
       "dtiniestagio", "dtfinestagio", "situacao",   "tpdeslig",    "matanterior", "sancao",
       "elogio"});
  for (int i = 1; i <= interns; ++i) sink.row(intern_row(i));
  sink.end();

  // Two assignments for nine interns in ten; the latest names its unit by
  // qorv for even interns and by the bare unit number for odd ones, so that
  // half the unit lookups need their second statement.
  sink.begin("vlmr_estagiariodesignacao",
             {"id_desig", "matricula", "dt_ini", "dt_fin", "Id_orgao"});
  for (int i = 1; i <= interns; ++i) {
    if (i % 10 == 0) continue;
    const std::string m = matricula_of(i);
    const int unit = i % kUnits + 1;
    sink.row({std::to_string(2 * i - 1), m, date(2025, 1, 2), date(2025, 6, 30),
              "Q" + std::to_string((unit + 7) % kUnits + 1)});
    sink.row({std::to_string(2 * i), m, date(2025, 7, 1), Cell(),
              i % 2 == 0 ? "Q" + std::to_string(unit) : std::to_string(unit)});
  }
  sink.end();

  sink.begin("vlmr_estagiariointerrupcao",
             {"sequencia", "matricula", "dtinicio", "dtprevfim", "dtfim", "motivo"});
  for (int i = 3; i <= interns; i += 3) {
    const std::string m = matricula_of(i);
    sink.row({"1", m, date(2025, 3, 1), date(2025, 3, 15), date(2025, 3, 14), "Licença médica"});
    if (i % 9 == 0) {
      sink.row({"2", m, date(2025, 9, 1), date(2025, 9, 30), Cell(), "Viagem acadêmica"});
    }
  }
  sink.end();

  sink.begin("vlmr_pagamento", {"matricula", "anomes", "valor", "Dtproc"});
  for (int i = 1; i <= interns; ++i) {
    const std::string m = matricula_of(i);
    for (int p = 1; p <= kPayments; ++p) {
      sink.row({m, "2025" + two(p), std::to_string(800 + i % 700) + "." + two((i * p) % 100),
                p == 12 && i % 6 == 0 ? Cell() : Cell(date(2025, p, 5))});
    }
  }
  sink.end();
}

void generate_consulta(int interns, RowSink& sink) {
  std::vector<std::string> columns;
  for (const auto& column : intern_fields::kColumns) columns.emplace_back(column.name);
  sink.begin("cons_estagiario", columns);
  for (int i = 1; i <= interns; ++i) sink.row(consultation_row(i));
  sink.end();

  sink.begin("cons_pagamento", {"matricula", "anomes", "valor", "Dtproc"});
  for (int i = 1; i <= interns; ++i) {
    for (int p = 1; p <= kPayments; ++p) {
      sink.row({matricula_of(i), "2025" + two(p),
                std::to_string(800 + i % 700) + "." + two((i * p) % 100), date(2025, p, 5)});
    }
  }
  sink.end();

  // The commendation rows of earlier nights: the measured night updates them.
  sink.begin("cons_estagiarioelogio", {"data", "matricula", "hora", "elogioc", "sancao"});
  for (int i = 4; i <= interns; i += 4) {
    const std::vector<Cell> s = intern_row(i);
    sink.row(
        {date(2026, 1, 10), matricula_of(i), "00:31:12", s[30].value_or(""), s[29].value_or("")});
  }
  sink.end();
}

void generate_calverin(RowSink& sink) {
  sink.begin("gruposorgaos", {"grupo", "descricao"});
  for (int g = 1; g <= kGroups; ++g) sink.row({std::to_string(g), "Grupo " + std::to_string(g)});
  sink.end();
  sink.begin("orgaos", {"orgao", "nome", "qorv", "regiao", "grupo"});
  for (int u = 1; u <= kUnits; ++u) {
    sink.row({std::to_string(u), "  Unidade " + std::to_string(u) + " ", "Q" + std::to_string(u),
              "R" + std::to_string(u % 5), std::to_string(u % kGroups + 1)});
  }
  sink.end();
}

// Inserts rows with one prepared statement per table, in one transaction.
class SqliteSink final : public RowSink {
 public:
  explicit SqliteSink(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      fail(path);
    }
    exec("BEGIN");
  }
  ~SqliteSink() override {
    sqlite3_finalize(stmt_);
    sqlite3_close(db_);
  }
  void begin(const std::string& table, const std::vector<std::string>& columns) override {
    std::string sql = "insert into " + table + " (";
    std::string marks;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      sql += (k ? "," : "") + columns[k];
      marks += k ? ",?" : "?";
    }
    sql += ") values (" + marks + ")";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) fail(sql);
  }
  void row(const std::vector<Cell>& cells) override {
    for (std::size_t k = 0; k < cells.size(); ++k) {
      const int at = static_cast<int>(k + 1);
      if (cells[k]) {
        sqlite3_bind_text(stmt_, at, cells[k]->data(), static_cast<int>(cells[k]->size()),
                          SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(stmt_, at);
      }
    }
    if (sqlite3_step(stmt_) != SQLITE_DONE) fail("insert");
    sqlite3_reset(stmt_);
  }
  void end() override {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
  }
  void exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
  }

 private:
  [[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
  }
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

struct PgDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};

// Copies rows with COPY FROM STDIN, one table at a time.
class PostgresSink final : public RowSink {
 public:
  PostgresSink(const std::string& host, const std::string& port, const std::string& catalog)
      : conn_(PQconnectdb(
            ("host=" + host + " port=" + port + " user=sa dbname=" + catalog).c_str())) {
    if (PQstatus(conn_.get()) != CONNECTION_OK) fail("connect to " + catalog);
  }
  void begin(const std::string& table, const std::vector<std::string>& columns) override {
    std::string sql = "COPY " + table + " (";
    for (std::size_t k = 0; k < columns.size(); ++k) sql += (k ? "," : "") + columns[k];
    sql += ") FROM STDIN";
    PGresult* r = PQexec(conn_.get(), sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!ok) fail(sql);
  }
  void row(const std::vector<Cell>& cells) override {
    std::string line;
    for (std::size_t k = 0; k < cells.size(); ++k) {
      if (k) line += '\t';
      if (!cells[k]) {
        line += "\\N";
        continue;
      }
      for (char c : *cells[k]) {
        if (c == '\\' || c == '\t' || c == '\n') line += '\\';
        line += c;
      }
    }
    line += '\n';
    buffer_ += line;
    if (buffer_.size() > (1 << 16)) flush();
  }
  void end() override {
    flush();
    if (PQputCopyEnd(conn_.get(), nullptr) != 1) fail("COPY end");
    PGresult* r = PQgetResult(conn_.get());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) fail("COPY");
    while ((r = PQgetResult(conn_.get())) != nullptr) PQclear(r);
  }
  void exec(const std::string& sql) {
    PGresult* r = PQexec(conn_.get(), sql.c_str());
    const auto status = PQresultStatus(r);
    PQclear(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail(sql);
  }

 private:
  void flush() {
    if (buffer_.empty()) return;
    if (PQputCopyData(conn_.get(), buffer_.data(), static_cast<int>(buffer_.size())) != 1) {
      fail("COPY data");
    }
    buffer_.clear();
  }
  [[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + PQerrorMessage(conn_.get()));
  }
  std::unique_ptr<PGconn, PgDeleter> conn_;
  std::string buffer_;
};

constexpr std::array kCatalogs{"Velmora", "consulta_tessarin", "CALVERIN"};

}  // namespace

void generate(const std::string& catalog, int interns, RowSink& sink) {
  if (catalog == "Velmora") {
    generate_velmora(interns, sink);
  } else if (catalog == "consulta_tessarin") {
    generate_consulta(interns, sink);
  } else {
    generate_calverin(sink);
  }
}

std::vector<std::string> after_load_statements(const std::string& catalog) {
  if (catalog != "consulta_tessarin") return {};
  const std::string suffix = kPreviousSnapshotSuffix;
  return {"CREATE TABLE cons_estagiario_" + suffix + " AS SELECT * FROM cons_estagiario",
          "CREATE TABLE cons_pagamento_" + suffix + " AS SELECT * FROM cons_pagamento"};
}

void load_sqlite(const std::string& directory, int interns) {
  for (const std::string catalog : kCatalogs) {
    SqliteSink sink(directory + "/" + catalog + ".db");
    generate(catalog, interns, sink);
    for (const auto& sql : after_load_statements(catalog)) sink.exec(sql);
    sink.exec("COMMIT");
    sink.exec("ANALYZE");
    sink.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  }
}

void load_postgres(const std::string& host, const std::string& port, int interns) {
  for (const std::string catalog : kCatalogs) {
    PostgresSink sink(host, port, catalog);
    generate(catalog, interns, sink);
    for (const auto& sql : after_load_statements(catalog)) sink.exec(sql);
    if (catalog == "consulta_tessarin") {
      // The snapshot pair belongs to the consultation login, as one that a
      // night made does.
      for (const char* t : {"cons_estagiario_", "cons_pagamento_"}) {
        sink.exec("ALTER TABLE " + std::string(t) + kPreviousSnapshotSuffix +
                  " OWNER TO consulta_tessarin_int02");
      }
    }
    sink.exec("VACUUM ANALYZE");
  }
}

}  // namespace velmora::bench
