#include "tests/support/smtp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

// The checkout's root, two levels above this file.
fs::path source_root() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

// aiosmtpd comes from Debian's package, which only the system's own
// interpreter sees (a python3 earlier in PATH may be another one).
std::string python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

const char* mode_name(SmtpTestServer::Mode mode) {
  switch (mode) {
    case SmtpTestServer::Mode::kAccept:
      return "accept";
    case SmtpTestServer::Mode::kRejectRecipient:
      return "reject";
    case SmtpTestServer::Mode::kSilent:
      return "silent";
  }
  return "?";
}

}  // namespace

std::string ReceivedMail::field(const std::string& name) const {
  auto it = decoded.find(name);
  return it == decoded.end() ? "<no " + name + ">" : it->second;
}

SmtpTestServer::SmtpTestServer(Mode mode) {
  std::string interpreter = python();
  std::string script = (source_root() / "tools" / "smtp-test-server.py").string();
  std::string mode_text = mode_name(mode);
  std::string directory = dir_.path();
  std::vector<char*> argv{interpreter.data(), script.data(), mode_text.data(), directory.data(),
                          nullptr};
  if (posix_spawnp(&pid_, interpreter.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start " + interpreter + " " + script);
  }
  const fs::path port_file = fs::path(directory) / "port";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(port_file)) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error(
          "the SMTP test server ended before listening (is python3-aiosmtpd "
          "installed?)");
    }
    if (std::chrono::steady_clock::now() > deadline) {
      // The destructor does not run for a constructor that throws.
      kill(pid_, SIGTERM);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      throw std::runtime_error("the SMTP test server did not start listening within 20 s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  port_ = std::stoi(read_file(port_file));
}

SmtpTestServer::~SmtpTestServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::vector<ReceivedMail> SmtpTestServer::messages() const {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && name.starts_with("message-") && !name.ends_with(".tmp")) {
      folders.push_back(entry.path());
    }
  }
  std::sort(folders.begin(), folders.end());
  std::vector<ReceivedMail> out;
  for (const auto& folder : folders) {
    ReceivedMail mail;
    for (const auto& file : fs::directory_iterator(folder)) {
      const std::string name = file.path().filename().string();
      const std::string text = read_file(file.path());
      if (name == "mail_from")
        mail.mail_from = text;
      else if (name == "rcpt_tos")
        mail.rcpt_tos = lines(text);
      else if (name == "raw")
        mail.raw = text;
      else
        mail.decoded[name] = text;
    }
    out.push_back(std::move(mail));
  }
  return out;
}

}  // namespace velmora::testing
