#include "seed/data_set.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <tuple>

#include "seed/vocabulary.h"
#include "tools/catalog_tables.h"
#include "transfer/field_rules.h"
#include "transfer/intern_fields.h"

namespace velmora::seed {
namespace {

namespace vocab = vocabulary;
using Date = DateTime;  // time of day always 00:00:00 here

// splitmix64's finaliser.
std::uint64_t mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Which kind of row a random stream serves, so that adding a draw to one
// kind never shifts the numbers of another.
enum class Stream : std::uint64_t { kIntern = 1, kHistory = 2, kCommendationRow = 3 };

// A splitmix64 stream for one (seed, kind, index): every intern has its
// own, independent of the number of interns.
class Random {
 public:
  Random(std::uint64_t seed, Stream stream, std::uint64_t index)
      : state_(mix(mix(seed ^ mix(static_cast<std::uint64_t>(stream))) ^ index)) {}

  std::uint64_t next() { return mix(state_ += 0x9E3779B97F4A7C15ULL); }
  // A number in [0, n), n > 0 (the modulo's bias is nil for the small n
  // used here).
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  int between(int low, int high) { return low + below(high - low + 1); }
  bool percent(int p) { return below(100) < p; }
  template <class List>
  const auto& pick(const List& list) {
    return list[static_cast<std::size_t>(below(static_cast<int>(list.size())))];
  }
  std::string digits(int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += static_cast<char>('0' + below(10));
    return out;
  }

