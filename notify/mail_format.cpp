#include "notify/mail_format.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>

namespace velmora::mail_format {
namespace {

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
  return header_text(name);
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

}  // namespace

std::string new_message_id(const std::string& sender) {
  std::random_device random;
  char unique[64];
  std::snprintf(unique, sizeof unique, "%08x%08x%08x.%lld", random(), random(), random(),
                static_cast<long long>(std::time(nullptr)));
  std::string id = "<";
  id.append(unique).append("@").append(message_id_domain(sender)).append(">");
  return id;
}

std::string message_text(const Message& m, const std::string& message_id, std::time_t date) {
  auto join = [](const std::vector<Mailbox>& boxes) {
    std::string out;
    for (const auto& box : boxes) {
      if (!out.empty()) out += ",\r\n ";
      out += mailbox_text(box.address, box.name);
    }
    return out;
  };
  std::string text;
  text += "Date: " + rfc5322_date(date) + "\r\n";
  text += "From: " + mailbox_text(m.from.address, m.from.name) + "\r\n";
  if (!m.reply_to.empty()) text += "Reply-To: " + join(m.reply_to) + "\r\n";
  text += "To: " + join(m.to) + "\r\n";
  text += "Message-ID: " + message_id + "\r\n";
  text += "Subject: " + header_text(m.subject) + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  text += "Content-Transfer-Encoding: quoted-printable\r\n";
  text += "\r\n";
  text += quoted_printable(m.body);
  return text;
}

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

}  // namespace velmora::mail_format
