#include "notify/mail_sender.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/failure.h"

namespace velmora {
namespace {

std::optional<MailTimeouts> g_timeouts_override;
MailSenderFactory g_sender_factory;

void ensure_curl_initialised() {
  // curl_global_init is not thread-safe and must run once per process; a
  // function-local static gives both.
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (result != CURLE_OK) throw Failure(result, curl_easy_strerror(result));
}

// An argument that the message cannot carry, refused before anything is sent.
[[noreturn]] void refuse(const std::string& what) {
  throw Failure(CURLE_BAD_FUNCTION_ARGUMENT,
                std::string(curl_easy_strerror(CURLE_BAD_FUNCTION_ARGUMENT)) + ": " + what);
}

// Addresses go into the SMTP dialogue and into headers between angle
// brackets, so anything that could end a line or the bracket is refused.
void check_address(const std::string& address) {
  if (address.empty()) refuse("empty mail address");
  for (unsigned char c : address) {
    if (c <= 0x20 || c == 0x7F || c == '<' || c == '>' || c == ',') {
      refuse("invalid mail address \"" + address + "\"");
    }
  }
}

// The host becomes the authority of an smtp:// URL.
void check_host(const std::string& host) {
  for (unsigned char c : host) {
    if (c <= 0x20 || c == 0x7F || std::strchr("/?#@\\", c)) {
      refuse("invalid mail server host name \"" + host + "\"");
    }
  }
}

struct SlistFree {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

// State shared with libcurl's callbacks during one send.
struct Transfer {
  std::string payload;
  std::size_t sent = 0;
  std::string reply_buffer;  // server reply text not yet split into lines
  std::string error_reply;   // the server's latest 4xx or 5xx reply line
};

std::size_t read_payload(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::size_t n = std::min(size * count, transfer->payload.size() - transfer->sent);
  std::memcpy(buffer, transfer->payload.data() + transfer->sent, n);
  transfer->sent += n;
  return n;
}

int watch_replies(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* transfer = static_cast<Transfer*>(user);
  transfer->reply_buffer.append(data, size);
  std::size_t end;
  while ((end = transfer->reply_buffer.find('\n')) != std::string::npos) {
    std::string line = transfer->reply_buffer.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with('4') || line.starts_with('5')) transfer->error_reply = line;
    transfer->reply_buffer.erase(0, end + 1);
  }
  return 0;
}

}  // namespace

std::string curl_failure_description(int code, const char* error_buffer, const std::string& reply) {
  // libcurl's detail often ends in the same words as its general message;
  // then the detail alone says it all.
  std::string description = curl_easy_strerror(static_cast<CURLcode>(code));
  const std::string detail = error_buffer;
  if (detail.find(description) != std::string::npos)
    description = detail;
  else if (!detail.empty())
    description += ": " + detail;
  if (!reply.empty() && description.find(reply) == std::string::npos) {
    description += " (server reply: " + reply + ")";
  }
  return description;
}

std::string ehlo_host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  for (const char* p = name; *p; ++p) {
    if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '-' && *p != '.') return {};
  }
  return name;
}

std::unique_ptr<MailSending> make_mail_sender() {
  if (g_sender_factory) return g_sender_factory();
  return std::make_unique<MailSender>();
}

void set_mail_sender_factory(MailSenderFactory factory) { g_sender_factory = std::move(factory); }

MailTimeouts mail_timeouts() { return g_timeouts_override.value_or(kMailTimeouts); }

void set_mail_timeouts_for_testing(const MailTimeouts* replacement) {
  if (replacement)
    g_timeouts_override = *replacement;
  else
    g_timeouts_override.reset();
}

void MailSender::CurlCleanup::operator()(void* handle) const noexcept {
  curl_easy_cleanup(static_cast<CURL*>(handle));
}

MailSender::MailSender(MailTimeouts timeouts) : timeouts_(timeouts) {
  ensure_curl_initialised();
  curl_.reset(curl_easy_init());
  if (!curl_) throw Failure(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
}

void MailSender::set_host(const std::string& host) {
  check_host(host);
  host_ = host;
}

void MailSender::set_port(int port) {
  if (port < 1 || port > 65535) refuse("port " + std::to_string(port) + " out of range");
  port_ = port;
}

void MailSender::set_sender(const std::string& address) {
  check_address(address);
  message_.from.address = address;
}

void MailSender::add_reply_to(const std::string& address, const std::optional<std::string>& name) {
  if (address.empty()) return;
  check_address(address);
  message_.reply_to.push_back({address, name.value_or("")});
}

void MailSender::set_sender_name(const std::string& name) { message_.from.name = name; }

void MailSender::set_subject(const std::string& subject) { message_.subject = subject; }

void MailSender::add_recipient(const std::string& address, const std::optional<std::string>& name) {
  check_address(address);
  message_.to.push_back({address, name.value_or("")});
}

void MailSender::set_body(const std::string& body) { message_.body = body; }

std::string MailSender::send() {
  if (message_.from.address.empty()) refuse("no sender address");
  if (message_.to.empty()) refuse("no recipient");

  CURL* curl = static_cast<CURL*>(curl_.get());
  std::array<char, CURL_ERROR_SIZE> error{};
  Transfer transfer;
  // The handle points into this frame while options are set; whatever way
  // the call ends, the handle forgets those pointers first.
  struct ForgetOptions {
    CURL* curl;
    ~ForgetOptions() { curl_easy_reset(curl); }
  } forget_options{curl};
  const std::string message_id = mail_format::new_message_id(message_.from.address);
  transfer.payload = mail_format::message_text(message_, message_id, std::time(nullptr));

  std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
  std::string url = "smtp://" + host + ":" + std::to_string(port_) + "/" + ehlo_host_name();
  std::string mail_from = "<" + message_.from.address + ">";
  Slist rcpt;
  for (const auto& box : message_.to) {
    curl_slist* grown = curl_slist_append(rcpt.get(), ("<" + box.address + ">").c_str());
    if (!grown) throw Failure(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    rcpt.release();
    rcpt.reset(grown);
  }

  auto fail = [&](CURLcode code) {
    throw Failure(code, curl_failure_description(code, error.data(), transfer.error_reply));
  };
  auto set = [&](CURLoption option, auto value) {
    CURLcode code = curl_easy_setopt(curl, option, value);
    if (code != CURLE_OK) fail(code);
  };

  set(CURLOPT_ERRORBUFFER, error.data());
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PROTOCOLS_STR, "smtp");
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
  // libcurl would otherwise take a proxy from the environment; the process
  // reads no environment and talks to its mail server directly.
  set(CURLOPT_PROXY, "");
  set(CURLOPT_NOPROXY, "*");
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts_.connect.count()));
  set(CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts_.whole.count()));
  set(CURLOPT_MAIL_FROM, mail_from.c_str());
  set(CURLOPT_MAIL_RCPT, rcpt.get());
  set(CURLOPT_UPLOAD, 1L);
  set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(transfer.payload.size()));
  set(CURLOPT_READFUNCTION, &read_payload);
  set(CURLOPT_READDATA, &transfer);
  // The debug hook is the only way to see the server's reply text; verbose
  // output goes to the hook, not to standard error.
  set(CURLOPT_DEBUGFUNCTION, &watch_replies);
  set(CURLOPT_DEBUGDATA, &transfer);
  set(CURLOPT_VERBOSE, 1L);

  CURLcode code = curl_easy_perform(curl);
  if (code != CURLE_OK) fail(code);
  return message_id;
}

}  // namespace velmora