 private:
  std::uint64_t state_;
};

Date day_of(const DateTime& when) { return {when.year, when.month, when.day, 0, 0, 0}; }
Date plus(const Date& d, int days) { return add_days(d, days); }
bool before(const Date& a, const Date& b) {
  return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
}
Value date_value(const Date& d) { return DateTime{d.year, d.month, d.day, 0, 0, 0}; }
Value optional_date(const std::optional<Date>& d) { return d ? date_value(*d) : Value(Null{}); }
std::string consultation_date(const std::optional<Date>& d) { return d ? date_text(*d) : ""; }
Value text(std::string_view s) { return std::string(s); }
Value optional_text(const std::optional<std::string>& s) { return s ? Value(*s) : Value(Null{}); }

// One value of a row, named by its column: the generator names every value
// and the table's described column order places it.
using Cell = std::pair<std::string_view, Value>;

// "HH:MM:SS" of `seconds` after midnight.
std::string time_of_day(int seconds) {
  char out[16];
  std::snprintf(out, sizeof out, "%02d:%02d:%02d", seconds / 3600 % 24, seconds / 60 % 60,
                seconds % 60);
  return out;
}

// An exact decimal of `cents`, e.g. 150050 -> "1500.50".
std::string decimal_of_cents(long cents) {
  char out[32];
  std::snprintf(out, sizeof out, "%ld.%02ld", cents / 100, cents % 100);
  return out;
}
long cents_of(std::string_view decimal) {
  long cents = 0;
  for (char c : decimal) {
    if (c >= '0' && c <= '9') cents = cents * 10 + (c - '0');
  }
  return cents;
}

// The letters of a UTF-8 name folded to lower-case ASCII for an e-mail
// address: accents dropped, apostrophes and blanks removed.
std::string mail_word(std::string_view name) {
  static constexpr std::string_view kFolded[][2] = {
      {"á", "a"}, {"à", "a"}, {"â", "a"}, {"ã", "a"}, {"é", "e"}, {"ê", "e"},
      {"í", "i"}, {"ó", "o"}, {"ô", "o"}, {"õ", "o"}, {"ú", "u"}, {"ü", "u"},
      {"ç", "c"}, {"Á", "a"}, {"Â", "a"}, {"É", "e"}, {"Ê", "e"}, {"Í", "i"},
      {"Ó", "o"}, {"Ô", "o"}, {"Ú", "u"}, {"Ç", "c"}};
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    bool folded = false;
    for (const auto& pair : kFolded) {
      if (name.substr(i).starts_with(pair[0])) {
        out += pair[1];
        i += pair[0].size();
        folded = true;
        break;
      }
    }
    if (folded) continue;
    const char c = name[i++];
    if (c >= 'A' && c <= 'Z') out += static_cast<char>(c - 'A' + 'a');
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
  }
  return out;
}

// Nine random digits and their two check digits, "123.456.789-09".
std::string cpf(Random& r) {
  int d[11];
  for (int i = 0; i < 9; ++i) d[i] = r.below(10);
  for (int check = 9; check <= 10; ++check) {
    int sum = 0;
    for (int i = 0; i < check; ++i) sum += d[i] * (check + 1 - i);
    d[check] = sum * 10 % 11 % 10;
  }
  char out[32];
  std::snprintf(out, sizeof out, "%d%d%d.%d%d%d.%d%d%d-%d%d", d[0], d[1], d[2], d[3], d[4], d[5],
                d[6], d[7], d[8], d[9], d[10]);
  return out;
}

// --- The organiser's units ----------------------------------------------

struct Unit {
  int number;
  std::string name;
  std::string qorv;
  int group;  // 1-based, as in gruposorgaos
};

const std::vector<Unit>& units() {
  static const std::vector<Unit> all = [] {
    std::vector<Unit> out;
    int number = 1001;
    for (const auto& kind : vocab::kUnitKinds) {
      for (int n = 1; n <= kind.count; ++n) {
        char qorv[16];
        std::snprintf(qorv, sizeof qorv, "%.*s%02d", static_cast<int>(kind.code.size()),
                      kind.code.data(), n);
        std::string name = kind.count == 1 ? std::string(kind.name)
                                           : std::to_string(n) + "ª " + std::string(kind.name);
        out.push_back({number++, std::move(name), qorv, kind.group + 1});
      }
    }
    return out;
  }();
  return all;
}

// What the unit look-up finds for an assignment's unit code: the unit's name
// and its group's description, or "" for a code that names no unit.
std::string unit_display(const std::string& code) {
  for (const Unit& u : units()) {
    if (u.qorv == code || std::to_string(u.number) == code) {
      return u.name + " " + std::string(vocab::kUnitGroups[static_cast<std::size_t>(u.group - 1)]);
    }
  }
  return "";
}

// --- Interns ------------------------------------------------------------

struct Assignment {
  int id;
  Date start;
  std::optional<Date> end;
  std::string unit;
};

struct Interruption {
  int sequence;
  Date start;
  std::optional<Date> planned_end;
  std::optional<Date> end;
  std::string reason;
};

struct Payment {
  std::string anomes;
  std::string valor;
  std::optional<Date> processed;
};

// One intern as the source database holds them.
struct Intern {
  std::string matricula, oficial, concurso;
  int id_bolsa = 0;
  std::string nome, sexo, filiacao, cpf, logradouro, complemento, numero, bairro, cidade, uf, cep,
      telefone, celular, email, faculdade, baifacu, cidadefacu, periodo, turno;
  std::optional<Date> prevcolacao, dtiniestagio, dtfinestagio;
  std::string situacao, tpdeslig;
  std::optional<std::string> matanterior, sancao, elogio;
  std::vector<Assignment> assignments;
  std::vector<Interruption> interruptions;
  std::vector<Payment> payments;
};

// Index into `weights` drawn with those relative weights.
int weighted(Random& r, std::initializer_list<int> weights) {
  int total = 0;
  for (int w : weights) total += w;
  int roll = r.below(total);
  int index = 0;
  for (int w : weights) {
    if (roll < w) return index;
    roll -= w;
    ++index;
  }
  return index - 1;
}

std::string assignment_unit(Random& r) {
  const Unit& unit = r.pick(units());
  switch (weighted(r, {60, 30, 5, 5})) {
    case 0:
      return unit.qorv;
    case 1:
      return std::to_string(unit.number);
    case 2:
      return std::to_string(9000 + r.below(1000));  // a unit that no longer exists
    default:
      return "";
  }
}

// What the intern's name draws that its parents' names and mail address
// repeat.
struct NameParts {
  std::string_view first, father_surname;
};

// Name, sex, parents and CPF.
NameParts draw_person(Random& r, Intern& in) {
  const bool female = r.percent(55);
  const std::string_view first = female ? r.pick(vocab::kFemaleNames) : r.pick(vocab::kMaleNames);
  std::string nome(first);
  if (r.percent(30))
    nome += " " + std::string(female ? r.pick(vocab::kFemaleNames) : r.pick(vocab::kMaleNames));
  const std::string_view mother_surname = r.pick(vocab::kSurnames);
  const std::string_view father_surname = r.pick(vocab::kSurnames);
  if (r.percent(25)) nome += " " + std::string(r.pick(vocab::kConnectors));
  if (r.percent(60)) nome += " " + std::string(mother_surname);
  nome += " " + std::string(father_surname);
  in.nome = nome;
  in.sexo = r.percent(2) ? "0" : (female ? "2" : "1");
  in.filiacao = std::string(r.pick(vocab::kFemaleNames)) + " " + std::string(mother_surname) +
                " e " + std::string(r.pick(vocab::kMaleNames)) + " " + std::string(father_surname);
  in.cpf = cpf(r);
  return {first, father_surname};
}

// Address, telephones and mail address of intern `k`.
void draw_contact(Random& r, const NameParts& name, int k, Intern& in) {
  const auto& city = r.pick(vocab::kCities);
  in.logradouro = r.pick(vocab::kStreets);
  in.numero = r.percent(4) ? "" : std::to_string(r.between(1, 3500));
  in.complemento = r.percent(35) ? std::string(r.pick(vocab::kComplements)) : "";
  in.bairro = r.pick(city.neighbourhoods);
  in.cidade = city.name;
  in.uf = city.uf;
  in.cep = std::string(city.cep_prefix) + r.digits(3) + "-" + r.digits(3);
  const std::string area(city.area_code);
  in.telefone = r.percent(60) ? "(" + area + ") 3" + r.digits(3) + "-" + r.digits(4) : "";
  in.celular = r.percent(95) ? "(" + area + ") 9" + r.digits(4) + "-" + r.digits(4) : "";
  in.email = r.percent(90)
                 ? mail_word(name.first) + "." + mail_word(name.father_surname) +
                       std::to_string(k % 97) + "@" + std::string(r.pick(vocab::kMailDomains))
                 : "";
}

// School, and how the intern was admitted: exam (listed or not) and grant.
void draw_schooling_and_admission(Random& r, Intern& in) {
  const auto& school = r.pick(vocab::kSchools);
  in.faculdade = school.name;
  in.baifacu = school.neighbourhood;
  in.cidadefacu = school.city;
  in.periodo = std::to_string(r.between(1, 10));
  in.turno = r.percent(50) ? "1" : "2";

  static constexpr const char* kAdmissions[] = {"O", "E", "X", "C", "S"};
  in.oficial = kAdmissions[weighted(r, {60, 15, 5, 12, 8})];
  if (in.oficial == "O") {
    in.concurso = r.percent(6) ? std::string(r.pick(vocab::kUnlistedExams))
                               : std::string(r.pick(vocab::kExams).code);
  }
  in.id_bolsa = r.percent(4) ? vocab::kUnlistedGrant : r.pick(vocab::kGrants).code;
}

// The internship's span, which assignments and interruptions divide.
struct Span {
  Date start;
  std::optional<Date> ended;
  int length;  // days from the start to its end or to today
};

// The internship: started up to about two and a half years ago, planned
// for two years; some ended early, some are interrupted or suspended. Also
// the graduation, an earlier registration and the texts of the night's
// commendation and sanction columns.
Span draw_internship(Random& r, const Date& today, int k, Intern& in) {
  const int days_in = r.between(20, 900);
  const Date start = plus(today, -days_in);
  const Date planned_end = plus(start, 730);
  std::optional<Date> ended;
  int length = days_in;
  if (days_in > 730) {
    in.situacao = "2";
    in.tpdeslig = vocab::kDismissalKinds[0];
    ended = planned_end;
    length = 730;
  } else {
    static constexpr const char* kStatuses[] = {"1", "2", "3", "4"};
    in.situacao = kStatuses[weighted(r, {76, 10, 9, 5})];
    if (in.situacao == "2") {
      in.tpdeslig = vocab::kDismissalKinds[static_cast<std::size_t>(r.between(1, 3))];
      length = r.between(10, days_in - 1);
      ended = plus(start, length);
    }
  }
  in.dtiniestagio = start;
  if (ended)
    in.dtfinestagio = ended;
  else if (r.percent(85))
    in.dtfinestagio = planned_end;
  if (r.percent(85)) in.prevcolacao = plus(start, r.between(200, 1400));
  if (r.percent(5)) in.matanterior = std::to_string(50001 + k);
  if (r.percent(10)) in.elogio = std::string(r.pick(vocab::kCommendations));
  if (r.percent(5)) in.sancao = std::string(r.pick(vocab::kSanctions));
  return {start, ended, length};
}

// Assignments one after the other over the internship; the last is still
// open unless the internship ended.
void draw_assignments(Random& r, const Span& span, int k, Intern& in) {
  const int assignments = weighted(r, {8, 50, 30, 12});
  for (int j = 0; j < assignments; ++j) {
    Assignment a;
    a.id = k * 4 + j + 1;
    a.start = plus(span.start, span.length * j / assignments);
    if (j + 1 < assignments)
      a.end = plus(span.start, span.length * (j + 1) / assignments - 1);
    else if (span.ended)
      a.end = span.ended;
    a.unit = assignment_unit(r);
    in.assignments.push_back(std::move(a));
  }
}

// Interruptions, also one after the other; an interrupted intern's last
// one has not ended.
void draw_interruptions(Random& r, const Span& span, Intern& in) {
  int interruptions = weighted(r, {72, 20, 6, 2});
  if (in.situacao == "3" && interruptions == 0) interruptions = 1;
  for (int j = 0; j < interruptions; ++j) {
    Interruption i;
    i.sequence = j + 1;
    const int slot = span.length / interruptions;
    i.start = plus(span.start, slot * j + r.below(std::max(1, slot / 2)));
    const int planned = r.between(15, 120);
    if (r.percent(90)) i.planned_end = plus(i.start, planned);
    const bool open = in.situacao == "3" && j + 1 == interruptions;
    if (!open && r.percent(95)) i.end = plus(i.start, planned + r.between(-10, 10));
    i.reason = r.pick(vocab::kInterruptionReasons);
    in.interruptions.push_back(std::move(i));
  }
}

// The twelve months before this one, at the grant's monthly sum. A month is
// processed on the 5th of the next month, so the last one may not be yet.
void draw_payments(Random& r, const Date& today, Intern& in) {
  const bool listed_grant = in.id_bolsa != vocab::kUnlistedGrant;
  std::string_view monthly = vocab::kUnlistedGrantMonthly;
  for (const auto& g : vocab::kGrants) {
    if (listed_grant && g.code == in.id_bolsa) monthly = g.monthly;
  }
  for (int back = 12; back >= 1; --back) {
    int year = today.year;
    int month = today.month - back;
    while (month < 1) {
      month += 12;
      --year;
    }
    Payment p;
    char anomes[16];
    std::snprintf(anomes, sizeof anomes, "%04d%02d", year, month);
    p.anomes = anomes;
    long cents = cents_of(monthly);
    if (r.percent(10)) cents = cents * r.between(10, 29) / 30;  // a month worked in part
    p.valor = decimal_of_cents(cents);
    Date processed{month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 5, 0, 0, 0};
    if (before(today, processed) || r.percent(2)) {
      p.processed.reset();
    } else {
      p.processed = processed;
    }
    in.payments.push_back(std::move(p));
  }
}

// Intern `k` of the data set, drawn from its own random stream in a fixed
// order: every draw above is made in the order written, so that the same
// seed gives the same intern.
Intern make_intern(const Options& options, int k) {
  Random r(options.seed, Stream::kIntern, static_cast<std::uint64_t>(k));
  const Date today = day_of(options.today);
  Intern in;
  in.matricula = std::to_string(100001 + k);
  const NameParts name = draw_person(r, in);
  draw_contact(r, name, k, in);
  draw_schooling_and_admission(r, in);
  const Span span = draw_internship(r, today, k, in);
  draw_assignments(r, span, k, in);
  draw_interruptions(r, span, in);
  draw_payments(r, today, in);
  return in;
}

// --- What the night writes for an intern -------------------------------

std::vector<Value> consultation_values(const Intern& in) {
  using namespace rules;
  std::string concurso = in.concurso;
  for (const auto& exam : vocab::kExams) {
    if (!concurso.empty() && exam.code == concurso) concurso = exam.description;
  }
  std::string bolsa = std::to_string(in.id_bolsa);
  for (const auto& grant : vocab::kGrants) {
    if (grant.code == in.id_bolsa) bolsa = grant.description;
  }
  const Assignment* latest = in.assignments.empty() ? nullptr : &in.assignments.back();
  const Interruption* stop = in.interruptions.empty() ? nullptr : &in.interruptions.back();
  const std::int64_t numero = in.numero.empty() ? 0 : std::stoll(in.numero);
  return {text(in.matricula),
          text(admission_text(in.oficial, concurso)),
          text(concurso),
          text(bolsa),
          text(latest ? unit_display(latest->unit) : ""),
          text(in.nome),
          text(sex_text(in.sexo)),
          text(in.filiacao),
          text(in.cpf),
          text(in.logradouro),
          numero,
          text(in.complemento),
          text(in.bairro),
          text(in.cidade),
          text(in.uf),
          text(in.cep),
          text(in.telefone),
          text(in.celular),
          text(in.email),
          text(in.faculdade),
          text(in.baifacu),
          text(in.cidadefacu),
          text(in.periodo),
          text(shift_text(in.turno)),
          text(consultation_date(in.prevcolacao)),
          text(consultation_date(in.dtiniestagio)),
          text(consultation_date(in.dtfinestagio)),
          text(latest ? date_text(latest->start) : ""),
          text(latest ? consultation_date(latest->end) : ""),
          text(status_text(in.situacao)),
          text(in.tpdeslig),
          text(in.matanterior.value_or("")),
          text(stop ? date_text(stop->start) : ""),
          text(stop ? consultation_date(stop->planned_end) : ""),
          text(stop ? consultation_date(stop->end) : ""),
          text(stop ? stop->reason : "")};
}

// The row named by the columns of the night's insert, whose order the
// values above follow.
std::vector<Cell> consultation_row(const Intern& in) {
  std::vector<Value> values = consultation_values(in);
  std::vector<Cell> row;
  row.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    row.emplace_back(intern_fields::kColumns[i].name, std::move(values[i]));
  }
  return row;
}

