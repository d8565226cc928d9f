#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notify/mail_format.h"

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

// This machine's host name for EHLO, or empty (libcurl's default) when it is
// not a plain DNS name that can stand in an smtp:// URL.
std::string ehlo_host_name();

// The description of a failed libcurl transfer: libcurl's message for
// `code`, the detail it left in `error_buffer`, and the server's last 4xx or
// 5xx reply, each unless an earlier part says it already.
std::string curl_failure_description(int code, const char* error_buffer, const std::string& reply);

// The operations of a component that sends one mail message, in the order
// the failure notice calls them. Every operation that fails throws
// velmora::Failure.
class MailSending {
 public:
  virtual ~MailSending() = default;
  virtual void set_host(const std::string& host) = 0;
  virtual void set_port(int port) = 0;
  virtual void set_sender(const std::string& address) = 0;
  virtual void add_reply_to(const std::string& address,
                            const std::optional<std::string>& name = std::nullopt) = 0;
  virtual void set_sender_name(const std::string& name) = 0;
  virtual void set_subject(const std::string& subject) = 0;
  virtual void add_recipient(const std::string& address,
                             const std::optional<std::string>& name = std::nullopt) = 0;
  virtual void set_body(const std::string& body) = 0;
  // Sends the message; returns its Message-ID.
  virtual std::string send() = 0;
};

// The seam through which the failure notice gets its sender: a new libcurl
// MailSender unless a test installed a factory of its own. Process-wide
// state; an empty factory restores the default.
using MailSenderFactory = std::function<std::unique_ptr<MailSending>()>;
std::unique_ptr<MailSending> make_mail_sender();
void set_mail_sender_factory(MailSenderFactory factory);

// Sends one plain-text message in UTF-8 by SMTP (libcurl), without
// authentication or encryption, in the format of notify/mail_format.h.
//
// Every operation that fails throws velmora::Failure whose number is the
// libcurl result code (CURLcode) and whose description is libcurl's own
// message (its general text for the code and the detail of its error
// buffer), followed by the server's error reply where there is one.
class MailSender final : public MailSending {
 public:
  // Initialises libcurl (once per process) and creates the transfer handle.
  // Throws Failure when libcurl cannot be initialised.
  explicit MailSender(MailTimeouts timeouts = mail_timeouts());
  MailSender(MailSender&&) noexcept = default;
  MailSender& operator=(MailSender&&) noexcept = default;

  // The server's host name or address.
  void set_host(const std::string& host) override;
  // TCP port of the server; throws Failure outside 1..65535.
  void set_port(int port) override;
  // The sender's address: envelope sender and the From address.
  void set_sender(const std::string& address) override;
  // Adds a Reply-To address with an optional display name. An empty
  // address adds nothing and is no error.
  void add_reply_to(const std::string& address,
                    const std::optional<std::string>& name = std::nullopt) override;
  // The display name shown in From.
  void set_sender_name(const std::string& name) override;
  // The subject, any UTF-8 text.
  void set_subject(const std::string& subject) override;
  // Adds a recipient (envelope and To) with an optional display name.
  void add_recipient(const std::string& address,
                     const std::optional<std::string>& name = std::nullopt) override;
  // The body, UTF-8 text; line ends may be LF or CRLF.
  void set_body(const std::string& body) override;

  // Sends the message to every recipient and returns its Message-ID (with
  // the angle brackets). Blocks for at most the time-outs given at
  // construction. Throws Failure when there is no recipient or the server
  // cannot be reached or refuses the message.
  std::string send() override;

 private:
  // The libcurl easy handle (CURL is void in libcurl's own header).
  struct CurlCleanup {
    void operator()(void* handle) const noexcept;
  };

  MailTimeouts timeouts_;
  std::unique_ptr<void, CurlCleanup> curl_;
  std::string host_;
  int port_ = 25;
  mail_format::Message message_;
};

}  // namespace velmora
