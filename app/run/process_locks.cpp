#include "app/run/process_locks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "core/clock.h"
#include "core/failure.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Fixed places, never taken from the environment: the nightly process reads
// none. /run/lock is the system's directory for lock files, emptied only at
// boot; /tmp serves where it is missing or read-only (containers).
constexpr const char* kLockDirectories[] = {"/run/lock", "/tmp"};

std::string lock_directory() {
  for (const char* dir : kLockDirectories) {
    if (access(dir, W_OK | X_OK) == 0) return dir;
  }
  return kLockDirectories[0];
}

// FNV-1a, 64 bits: a stable name for a key, the same in every build.
std::string hash_text(const std::string& text) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
  return out;
}

std::string server_key(const std::string& server) {
  constexpr std::string_view kEmbedded = "sqlite:";
  if (!server.starts_with(kEmbedded)) return server;
  std::error_code ec;
  fs::path dir = fs::absolute(server.substr(kEmbedded.size()), ec);
  if (!ec) {
    fs::path resolved = fs::weakly_canonical(dir, ec);
    if (!ec) dir = resolved;
  }
  std::string text = dir.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return std::string(kEmbedded) + text;
}

std::string lock_path(const Deployment& site, const char* kind) {
  return lock_directory() + "/velmora-" + hash_text(served_databases_key(site)) + "." + kind +
         ".lock";
}

// The files this process holds, for the termination handler below: fixed
// storage, since a signal handler may neither allocate nor lock.
constexpr int kMaxHeld = 4;
constexpr std::size_t kMaxPath = 256;
char g_held_paths[kMaxHeld][kMaxPath];
volatile sig_atomic_t g_held[kMaxHeld];

// A process ended by SIGTERM, SIGINT or SIGHUP (a session's logout) still
// removes its files, then ends by the same signal as before.
extern "C" void remove_held_files(int signal_number) {
  for (int i = 0; i < kMaxHeld; ++i) {
    if (g_held[i]) unlink(g_held_paths[i]);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void install_termination_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    // A handler that someone else installed is left alone.
    if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = remove_held_files;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

void remember_held(const std::string& path) {
  if (path.size() >= kMaxPath) return;
  install_termination_handler();
  for (int i = 0; i < kMaxHeld; ++i) {
    if (g_held[i]) continue;
    std::memcpy(g_held_paths[i], path.c_str(), path.size() + 1);
    g_held[i] = 1;
    return;
  }
}

void forget_held(const std::string& path) {
  for (int i = 0; i < kMaxHeld; ++i) {
    if (g_held[i] && path == g_held_paths[i]) g_held[i] = 0;
  }
}

[[noreturn]] void fail(const std::string& what, const std::string& path) {
  const int error = errno;
  throw Failure(error, "cannot " + what + " the lock file " + path + ": " + std::strerror(error));
}

std::string now_text() {
  const DateTime now = clock().now();
  return date_text(now) + " " + clock_text(now);
}

}  // namespace

std::optional<LockFile> LockFile::try_take(const std::string& path, const std::string& program) {
  // A holder removes its file as it lets go; a file opened just before that
  // is no longer the one at `path`, so the lock taken on it would guard
  // nothing. Then the new file is tried.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) fail("open", path);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
      const int error = errno;
      close(fd);
      if (error == EAGAIN || error == EACCES) return std::nullopt;
      errno = error;
      fail("lock", path);
    }
    struct stat held {
    }, named{};
    if (fstat(fd, &held) != 0 || stat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      close(fd);
      continue;
    }
    const LockHolder holder{getpid(), program, now_text(), "", ""};
    const std::string text = lock_file_text(holder);
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      const int error = errno;
      close(fd);
      errno = error;
      fail("write", path);
    }
    remember_held(path);
    return LockFile(fd, path, holder);
  }
  errno = EAGAIN;
  fail("lock", path);
}

LockFile::LockFile(LockFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), holder_(std::move(other.holder_)) {
  other.fd_ = -1;
}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    holder_ = std::move(other.holder_);
    other.fd_ = -1;
  }
  return *this;
}

LockFile::~LockFile() { release(); }

void LockFile::note_stage(std::string_view stage) noexcept {
  if (fd_ < 0) return;
  try {
    holder_.stage = std::string(stage);
    holder_.stage_since = now_text();
    const std::string text = lock_file_text(holder_);
    // Written over the old text in one write, then cut to its length: the
    // pid, program and since lines keep their place, so a reader that meets
    // the rewrite half-way can at worst misread the stage for that look.
    if (pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
      (void)ftruncate(fd_, static_cast<off_t>(text.size()));
    }
  } catch (...) {
  }
}

std::string lock_file_text(const LockHolder& holder) {
  std::ostringstream text;
  text << "pid=" << holder.pid << "\nprogram=" << holder.program << "\nsince=" << holder.since
       << "\n";
  if (!holder.stage.empty()) {
    text << "stage=" << holder.stage << "\nstage_since=" << holder.stage_since << "\n";
  }
  return text.str();
}

LockHolder parse_lock_file_text(const std::string& text) {
  LockHolder holder;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "pid") holder.pid = std::atol(value.c_str());
    if (key == "program") holder.program = value;
    if (key == "since") holder.since = value;
    if (key == "stage") holder.stage = value;
    if (key == "stage_since") holder.stage_since = value;
  }
  return holder;
}

void LockFile::release() noexcept {
  if (fd_ < 0) return;
  forget_held(path_);
  unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
}

std::optional<LockHolder> lock_holder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  const bool held = fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  std::string text;
  char buffer[512];
  ssize_t n;
  while (held && (n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(fd);
  if (!held) return std::nullopt;
  return parse_lock_file_text(text);
}

std::string served_databases_key(const Deployment& site) {
  return "source=" + server_key(site.source_server) +
         "\nconsulta=" + server_key(site.consulta_server);
}

std::string instance_lock_path(const Deployment& site) { return lock_path(site, "instance"); }
std::string run_lock_path(const Deployment& site) { return lock_path(site, "run"); }
std::string instance_lock_path() { return instance_lock_path(deployment()); }
std::string run_lock_path() { return run_lock_path(deployment()); }

}  // namespace velmora