// --- The tables ---------------------------------------------------------

class Generator {
 public:
  Generator(const Options& options, Sink& sink)
      : options_(options), sink_(sink), today_(day_of(options.today)) {
    // Interns registered since the last night are not in the consultation
    // tables yet; those of the night before are not in its snapshots.
    fresh_ = std::max(1, options.interns / 50);
  }

  void run() {
    source_catalog();
    organiser_catalog();
    consultation_catalog();
  }

 private:
  // The rows of the described table `name`, or of `name` made as a
  // select-into copy of the described table `copy_of`, in the described
  // column order.
  template <class Rows>
  void table(std::string_view name, Rows&& rows, std::string_view copy_of = {}) {
    const catalogs::Table& described = catalogs::table(copy_of.empty() ? name : copy_of);
    table_ = {std::string(described.catalog), std::string(name), catalogs::column_names(described),
              std::string(copy_of)};
    sink_.begin(table_);
    rows();
    sink_.end();
  }
  void row(std::initializer_list<Cell> cells) { row(std::span<const Cell>(cells)); }
  // Every column of the table exactly once, in any order.
  void row(std::span<const Cell> cells) {
    values_.assign(table_.columns.size(), Null{});
    std::size_t given = 0;
    for (const auto& [name, value] : cells) {
      const auto at = std::find(table_.columns.begin(), table_.columns.end(), name);
      if (at == table_.columns.end()) {
        throw std::logic_error(table_.name + " has no column " + std::string(name));
      }
      values_[static_cast<std::size_t>(at - table_.columns.begin())] = value;
      ++given;
    }
    if (given != table_.columns.size()) {
      throw std::logic_error(table_.name + ": " + std::to_string(given) + " values for " +
                             std::to_string(table_.columns.size()) + " columns");
    }
    sink_.row(values_);
  }

