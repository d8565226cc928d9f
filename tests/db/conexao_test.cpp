#include "db/conexao.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/deployment.h"
#include "core/failure.h"
#include "db/connection_text.h"
#include "db/odbc_pool.h"
#include "tests/support/fixtures.h"

namespace velmora {
namespace {

using testing::Backend;

TEST(ConnectionTexts, AreBuiltExactlyFromTheDeploymentServers) {
  Deployment d = built_in_deployment();
  d.source_server = "srcdb,1433";
  d.consulta_server = "10.1.2.3";
  set_deployment_for_testing(&d);
  EXPECT_EQ(source_connection_text(),
            "Provider=SQLOLEDB;Data Source=srcdb,1433;Initial Catalog=Velmora;User Id=sa;"
            "Password=''");
  EXPECT_EQ(consulta_connection_text(),
            "Provider=SQLOLEDB;Data Source=10.1.2.3;Initial Catalog=consulta_tessarin;User "
            "Id=consulta_tessarin_int02;Password=Wubtra583");
  EXPECT_EQ(organiser_connection_text(),
            "Provider=SQLOLEDB;Data Source=10.1.2.3;Initial Catalog=CALVERIN;User "
            "Id=CALVERIN_int01;Password=Tavreq527");
  set_deployment_for_testing(nullptr);
}

TEST(ConnectionTexts, TakeEachConnectionsLoginAndPasswordFromTheDeployment) {
  struct Case {
    const char* what;
    std::string (*text)();
    std::string Deployment::*login_field;
    std::string Deployment::*password_field;
    std::string login, password, expected;
  };
  const Case cases[] = {
      {"source", source_connection_text, &Deployment::source_login, &Deployment::source_password,
       "velmora_origem", "S3nha\"x\\y",
       "Provider=SQLOLEDB;Data Source=src;Initial Catalog=Velmora;User Id=velmora_origem;"
       "Password=S3nha\"x\\y"},
      {"consultation", consulta_connection_text, &Deployment::consulta_login,
       &Deployment::consulta_password, "velmora_consulta", "''",
       "Provider=SQLOLEDB;Data Source=cons;Initial Catalog=consulta_tessarin;User "
       "Id=velmora_consulta;Password=''"},
      {"organiser", organiser_connection_text, &Deployment::organiser_login,
       &Deployment::organiser_password, "DOMAIN\\velmora", "",
       "Provider=SQLOLEDB;Data Source=cons;Initial Catalog=CALVERIN;User Id=DOMAIN\\velmora;"
       "Password="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Deployment d = built_in_deployment();
    d.source_server = "src";
    d.consulta_server = "cons";
    // Every other login is set apart, so that a text taking the wrong
    // connection's login shows.
    d.source_login = d.consulta_login = d.organiser_login = "other";
    d.source_password = d.consulta_password = d.organiser_password = "otherpw";
    d.*c.login_field = c.login;
    d.*c.password_field = c.password;
    set_deployment_for_testing(&d);
    EXPECT_EQ(c.text(), c.expected);
    const ConnectionText parsed = parse_connection_text(c.text());
    EXPECT_EQ(parsed.user, c.login);
    EXPECT_EQ(parsed.password, c.password == "''" ? "" : c.password);
  }
  set_deployment_for_testing(nullptr);
}

TEST(ConnectionTexts, BuiltInLoginsAreTheOnesEveryInstallationHasUsed) {
  // The build of the tests sets no login constant.
  const Deployment d = built_in_deployment();
  EXPECT_EQ(d.source_login, "sa");
  EXPECT_EQ(d.source_password, "''");
  EXPECT_EQ(d.consulta_login, "consulta_tessarin_int02");
  EXPECT_EQ(d.consulta_password, "Wubtra583");
  EXPECT_EQ(d.organiser_login, "CALVERIN_int01");
  EXPECT_EQ(d.organiser_password, "Tavreq527");
}

// The three modules seen through one shape, so that every edge case runs on each.
struct Module {
  const char* name;
  void (*abrir)();
  void (*fechar)();
  Slot<Connection>& (*cn)();
  Slot<Recordset>& (*rs)();
  Slot<Recordset>* (*rs2)();
  const char* table;  // a table of the module's catalog
};

const Module kModules[] = {
    {"CONEXAO", [] { CONEXAO.abrir(); }, [] { CONEXAO.fechar(); },
     []() -> Slot<Connection>& { return CONEXAO.cn; },
     []() -> Slot<Recordset>& { return CONEXAO.rs; },
     []() -> Slot<Recordset>* { return &CONEXAO.rs2; }, "vlmr_pagamento"},
    {"Conexao2", [] { Conexao2.abrir(); }, [] { Conexao2.fechar(); },
     []() -> Slot<Connection>& { return Conexao2.cn; },
     []() -> Slot<Recordset>& { return Conexao2.rs; },
     []() -> Slot<Recordset>* { return &Conexao2.rs2; }, "cons_pagamento"},
    {"conexao3", [] { conexao3.abrir(); }, [] { conexao3.fechar(); },
     []() -> Slot<Connection>& { return conexao3.cn; },
     []() -> Slot<Recordset>& { return conexao3.rs; }, []() -> Slot<Recordset>* { return nullptr; },
     "orgaos"},
};

class ConnectionSlots : public testing::BackendTest {
 protected:
};

TEST_P(ConnectionSlots, FecharBeforeAnyAbrirOrTwiceDoesNothing) {
  for (const Module& m : kModules) {
    SCOPED_TRACE(m.name);
    EXPECT_NO_THROW(m.fechar());
    EXPECT_FALSE(m.cn());
    m.abrir();
    EXPECT_TRUE(m.cn()->IsOpen());
    auto opened = m.cn().shared();
    EXPECT_NO_THROW(m.fechar());
    EXPECT_FALSE(m.cn());
    EXPECT_FALSE(opened->IsOpen());
    EXPECT_NO_THROW(m.fechar());
    EXPECT_FALSE(m.cn());
  }
}

TEST_P(ConnectionSlots, AbrirTwiceLeavesOneOpenConnectionAndFreshRowSets) {
  for (const Module& m : kModules) {
    SCOPED_TRACE(m.name);
    // Idle connections pooled by earlier tests in this process would be
    // counted too.
    odbc_pool().clear();
    m.abrir();
    std::weak_ptr<Connection> first = m.cn().shared();
    m.rs() = m.cn()->Execute(std::string("select * from ") + m.table);
    std::weak_ptr<Recordset> first_rs = m.rs().shared();

    m.abrir();
    // Nothing else holds the replaced objects, so they are gone, and a
    // discarded connection closes as it goes.
    EXPECT_TRUE(first.expired()) << "the replaced connection lives on";
    EXPECT_TRUE(first_rs.expired()) << "the replaced row set lives on";
    EXPECT_TRUE(m.cn()->IsOpen());
    EXPECT_FALSE(m.rs()->IsOpen()) << "the row set slot holds no fresh empty row set";
    if (auto* rs2 = m.rs2()) {
      EXPECT_FALSE((*rs2)->IsOpen());
    }
    if (GetParam() == Backend::kPostgres) {
      // One physical connection of this login to this catalog: the replaced
      // one went back to the pool and was taken again.
      auto count = m.cn()->Execute(
          "select count(*) as n from pg_stat_activity where usename = current_user and datname "
          "= current_database()");
      EXPECT_EQ(text_of(count->Fields().Item("n").Value(), "n"), "1");
    }
    EXPECT_NO_THROW(m.cn()->Execute(std::string("select * from ") + m.table));
    m.fechar();
  }
}

TEST_P(ConnectionSlots, FecharAfterAFailedOpenEmptiesTheSlotAndAbrirStartsAfresh) {
  Deployment good = built_in_deployment();
  good.source_server = good.consulta_server = db_->server();
  good.odbc_driver = db_->odbc_driver();
  Deployment bad = good;
  bad.source_server = bad.consulta_server =
      GetParam() == Backend::kEmbedded
          ? "sqlite:/nonexistent/velmora"
          : "127.0.0.1," + std::to_string(testing::closed_loopback_port());
  for (const Module& m : kModules) {
    SCOPED_TRACE(m.name);
    set_deployment_for_testing(&bad);
    EXPECT_THROW(m.abrir(), Failure);
    ASSERT_TRUE(m.cn());
    EXPECT_FALSE(m.cn()->IsOpen());
    EXPECT_TRUE(m.rs());
    EXPECT_FALSE(m.rs()->IsOpen());
    try {
      m.cn()->Execute(std::string("select * from ") + m.table);
      ADD_FAILURE() << "a statement ran on an unopened connection";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), failure_number::kObjectClosed);
    }
    EXPECT_NO_THROW(m.fechar());
    EXPECT_FALSE(m.cn());

    set_deployment_for_testing(&good);
    m.abrir();
    EXPECT_TRUE(m.cn()->IsOpen());
    m.rs() = m.cn()->Execute(std::string("select count(*) as n from ") + m.table);
    EXPECT_EQ(text_of(m.rs()->Fields().Item("n").Value(), "n"), "0");
    m.fechar();
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ConnectionSlots,
                         ::testing::Values(Backend::kEmbedded, Backend::kPostgres),
                         testing::BackendName);

}  // namespace
}  // namespace velmora
