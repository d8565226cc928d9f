#pragma once

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// How long a send may wait on the mail server before it fails.
struct MailTimeouts {
  // From the start of the send until the server has greeted and answered
  // EHLO (libcurl counts the SMTP opening as part of connecting).
  std::chrono::milliseconds connect;
  // The whole send, connecting included.
  std::chrono::milliseconds whole;
};

// The time-outs of every send: 30 s to connect, 2 minutes in all, so that a
// dead or silent server cannot hold the night for ever.
inline constexpr MailTimeouts kMailTimeouts{std::chrono::seconds(30), std::chrono::minutes(2)};

// The time-outs that a MailSender created now uses: kMailTimeouts unless a
// test installed others.
MailTimeouts mail_timeouts();

// Tests of silent servers shorten the time-outs; nullptr restores
// kMailTimeouts. Process-wide state.
void set_mail_timeouts_for_testing(const MailTimeouts* replacement);

// Sends one plain-text message in UTF-8 by SMTP (libcurl), without
// authentication or encryption. The message is built as RFC 5322 with MIME:
// From (display name and address), To, Subject (RFC 2047 encoded word where
// needed), Date, Message-ID, MIME-Version and a quoted-printable
// text/plain; charset=UTF-8 body.
//
// Every operation that fails throws velmora::Failure whose number is the
// libcurl result code (CURLcode) and whose description is libcurl's own
// message (its general text for the code and the detail of its error
// buffer), followed by the server's error reply where there is one.
class MailSender {
 public:
  // Initialises libcurl (once per process) and creates the transfer handle.
  // Throws Failure when libcurl cannot be initialised.
  explicit MailSender(MailTimeouts timeouts = mail_timeouts());
  MailSender(MailSender&&) noexcept = default;
  MailSender& operator=(MailSender&&) noexcept = default;

  // The server's host name or address.
  void set_host(const std::string& host);
  // TCP port of the server; throws Failure outside 1..65535.
  void set_port(int port);
  // The sender's address: envelope sender and the From address.
  void set_sender(const std::string& address);
  // Adds a Reply-To address with an optional display name. An empty
  // address adds nothing and is no error.
  void add_reply_to(const std::string& address,
                    const std::optional<std::string>& name = std::nullopt);
  // The display name shown in From.
  void set_sender_name(const std::string& name);
  // The subject, any UTF-8 text.
  void set_subject(const std::string& subject);
  // Adds a recipient (envelope and To) with an optional display name.
  void add_recipient(const std::string& address,
                     const std::optional<std::string>& name = std::nullopt);
  // The body, UTF-8 text; line ends may be LF or CRLF.
  void set_body(const std::string& body);

  // Sends the message to every recipient and returns its Message-ID (with
  // the angle brackets). Blocks for at most the time-outs given at
  // construction. Throws Failure when there is no recipient or the server
  // cannot be reached or refuses the message.
  std::string send();

 private:
  struct Mailbox {
    std::string address;
    std::string name;
  };
  std::string message_text(const std::string& message_id) const;

  // The libcurl easy handle (CURL is void in libcurl's own header).
  struct CurlCleanup {
    void operator()(void* handle) const noexcept;
  };

  MailTimeouts timeouts_;
  std::unique_ptr<void, CurlCleanup> curl_;
  std::string host_;
  int port_ = 25;
  std::string sender_;
  std::string sender_name_;
  std::string subject_;
  std::string body_;
  std::vector<Mailbox> reply_to_;
  std::vector<Mailbox> recipients_;
};

// Building blocks of the message, public for their tests.
namespace mail_format {
// `text` as it may stand in a header: unchanged when it is printable ASCII,
// else RFC 2047 encoded words (UTF-8, base64) of at most 75 characters each,
// split at character boundaries and folded with CRLF and a blank.
std::string header_text(const std::string& text);
// `text` encoded quoted-printable with CRLF line ends and lines of at most
// 76 characters; every line of the result, the last included, ends with
// CRLF (an empty text gives an empty result).
std::string quoted_printable(const std::string& text);
// An RFC 5322 date-time for the seconds since the epoch `when`, in local
// time with its offset, e.g. "Tue, 08 Dec 2026 00:30:05 -0300".
std::string rfc5322_date(std::time_t when);
}  // namespace mail_format

}  // namespace velmora