  // Calls body(intern) for every intern in order.
  template <class Body>
  void each_intern(Body&& body) {
    for (int k = 0; k < options_.interns; ++k) body(k, make_intern(options_, k));
  }

  void source_catalog() {
    table("vlmr_concurso", [&] {
      for (const auto& exam : vocab::kExams) {
        row({{"concurso", text(exam.code)}, {"Descricao", text(exam.description)}});
      }
    });
    table("vlmr_bolsaauxilio", [&] {
      for (const auto& grant : vocab::kGrants) {
        row({{"id_bolsa", std::int64_t{grant.code}}, {"descricao", text(grant.description)}});
      }
    });
    table("vlmr_estagiario", [&] {
      each_intern([&](int, const Intern& in) {
        row({{"matricula", text(in.matricula)},
             {"oficial", text(in.oficial)},
             {"concurso", text(in.concurso)},
             {"id_bolsa", text(std::to_string(in.id_bolsa))},
             {"nome", text(in.nome)},
             {"sexo", text(in.sexo)},
             {"filiacao", text(in.filiacao)},
             {"cpf", text(in.cpf)},
             {"logradouro", text(in.logradouro)},
             {"Complemento", text(in.complemento)},
             {"Numero", text(in.numero)},
             {"Bairro", text(in.bairro)},
             {"cidade", text(in.cidade)},
             {"uf", text(in.uf)},
             {"cep", text(in.cep)},
             {"telefone", text(in.telefone)},
             {"celular", text(in.celular)},
             {"email", text(in.email)},
             {"faculdade", text(in.faculdade)},
             {"baifacu", text(in.baifacu)},
             {"cidadefacu", text(in.cidadefacu)},
             {"periodo", text(in.periodo)},
             {"turno", text(in.turno)},
             {"prevcolacao", optional_date(in.prevcolacao)},
             {"dtiniestagio", optional_date(in.dtiniestagio)},
             {"dtfinestagio", optional_date(in.dtfinestagio)},
             {"situacao", text(in.situacao)},
             {"tpdeslig", text(in.tpdeslig)},
             {"matanterior", optional_text(in.matanterior)},
             {"sancao", optional_text(in.sancao)},
             {"elogio", optional_text(in.elogio)}});
      });
    });
    table("vlmr_estagiariodesignacao", [&] {
      each_intern([&](int, const Intern& in) {
        for (const auto& a : in.assignments) {
          row({{"id_desig", std::int64_t{a.id}},
               {"matricula", text(in.matricula)},
               {"dt_ini", date_value(a.start)},
               {"dt_fin", optional_date(a.end)},
               {"Id_orgao", text(a.unit)}});
        }
      });
    });
    table("vlmr_estagiariointerrupcao", [&] {
      each_intern([&](int, const Intern& in) {
        for (const auto& i : in.interruptions) {
          row({{"matricula", text(in.matricula)},
               {"sequencia", std::int64_t{i.sequence}},
               {"dtinicio", date_value(i.start)},
               {"dtprevfim", optional_date(i.planned_end)},
               {"dtfim", optional_date(i.end)},
               {"motivo", text(i.reason)}});
        }
      });
    });
    table("vlmr_pagamento", [&] {
      each_intern([&](int, const Intern& in) {
        for (const auto& p : in.payments) {
          row({{"matricula", text(in.matricula)},
               {"anomes", text(p.anomes)},
               {"valor", Decimal{p.valor}},
               {"Dtproc", optional_date(p.processed)}});
        }
      });
    });
    table("vlmr_logtransferencia", [&] { run_log(); });
  }

