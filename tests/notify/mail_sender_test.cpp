#include "notify/mail_sender.h"

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "core/failure.h"
#include "tests/support/smtp_server.h"

namespace velmora {
namespace {

using ::testing::HasSubstr;
using testing::SmtpTestServer;
using ::testing::StartsWith;

constexpr const char* kMailbox = "consulta@velmora.example";
constexpr const char* kSubject = "Erro na atualização do Consulta Velmora";
constexpr const char* kBody = "O Sistema de Consulta não foi alterado,pois houve um erro";

// The nine calls of the failure notice, against `port` on loopback.
std::string send_notice(int port, MailTimeouts timeouts = kMailTimeouts) {
  MailSender mail(timeouts);
  mail.set_host("127.0.0.1");
  mail.set_port(port);
  mail.set_sender(kMailbox);
  mail.add_reply_to("");
  mail.set_sender_name("NPX");
  mail.set_subject(kSubject);
  mail.add_recipient(kMailbox);
  mail.set_body(kBody);
  return mail.send();
}

Failure failure_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure;
  }
  ADD_FAILURE() << "no Failure thrown";
  return Failure(0, "");
}

TEST(MailSender, DeliversTheNoticeAsAProperMessage) {
  SmtpTestServer server;
  const std::string message_id = send_notice(server.port());

  auto messages = server.messages();
  ASSERT_EQ(messages.size(), 1u);
  const auto& mail = messages[0];
  EXPECT_EQ(mail.mail_from, kMailbox);
  EXPECT_EQ(mail.rcpt_tos, std::vector<std::string>{kMailbox});
  EXPECT_EQ(mail.field("subject"), kSubject);
  // The body is one line of text; in the message every line ends with a line end.
  EXPECT_EQ(mail.field("body"), std::string(kBody) + "\n");
  EXPECT_EQ(mail.field("from_name"), "NPX");
  EXPECT_EQ(mail.field("from_address"), kMailbox);
  EXPECT_EQ(mail.field("to"), kMailbox);
  EXPECT_EQ(mail.field("date_valid"), "yes") << mail.field("date");
  EXPECT_EQ(mail.field("message_id"), message_id);
  EXPECT_EQ(mail.field("mime_version"), "1.0");
  EXPECT_EQ(mail.field("content_type"), "text/plain");
  EXPECT_EQ(mail.field("charset"), "utf-8");
  EXPECT_EQ(mail.field("defects"), "") << mail.raw;

  // The header lines as they travel: CRLF line ends, the subject as an
  // encoded word, no Reply-To for the empty address.
  EXPECT_THAT(mail.raw, StartsWith("Date: "));
  EXPECT_THAT(mail.raw, HasSubstr("\r\nFrom: NPX <consulta@velmora.example>\r\n"));
  EXPECT_THAT(mail.raw, HasSubstr("\r\nTo: <consulta@velmora.example>\r\n"));
  EXPECT_THAT(mail.raw, HasSubstr("\r\nSubject: =?UTF-8?B?"));
  EXPECT_THAT(mail.raw, HasSubstr("\r\nContent-Type: text/plain; charset=UTF-8\r\n"));
  EXPECT_THAT(mail.raw, ::testing::Not(HasSubstr("Reply-To")));
  EXPECT_THAT(mail.raw, ::testing::Not(HasSubstr("\n\n")));
}

// Texts that stress the encodings: long and non-ASCII subjects split into
// several encoded words, lines longer than 76 characters, trailing blanks,
// "=" signs, lines that begin with a dot, control characters in a header.
TEST(MailSender, SubjectsAndBodiesSurviveTheEncodings) {
  struct Case {
    std::string subject;
    std::string body;
    std::string expected_body;
  };
  const std::string long_accents =
      "Atualização às 00:30 — ações não concluídas, órgãos e estagiários ção ção ção ção ção";
  const std::vector<Case> cases = {
      {"plain ASCII subject", "line one\nline two\n", "line one\nline two\n"},
      {long_accents, std::string(200, 'x') + "ã" + std::string(100, '=') + "\n",
       std::string(200, 'x') + "ã" + std::string(100, '=') + "\n"},
      {"=?UTF-8?B?bm90?= an encoded word", "trailing blanks   \r\n\ttab\t\n",
       "trailing blanks   \n\ttab\t\n"},
      {"line\r\nBcc: injected@example.com", ".\n..two dots\n.", ".\n..two dots\n.\n"},
      {"ção", "", ""},
  };
  SmtpTestServer server;
  for (const auto& c : cases) {
    MailSender mail;
    mail.set_host("127.0.0.1");
    mail.set_port(server.port());
    mail.set_sender(kMailbox);
    mail.set_subject(c.subject);
    mail.add_recipient(kMailbox);
    mail.set_body(c.body);
    mail.send();
  }
  auto messages = server.messages();
  ASSERT_EQ(messages.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("subject: " + cases[i].subject);
    EXPECT_EQ(messages[i].field("subject"), cases[i].subject);
    EXPECT_EQ(messages[i].field("body"), cases[i].expected_body);
    EXPECT_EQ(messages[i].field("defects"), "");
    EXPECT_EQ(messages[i].rcpt_tos, std::vector<std::string>{kMailbox});
    std::istringstream raw(messages[i].raw);
    for (std::string line; std::getline(raw, line);) EXPECT_LE(line.size(), 78u) << line;
  }
}

