#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/run/nightly_run.h"
#include "core/deployment.h"
#include "core/failure.h"
#include "db/conexao.h"
#include "notify/mail_sender.h"
#include "notify/message_box.h"
#include "tests/support/fixtures.h"
#include "tests/support/smtp_server.h"
#include "transfer/frmatualizacao.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::Rows;
using testing::SmtpTestServer;
using ::testing::StartsWith;

constexpr const char* kMailbox = "consulta@velmora.example";
constexpr const char* kBoxPrefix = "Ocorreu um erro no envio do e-mail: ";

// Where the notice goes in a case: a test server in some mode, or a port
// on which nothing listens.
struct Destination {
  std::string name;
  std::optional<SmtpTestServer::Mode> mode;  // nullopt: nothing listens
  std::string expected_description;          // a fragment of the box text
};

const std::vector<Destination>& failing_destinations() {
  static const std::vector<Destination> cases = {
      {"unreachable server", std::nullopt, "Failed to connect to 127.0.0.1 port "},
      {"rejecting server", SmtpTestServer::Mode::kRejectRecipient,
       "Failed sending data to the peer: RCPT failed: 550 (server reply: 550 5.1.1 "
       "<consulta@velmora.example>: Recipient address rejected: no such user)"},
      {"silent server", SmtpTestServer::Mode::kSilent, "Timeout was reached: "},
  };
  return cases;
}

// Points the deployment's mail settings at loopback, captures message boxes
// and shortens the mail time-outs so that a silent server costs a second.
class MailFixture {
 public:
  MailFixture() : previous_(deployment()) {
    set_message_boxes({[this](const std::string& text) { on_box(text); },
                       [this](const std::string& text) { unhandled.push_back(text); }});
    set_mail_timeouts_for_testing(&kShortWait);
  }
  ~MailFixture() {
    set_mail_timeouts_for_testing(nullptr);
    set_message_boxes({});
    set_deployment_for_testing(&previous_);
  }

  // Sends to a test server in `mode`, started here, or with no mode to a
  // loopback port on which nothing listens.
  void aim_at(const std::optional<SmtpTestServer::Mode>& mode) {
    int port;
    if (mode) {
      server = std::make_unique<SmtpTestServer>(*mode);
      port = server->port();
    } else {
      port = testing::closed_loopback_port();
    }
    site = deployment();
    site.smtp_host = "127.0.0.1";
    site.smtp_port = port;
    site.mailbox = kMailbox;
    set_deployment_for_testing(&site);
  }

  std::size_t received() const { return server ? server->messages().size() : 0; }

  static constexpr MailTimeouts kShortWait{std::chrono::milliseconds(500),
                                           std::chrono::milliseconds(1000)};
  Deployment site;
  std::unique_ptr<SmtpTestServer> server;
  std::vector<std::string> boxes, unhandled;
  std::function<void()> while_box_is_up;

 private:
  Deployment previous_;  // restored on destruction
  void on_box(const std::string& text) {
    boxes.push_back(text);
    if (while_box_is_up) while_box_is_up();
  }
};

TEST(EnviarEmail, SendsTheFixedNoticeFromAndToTheMailbox) {
  MailFixture mail;
  mail.aim_at(SmtpTestServer::Mode::kAccept);
  CONEXAO.enviar_email();

  EXPECT_EQ(mail.boxes, std::vector<std::string>{});
  auto messages = mail.server->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].mail_from, kMailbox);
  EXPECT_EQ(messages[0].rcpt_tos, std::vector<std::string>{kMailbox});
  EXPECT_EQ(messages[0].field("from_name"), "NPX");
  EXPECT_EQ(messages[0].field("from_address"), kMailbox);
  EXPECT_EQ(messages[0].field("to"), kMailbox);
  EXPECT_EQ(messages[0].field("subject"), "Erro na atualização do Consulta Velmora");
  EXPECT_EQ(messages[0].field("body"),
            "O Sistema de Consulta não foi alterado,pois houve um erro\n");
  EXPECT_THAT(messages[0].raw, ::testing::Not(HasSubstr("Reply-To")));
}

TEST(EnviarEmail, AMailboxTheSenderRefusesGivesTheBoxToo) {
  MailFixture mail;
  mail.aim_at(SmtpTestServer::Mode::kAccept);
  mail.site.mailbox = "";
  set_deployment_for_testing(&mail.site);
  CONEXAO.enviar_email();
  EXPECT_EQ(mail.boxes, std::vector<std::string>{
                            "Ocorreu um erro no envio do e-mail: A libcurl function was given a "
                            "bad argument: empty mail address"});
  EXPECT_EQ(mail.received(), 0u);
}