  // One row for each of the seven nights up to the latest one that had run
  // when the data set was made (today's, when made after 00:30:00), so that
  // the log has no gap in the week that velmora-ctl status looks at.
  // One of them failed as a night on the embedded files can: another program
  // held the consultation database locked (its tables were restored).
  void run_log() {
    constexpr int kStart = 30 * 60;  // 00:30:00
    const DateTime& made = options_.today;
    const int latest = made.hour * 3600 + made.minute * 60 + made.second > kStart ? 0 : -1;
    for (int back = 6; back >= 0; --back) {
      // A night's row depends on its date only, not on the time of seeding.
      const int day = latest - back;
      Random r(options_.seed, Stream::kHistory, static_cast<std::uint64_t>(-day));
      const bool failed = day == -4;
      const int seconds = failed ? r.between(20, 40) : 10 + options_.interns / 100 + r.below(15);
      row({{"data", text(date_text(plus(today_, day)))},
           {"hora_inicial", text(time_of_day(kStart) + " ")},
           {"hora_final", text(time_of_day(kStart + seconds) + " ")},
           {"erro", text(failed ? vocab::kEarlierFailure : " SEM ERRO")}});
    }
  }

  void organiser_catalog() {
    table("gruposorgaos", [&] {
      for (std::size_t g = 0; g < vocab::kUnitGroups.size(); ++g) {
        row({{"grupo", static_cast<std::int64_t>(g + 1)},
             {"descricao", text(vocab::kUnitGroups[g])}});
      }
    });
    table("orgaos", [&] {
      for (const Unit& u : units()) {
        row({{"orgao", std::int64_t{u.number}},
             {"nome", text(u.name)},
             {"qorv", text(u.qorv)},
             {"regiao", text("R" + std::to_string(u.group))},
             {"grupo", std::int64_t{u.group}}});
      }
    });
  }