TEST(MailSender, SendsToEveryRecipientWithDisplayNames) {
  SmtpTestServer server;
  MailSender mail;
  mail.set_host("127.0.0.1");
  mail.set_port(server.port());
  mail.set_sender(kMailbox);
  mail.set_sender_name("Núcleo, \"X\"");
  mail.add_reply_to("reply@velmora.example", "Resposta");
  mail.add_recipient("a@velmora.example");
  mail.add_recipient("b@velmora.example", "Setor B");
  mail.send();
  auto messages = server.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rcpt_tos,
            (std::vector<std::string>{"a@velmora.example", "b@velmora.example"}));
  EXPECT_EQ(messages[0].field("to"), "a@velmora.example\nb@velmora.example");
  EXPECT_EQ(messages[0].field("from_name"), "Núcleo, \"X\"");
  EXPECT_THAT(messages[0].raw, HasSubstr("Setor B <b@velmora.example>"));
  EXPECT_THAT(messages[0].raw, HasSubstr("Reply-To: Resposta <reply@velmora.example>\r\n"));
  EXPECT_EQ(messages[0].field("defects"), "");
}

TEST(MailSender, UnreachableServerFailsWithLibcurlsMessage) {
  const int port = testing::closed_loopback_port();
  Failure failure = failure_of([&] { send_notice(port); });
  EXPECT_EQ(failure.number(), CURLE_COULDNT_CONNECT);
  EXPECT_THAT(
      failure.description(),
      ::testing::MatchesRegex("Failed to connect to 127\\.0\\.0\\.1 port " + std::to_string(port) +
                              " after [0-9]+ ms: Couldn't connect to server"));
}

TEST(MailSender, RejectedRecipientFailsWithTheServersReply) {
  SmtpTestServer server(SmtpTestServer::Mode::kRejectRecipient);
  Failure failure = failure_of([&] { send_notice(server.port()); });
  EXPECT_EQ(failure.number(), CURLE_SEND_ERROR);
  EXPECT_EQ(failure.description(),
            "Failed sending data to the peer: RCPT failed: 550 (server reply: 550 5.1.1 "
            "<consulta@velmora.example>: Recipient address rejected: no such user)");
  EXPECT_TRUE(server.messages().empty());
}

TEST(MailSender, SilentServerFailsWhenTheTimeOutRunsOut) {
  SmtpTestServer server(SmtpTestServer::Mode::kSilent);
  const MailTimeouts short_wait{std::chrono::milliseconds(700), std::chrono::milliseconds(1500)};
  const auto start = std::chrono::steady_clock::now();
  Failure failure = failure_of([&] { send_notice(server.port(), short_wait); });
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(failure.number(), CURLE_OPERATION_TIMEDOUT);
  EXPECT_THAT(failure.description(), StartsWith("Timeout was reached: "));
  EXPECT_GE(waited, std::chrono::milliseconds(600));
  EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST(MailSender, RefusesArgumentsThatCannotBeSent) {
  const std::vector<std::pair<std::string, std::function<void(MailSender&)>>> cases = {
      {"recipient with a line end", [](MailSender& m) { m.add_recipient("a@b.c\r\nDATA"); }},
      {"empty recipient", [](MailSender& m) { m.add_recipient(""); }},
      {"sender with a bracket", [](MailSender& m) { m.set_sender("a@b.c>"); }},
      {"host with a path", [](MailSender& m) { m.set_host("mail/x"); }},
      {"port 0", [](MailSender& m) { m.set_port(0); }},
      {"port 65536", [](MailSender& m) { m.set_port(65536); }},
      {"send without recipient",
       [](MailSender& m) {
         m.set_sender("a@b.c");
         m.send();
       }},
      {"send without sender",
       [](MailSender& m) {
         m.add_recipient("a@b.c");
         m.send();
       }},
  };
  for (const auto& [name, action] : cases) {
    MailSender mail;
    Failure failure = failure_of([&] { action(mail); });
    EXPECT_EQ(failure.number(), CURLE_BAD_FUNCTION_ARGUMENT) << name;
    EXPECT_THAT(failure.description(), StartsWith("A libcurl function was given a bad argument: "))
        << name;
  }
}

// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(MailFormat, DateCarriesTheLocalOffset) {
  const std::time_t when = 1796700605;  // 2026-12-08 03:30:05 UTC
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"UTC0", "Tue, 08 Dec 2026 03:30:05 +0000"},
      {"BRT3", "Tue, 08 Dec 2026 00:30:05 -0300"},
      {"IST-5:30", "Tue, 08 Dec 2026 09:00:05 +0530"},
  };
  for (const auto& [zone, expected] : cases) {
    ScopedTimeZone tz(zone);
    EXPECT_EQ(mail_format::rfc5322_date(when), expected) << zone;
  }
}

TEST(MailFormat, EncodedWordsNeverSplitACharacter) {
  // "a" and 30 two-byte letters: 61 bytes. A word holds 42, which would cut
  // the 21st letter in two, so the first word stops after 41 bytes.
  std::string text = "a";
  for (int i = 0; i < 30; ++i) text += "ã";
  EXPECT_EQ(mail_format::header_text(text),
            "=?UTF-8?B?YcOjw6PDo8Ojw6PDo8Ojw6PDo8Ojw6PDo8Ojw6PDo8Ojw6PDo8Ojw6M=?=\r\n"
            " =?UTF-8?B?w6PDo8Ojw6PDo8Ojw6PDo8Ojw6M=?=");
}

}  // namespace
}  // namespace velmora