TEST(EnviarEmail, NeverPassesAFailureToItsCaller) {
  MailFixture mail;
  mail.aim_at(std::nullopt);
  mail.while_box_is_up = [] { throw Failure(5, "the box could not be shown"); };
  EXPECT_NO_THROW(CONEXAO.enviar_email());
  EXPECT_EQ(mail.boxes.size(), 1u);
}

// The notice within a whole run started by the tick at 00:30:00.
class FailureNoticeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = testing::make_database(testing::Backend::kEmbedded);
    sut_ = std::make_unique<testing::SystemUnderTest>(*db_, &clock_);
  }

  Rows log_rows() {
    return db_->query("Velmora",
                      "select data, hora_final is not null, erro from vlmr_logtransferencia");
  }
  void expect_connections_closed() {
    EXPECT_FALSE(CONEXAO.cn);
    EXPECT_FALSE(Conexao2.cn);
    EXPECT_FALSE(conexao3.cn);
  }
  // Makes the payment transfer fail: its source table is gone.
  void break_the_transfer() { db_->exec("Velmora", "DROP TABLE vlmr_pagamento"); }

  testing::FakeClock clock_;  // 2026-12-08 00:30:00
  std::unique_ptr<testing::Database> db_;
  std::unique_ptr<testing::SystemUnderTest> sut_;
};

TEST_F(FailureNoticeRun, AFailedRunSendsOneNoticeAndCompletesItsLogRow) {
  MailFixture mail;
  mail.aim_at(SmtpTestServer::Mode::kAccept);
  break_the_transfer();

  tempo_Timer();

  EXPECT_EQ(mail.boxes, std::vector<std::string>{});
  EXPECT_EQ(mail.unhandled, std::vector<std::string>{});
  auto messages = mail.server->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].field("subject"), "Erro na atualização do Consulta Velmora");
  EXPECT_EQ(messages[0].rcpt_tos, std::vector<std::string>{kMailbox});
  const Rows log = log_rows();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0][1], "1") << "end time written";
  EXPECT_THAT(log[0][2], HasSubstr("vlmr_pagamento"))
      << "the notice carries no detail, the log does";
  expect_connections_closed();
}

TEST_F(FailureNoticeRun, ASuccessfulRunSendsNothing) {
  MailFixture mail;
  mail.aim_at(SmtpTestServer::Mode::kAccept);

  tempo_Timer();

  EXPECT_EQ(log_rows(), (Rows{{"2026-12-08", "1", " SEM ERRO"}}));
  EXPECT_EQ(mail.received(), 0u);
  EXPECT_EQ(mail.boxes, std::vector<std::string>{});
}

TEST_F(FailureNoticeRun, AFailedNoticeHoldsTheRunUntilItsBoxIsDismissed) {
  for (const auto& destination : failing_destinations()) {
    SCOPED_TRACE(destination.name);
    frmatualizacao.last_run_date.reset();
    db_->exec("Velmora", "DELETE FROM vlmr_logtransferencia");
    db_->exec("consulta_tessarin",
              "DROP TABLE IF EXISTS cons_estagiario_2026_12_07;"
              "DROP TABLE IF EXISTS cons_pagamento_2026_12_07");
    db_->exec("Velmora", "DROP TABLE IF EXISTS vlmr_pagamento");
    MailFixture mail;
    mail.aim_at(destination.mode);
    Rows log_while_box_is_up;
    mail.while_box_is_up = [&] { log_while_box_is_up = log_rows(); };

    const auto start = std::chrono::steady_clock::now();
    tempo_Timer();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    ASSERT_EQ(mail.boxes.size(), 1u);
    EXPECT_THAT(mail.boxes[0], StartsWith(kBoxPrefix));
    EXPECT_THAT(mail.boxes[0], HasSubstr(destination.expected_description));
    EXPECT_EQ(mail.unhandled, std::vector<std::string>{});
    ASSERT_EQ(log_while_box_is_up.size(), 1u);
    EXPECT_EQ(log_while_box_is_up[0][1], "0") << "no end time before the box is dismissed";
    const Rows log = log_rows();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][1], "1");
    EXPECT_THAT(log[0][2], HasSubstr("vlmr_pagamento"));
    EXPECT_THAT(log[0][2], ::testing::Not(HasSubstr("e-mail")));
    EXPECT_EQ(mail.received(), 0u);
    expect_connections_closed();
  }
}

}  // namespace
}  // namespace velmora