  // As the last night left it: every intern registered before it, and the
  // snapshot pair that night took of the night before.
  void consultation_catalog() {
    const int last_night = options_.interns - fresh_;
    const int night_before = options_.interns - 2 * fresh_;
    interns_table("cons_estagiario", "", last_night);
    payments_table("cons_pagamento", "", last_night);
    commendation_rows(last_night);
    const std::string suffix = earlier_snapshot_suffix(options_.today);
    interns_table("cons_estagiario_" + suffix, "cons_estagiario", night_before);
    payments_table("cons_pagamento_" + suffix, "cons_pagamento", night_before);
  }

  void interns_table(const std::string& name, std::string_view copy_of, int known) {
    table(
        name,
        [&] {
          for (int k = 0; k < known; ++k) row(consultation_row(make_intern(options_, k)));
        },
        copy_of);
  }

  void payments_table(const std::string& name, std::string_view copy_of, int known) {
    table(
        name,
        [&] {
          for (int k = 0; k < known; ++k) {
            const Intern in = make_intern(options_, k);
            for (const auto& p : in.payments) {
              row({{"matricula", text(in.matricula)},
                   {"anomes", text(p.anomes)},
                   {"valor", text(text_of(Decimal{p.valor}, "valor"))},
                   {"Dtproc", text(consultation_date(p.processed))}});
            }
          }
        },
        copy_of);
  }

