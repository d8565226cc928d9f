#include "ctl/smtp_greeting.h"

#include <curl/curl.h>

#include <array>
#include <memory>

#include "core/failure.h"
#include "notify/mail_sender.h"

namespace velmora::ctl {
namespace {

struct CurlCleanup {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};

// The server's last error reply, seen through libcurl's debug hook.
int watch_replies(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.starts_with('4') || line.starts_with('5')) *static_cast<std::string*>(user) = line;
  return 0;
}

}  // namespace

void greet_mail_server(const std::string& host, int port, std::chrono::milliseconds timeout) {
  static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (initialised != CURLE_OK) throw Failure(initialised, curl_easy_strerror(initialised));
  std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
  if (!curl) throw Failure(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));

  std::array<char, CURL_ERROR_SIZE> error{};
  std::string reply;
  const std::string bracketed = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  const std::string url =
      "smtp://" + bracketed + ":" + std::to_string(port) + "/" + ehlo_host_name();
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error.data());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  // libcurl's connection phase of SMTP is the greeting and EHLO; it stops
  // there and sends QUIT when the handle is cleaned up.
  curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &watch_replies);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &reply);
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
  const CURLcode code = curl_easy_perform(c);
  if (code == CURLE_OK) return;
  throw Failure(code, curl_failure_description(code, error.data(), reply));
}

}  // namespace velmora::ctl
