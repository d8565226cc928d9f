#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"

namespace velmora::testing {

// One message as the test server received it, with the fields that Python's
// email package decoded from it.
struct ReceivedMail {
  std::string mail_from;                       // envelope sender
  std::vector<std::string> rcpt_tos;           // envelope recipients
  std::string raw;                             // the data as received
  std::map<std::string, std::string> decoded;  // subject, body, from_name, ...
  // A decoded field, or "<no FIELD>" when the server wrote none.
  std::string field(const std::string& name) const;
};

// A real SMTP server on 127.0.0.1 (tools/smtp-test-server.py, aiosmtpd) in
// a child process, started on a free port and stopped on destruction.
// Throws std::runtime_error when it cannot be started.
class SmtpTestServer {
 public:
  enum class Mode {
    kAccept,           // accepts every message
    kRejectRecipient,  // answers every RCPT TO with 550
    kSilent,           // accepts the connection and never answers
  };
  explicit SmtpTestServer(Mode mode = Mode::kAccept);
  ~SmtpTestServer();
  SmtpTestServer(const SmtpTestServer&) = delete;
  SmtpTestServer& operator=(const SmtpTestServer&) = delete;

  int port() const { return port_; }
  // The messages received so far, in order of arrival.
  std::vector<ReceivedMail> messages() const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace velmora::testing
