#pragma once

#include <array>
#include <string_view>

// The words the synthetic data set is made of: Brazilian names with their
// accents and apostrophes, places, schools, units and the texts of
// commendations, sanctions and interruptions. Data only; data_set.cpp picks
// from these lists.
namespace velmora::seed::vocabulary {

inline constexpr std::array<std::string_view, 24> kFemaleNames = {
    "Ana",   "Beatriz", "Clarisse", "Débora",    "Élida",   "Fabíola",  "Glória",  "Heloísa",
    "Inês",  "Júlia",   "Lúcia",    "Márcia",    "Natália", "Patrícia", "Raíssa",  "Sônia",
    "Tânia", "Vitória", "Luíza",    "Conceição", "Maria",   "Joana",    "Letícia", "Iracema"};

inline constexpr std::array<std::string_view, 24> kMaleNames = {
    "André",    "Antônio",  "Caio",  "Cícero",  "Fábio",  "Geraldo",  "Henrique", "Inácio",
    "João",     "José",     "Lúcio", "Márcio",  "Otávio", "Rômulo",   "Sérgio",   "Tomás",
    "Vinícius", "Severino", "Mário", "Cláudio", "Renato", "Raimundo", "Thiago",   "Luís"};

inline constexpr std::array<std::string_view, 32> kSurnames = {
    "Silva",    "Santos",     "Oliveira",    "Souza",     "Lima",      "Pereira",  "Ferreira",
    "Araújo",   "Cavalcanti", "Albuquerque", "Gonçalves", "Magalhães", "D'Ávila",  "D'Almeida",
    "D'Ângelo", "Conceição",  "Brandão",     "Falcão",    "Leão",      "Assunção", "Sampaio",
    "Nóbrega",  "Câmara",     "Barbosa",     "Lins",      "Wanderley", "Lacerda",  "Guimarães",
    "Mota",     "D'Oliveira", "Bezerra",     "Macêdo"};

// Placed between given names and surnames in some names ("Ana da Silva").
inline constexpr std::array<std::string_view, 4> kConnectors = {"da", "de", "dos", "das"};

struct City {
  std::string_view name;
  std::string_view uf;
  std::string_view cep_prefix;  // first two digits of the postcode
  std::string_view area_code;   // of its telephone numbers
  std::array<std::string_view, 4> neighbourhoods;
};
inline constexpr std::array<City, 6> kCities = {{
    {"Recife", "PE", "50", "81", {"Boa Viagem", "Casa Forte", "Espinheiro", "Várzea"}},
    {"Olinda", "PE", "53", "81", {"Carmo", "Casa Caiada", "Bairro Novo", "Rio Doce"}},
    {"Jaboatão dos Guararapes",
     "PE",
     "54",
     "81",
     {"Piedade", "Candeias", "Prazeres", "Cajueiro Seco"}},
    {"Paulista", "PE", "53", "81", {"Janga", "Pau Amarelo", "Maranguape I", "Centro"}},
    {"Caruaru",
     "PE",
     "55",
     "81",
     {"Maurício de Nassau", "Indianópolis", "Universitário", "Salgado"}},
    {"Petrolina", "PE", "56", "87", {"Centro", "Areia Branca", "Gercino Coelho", "Vila Eduardo"}},
}};

inline constexpr std::array<std::string_view, 4> kMailDomains = {"gmail.com", "hotmail.com",
                                                                 "outlook.com", "ufpe.br"};

inline constexpr std::array<std::string_view, 14> kStreets = {
    "Rua da Aurora",       "Avenida Conselheiro Aguiar",
    "Rua do Hospício",     "Rua Dom Bosco",
    "Avenida Caxangá",     "Rua Amélia",
    "Rua Padre Roma",      "Estrada do Arraial",
    "Travessa São João",   "Rua Marquês de Olinda",
    "Rua D'Ajuda",         "Avenida Norte Miguel Arraes de Alencar",
    "Rua José de Alencar", "Avenida Agamenon Magalhães"};

inline constexpr std::array<std::string_view, 5> kComplements = {"Apto 101", "Bloco B, Apto 302",
                                                                 "Casa 2", "Fundos", "Sala 1204"};

struct School {
  std::string_view name;
  std::string_view neighbourhood;
  std::string_view city;
};
inline constexpr std::array<School, 8> kSchools = {{
    {"Universidade Federal de Pernambuco", "Cidade Universitária", "Recife"},
    {"Universidade Católica de Pernambuco", "Boa Vista", "Recife"},
    {"Faculdade de Direito do Recife", "Boa Vista", "Recife"},
    {"Faculdade Damas da Instrução Cristã", "Graças", "Recife"},
    {"Centro Universitário Maurício de Nassau", "Graças", "Recife"},
    {"Universidade de Pernambuco", "Santo Amaro", "Recife"},
    {"Faculdade de Olinda", "Carmo", "Olinda"},
    {"Centro Universitário Tabosa de Almeida", "Universitário", "Caruaru"},
}};

// Selection exams: code and description. Interns also sit exams whose code
// is missing here (kUnlistedExams), as old data has them.
struct Exam {
  std::string_view code;
  std::string_view description;
};
inline constexpr std::array<Exam, 5> kExams = {{
    {"EST-2022", "Seleção Pública de Estagiários 2022"},
    {"EST-2023", "Seleção Pública de Estagiários 2023"},
    {"EST-2024", "Seleção Pública de Estagiários 2024"},
    {"EST-2025", "Seleção Pública de Estagiários 2025"},
    {"PG-2024", "Seleção de Estagiários de Pós-Graduação 2024"},
}};
inline constexpr std::array<std::string_view, 2> kUnlistedExams = {"EST-2019", "EST-2020"};

// Grants: code and description; code 7 is used by interns but not listed.
struct Grant {
  int code;
  std::string_view description;
  std::string_view monthly;  // the month's payment, an exact decimal
};
inline constexpr std::array<Grant, 4> kGrants = {{
    {1, "Bolsa-Auxílio Graduação 20h", "1000.00"},
    {2, "Bolsa-Auxílio Graduação 30h", "1500.00"},
    {3, "Bolsa-Auxílio Pós-Graduação", "2200.50"},
    {4, "Bolsa-Auxílio Ensino Médio", "650.00"},
}};
inline constexpr int kUnlistedGrant = 7;
inline constexpr std::string_view kUnlistedGrantMonthly = "800.00";

// Unit groups (gruposorgaos) and the kinds of unit in each; every kind is
// numbered into several units.
inline constexpr std::array<std::string_view, 6> kUnitGroups = {
    "Capital", "Região Metropolitana", "Agreste", "Sertão", "Zona da Mata", "Administração"};
struct UnitKind {
  std::string_view name;  // "<n>ª <name>" for n = 1.. units
  std::string_view code;  // qorv prefix
  int group;              // index into kUnitGroups
  int count;
};
inline constexpr std::array<UnitKind, 10> kUnitKinds = {{
    {"Vara Cível da Capital", "VCC", 0, 12},
    {"Vara de Família e Registro Civil", "VFR", 0, 6},
    {"Vara Criminal de Olinda", "VCO", 1, 4},
    {"Vara Cível de Jaboatão dos Guararapes", "VCJ", 1, 5},
    {"Vara de Caruaru", "VCA", 2, 4},
    {"Vara de Petrolina", "VPE", 3, 3},
    {"Vara de Palmares", "VPA", 4, 2},
    {"Juizado Especial Cível", "JEC", 0, 8},
    {"Diretoria de Gestão de Pessoas", "DGP", 5, 2},
    {"Central de Conciliação D'Água", "CCA", 5, 1},
}};

inline constexpr std::array<std::string_view, 6> kCommendations = {
    "Elogio da chefia pela dedicação no mutirão de conciliação.",
    "Reconhecimento pelo atendimento ao público na \"Semana da Justiça\".",
    "Elogio do juiz titular pela organização do acervo de processos físicos.",
    "Destaque na digitalização de processos do arquivo D'Ávila.",
    "Menção honrosa pela pontualidade e assiduidade no semestre.",
    "Elogio pela colaboração na correição ordinária da unidade.",
};
inline constexpr std::array<std::string_view, 4> kSanctions = {
    "Advertência verbal por atrasos reiterados.",
    "Advertência por escrito: ausência injustificada em 3 dias.",
    "Suspensão de 2 dias por uso indevido do sistema processual.",
    "Advertência: descumprimento do horário de estágio ('folha de ponto').",
};
inline constexpr std::array<std::string_view, 5> kInterruptionReasons = {
    "Licença médica", "Licença maternidade", "Intercâmbio acadêmico", "Trancamento de matrícula",
    "Afastamento a pedido do estagiário"};
inline constexpr std::array<std::string_view, 4> kDismissalKinds = {
    "Término do contrato", "A pedido do estagiário", "Conclusão do curso", "Abandono"};

// A failure as an earlier night's run log row keeps it: the embedded
// client's, when another program held a database file locked past the wait.
inline constexpr std::string_view kEarlierFailure = "5 - database is locked";

}  // namespace velmora::seed::vocabulary
