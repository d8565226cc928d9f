#pragma once

#include <chrono>
#include <string>

namespace velmora::ctl {

// Connects to the mail server at `host`:`port`, waits for its greeting,
// says EHLO and then QUIT: no message is sent. Throws Failure with the
// libcurl result code and its description (with the server's error reply
// where there is one) when any of it fails or takes longer than `timeout`.
void greet_mail_server(const std::string& host, int port, std::chrono::milliseconds timeout);

}  // namespace velmora::ctl
