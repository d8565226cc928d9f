#include "notify/mail_sender.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/failure.h"

namespace velmora {
namespace {

std::optional<MailTimeouts> g_timeouts_override;

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

bool is_atext_or_blank(unsigned char c) {
  return std::isalnum(c) || c == ' ' || std::strchr("!#$%&'*+-/=?^_`{|}~", c);
}

bool is_printable_ascii(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// A display name as an RFC 5322 phrase.
std::string phrase(const std::string& name) {
  bool plain = !name.empty() && name.front() != ' ' && name.back() != ' ';
  for (unsigned char c : name) plain = plain && is_atext_or_blank(c);
  if (plain) return name;
  if (is_printable_ascii(name) && name.find("=?") == std::string::npos) {
    std::string quoted = "\"";
    for (char c : name) {
      if (c == '"' || c == '\\') quoted += '\\';
      quoted += c;
    }
    return quoted + "\"";
  }
  return mail_format::header_text(name);
}

std::string mailbox_text(const std::string& address, const std::string& name) {
  if (name.empty()) return "<" + address + ">";
  return phrase(name) + " <" + address + ">";
}

std::string base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

std::string message_id_domain(const std::string& sender) {
  auto at = sender.rfind('@');
  if (at != std::string::npos && at + 1 < sender.size()) return sender.substr(at + 1);
  return "velmora.localdomain";
}

std::string new_message_id(const std::string& sender) {
  std::random_device random;
  char unique[64];
  std::snprintf(unique, sizeof unique, "%08x%08x%08x.%lld", random(), random(), random(),
                static_cast<long long>(std::time(nullptr)));
  std::string id = "<";
  id.append(unique).append("@").append(message_id_domain(sender)).append(">");
  return id;
}

// The host name for EHLO; empty leaves libcurl's default.
std::string local_host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  for (const char* p = name; *p; ++p) {
    if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '-' && *p != '.') return {};
  }
  return name;
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
  sender_ = address;
}

void MailSender::add_reply_to(const std::string& address, const std::optional<std::string>& name) {
  if (address.empty()) return;
  check_address(address);
  reply_to_.push_back({address, name.value_or("")});
}

void MailSender::set_sender_name(const std::string& name) { sender_name_ = name; }

void MailSender::set_subject(const std::string& subject) { subject_ = subject; }

void MailSender::add_recipient(const std::string& address, const std::optional<std::string>& name) {
  check_address(address);
  recipients_.push_back({address, name.value_or("")});
}

void MailSender::set_body(const std::string& body) { body_ = body; }

std::string MailSender::message_text(const std::string& message_id) const {
  auto join = [](const std::vector<Mailbox>& boxes) {
    std::string out;
    for (const auto& box : boxes) {
      if (!out.empty()) out += ",\r\n ";
      out += mailbox_text(box.address, box.name);
    }
    return out;
  };
  std::string text;
  text += "Date: " + mail_format::rfc5322_date(std::time(nullptr)) + "\r\n";
  text += "From: " + mailbox_text(sender_, sender_name_) + "\r\n";
  if (!reply_to_.empty()) text += "Reply-To: " + join(reply_to_) + "\r\n";
  text += "To: " + join(recipients_) + "\r\n";
  text += "Message-ID: " + message_id + "\r\n";
  text += "Subject: " + mail_format::header_text(subject_) + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  text += "Content-Transfer-Encoding: quoted-printable\r\n";
  text += "\r\n";
  text += mail_format::quoted_printable(body_);
  return text;
}

std::string MailSender::send() {
  if (sender_.empty()) refuse("no sender address");
  if (recipients_.empty()) refuse("no recipient");

  CURL* curl = static_cast<CURL*>(curl_.get());
  std::array<char, CURL_ERROR_SIZE> error{};
  Transfer transfer;
  // The handle points into this frame while options are set; whatever way
  // the call ends, the handle forgets those pointers first.
  struct ForgetOptions {
    CURL* curl;
    ~ForgetOptions() { curl_easy_reset(curl); }
  } forget_options{curl};
  const std::string message_id = new_message_id(sender_);
  transfer.payload = message_text(message_id);

  std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
  std::string url = "smtp://" + host + ":" + std::to_string(port_) + "/" + local_host_name();
  std::string mail_from = "<" + sender_ + ">";
  Slist rcpt;
  for (const auto& box : recipients_) {
    curl_slist* grown = curl_slist_append(rcpt.get(), ("<" + box.address + ">").c_str());
    if (!grown) throw Failure(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    rcpt.release();
    rcpt.reset(grown);
  }

  auto fail = [&](CURLcode code) {
    // libcurl's detail often ends in the same words as its general message;
    // then the detail alone says it all.
    std::string description = curl_easy_strerror(code);
    const std::string detail = error.data();
    if (detail.find(description) != std::string::npos)
      description = detail;
    else if (!detail.empty())
      description += ": " + detail;
    const std::string& reply = transfer.error_reply;
    if (!reply.empty() && description.find(reply) == std::string::npos) {
      description += " (server reply: " + reply + ")";
    }
    throw Failure(code, description);
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

namespace mail_format {

std::string header_text(const std::string& text) {
  if (is_printable_ascii(text) && text.find("=?") == std::string::npos && text.size() <= 900) {
    return text;
  }
  // 42 bytes give 56 base64 digits, a 68-character word that fits on the
  // Subject line within 78 characters.
  constexpr std::size_t kBytesPerWord = 42;
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(start + kBytesPerWord, text.size());
    // Never split a UTF-8 sequence: back off over continuation bytes.
    while (end < text.size() && end > start + 1 &&
           (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + base64(std::string_view(text).substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

std::string quoted_printable(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  auto escaped = [](unsigned char c) { return std::string{'=', kHex[c >> 4], kHex[c & 15]}; };
  std::string out;
  std::size_t line_start = 0;
  while (line_start < text.size()) {
    std::size_t line_end = text.find('\n', line_start);
    if (line_end == std::string::npos) line_end = text.size();
    std::size_t content_end = line_end;
    if (content_end > line_start && text[content_end - 1] == '\r') --content_end;

    std::size_t column = 0;
    for (std::size_t i = line_start; i < content_end; ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      bool last = i + 1 == content_end;
      std::string token;
      if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
        token = std::string(1, static_cast<char>(c));
      } else {
        token = escaped(c);
      }
      // A soft break "=" must still fit within 76 characters.
      if (column + token.size() > 75) {
        out += "=\r\n";
        column = 0;
      }
      out += token;
      column += token.size();
    }
    out += "\r\n";
    line_start = line_end + 1;
  }
  return out;
}

std::string rfc5322_date(std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&when, &local);
  long offset_minutes = local.tm_gmtoff / 60;
  char sign = offset_minutes < 0 ? '-' : '+';
  if (offset_minutes < 0) offset_minutes = -offset_minutes;
  char out[64];
  std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, sign, offset_minutes / 60,
                offset_minutes % 60);
  return out;
}

}  // namespace mail_format
}  // namespace velmora
