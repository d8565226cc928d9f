#pragma once

#include <ctime>
#include <string>
#include <vector>

// The format of a plain-text mail message (RFC 5322 with MIME), apart from
// any transport: pure functions of their arguments, except where a comment
// says otherwise.
namespace velmora::mail_format {

// An address with an optional display name (empty for none).
struct Mailbox {
  std::string address;
  std::string name;
};

// What a message says and to whom.
struct Message {
  Mailbox from;
  std::vector<Mailbox> reply_to;
  std::vector<Mailbox> to;
  std::string subject;  // any UTF-8 text
  std::string body;     // UTF-8 text; line ends LF or CRLF
};

// The whole message as it goes on the wire: Date (`date`, local time), From,
// Reply-To (when there is one), To, Message-ID `message_id`, Subject,
// MIME-Version, Content-Type text/plain; charset=UTF-8,
// Content-Transfer-Encoding quoted-printable, an empty line, the body.
// Header lines end in CRLF.
std::string message_text(const Message& message, const std::string& message_id, std::time_t date);

// A new, unique Message-ID in angle brackets, in the domain of `sender`'s
// address. Reads the system's random source and clock.
std::string new_message_id(const std::string& sender);

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

}  // namespace velmora::mail_format