  // Rows written by earlier nights: most with the texts the source has now,
  // some with older texts that tonight's run updates, and a few for interns
  // whose texts were removed since.
  void commendation_rows(int known) {
    table("cons_estagiarioelogio", [&] {
      for (int k = 0; k < known; ++k) {
        const Intern in = make_intern(options_, k);
        Random r(options_.seed, Stream::kCommendationRow, static_cast<std::uint64_t>(k));
        const bool has_texts = in.elogio || in.sancao;
        if (!has_texts && !r.percent(1)) continue;
        std::string elogio = in.elogio.value_or("");
        std::string sancao = in.sancao.value_or("");
        if (!has_texts) {
          sancao = r.pick(vocab::kSanctions);
        } else if (r.percent(20)) {
          elogio = in.elogio ? "" : std::string(r.pick(vocab::kCommendations));
        }
        const Date written = plus(today_, -r.between(1, 400));
        row({{"data", text(date_text(written))},
             {"matricula", std::int64_t{100001 + k}},
             {"hora", text(time_of_day(30 * 60 + r.between(1, 59)))},
             {"elogioc", text(elogio)},
             {"sancao", text(sancao)}});
      }
    });
  }

  const Options& options_;
  Sink& sink_;
  const Date today_;
  int fresh_ = 1;
  Table table_;  // the one being written
  std::vector<Value> values_;
};

}  // namespace

std::string earlier_snapshot_suffix(const DateTime& today) {
  return underscore_date_text(add_days(day_of(today), -2));
}

void generate(const Options& options, Sink& sink) {
  if (options.interns < 1 || options.interns > kMaxInterns) {
    throw std::invalid_argument("the number of interns must lie between 1 and " +
                                std::to_string(kMaxInterns));
  }
  Generator(options, sink).run();
}

}  // namespace velmora::seed
