#include "app/run/process_locks.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>

#include "core/clock.h"
#include "core/failure.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// Fixed places, never taken from the environment: the nightly process reads
// none. /run/lock is the system's directory for lock files, emptied only at
// boot; /tmp serves where it is missing or read-only (containers). Both are
// open to every account, so no lock file lives in them directly: each
// account keeps its lock files in a directory of its own inside,
// "velmora-<uid>", which only that account can write. A file there can be
// neither planted nor replaced by a link by another account.
constexpr const char* kLockBases[] = {"/run/lock", "/tmp"};
std::string g_base_for_testing;

// The first base that every account may write in (mode 1777, not mounted
// read-only): the choice must not depend on who asks, or root's tool and
// the operator's nightly process would look in two places.
std::string lock_base() {
  if (!g_base_for_testing.empty()) return g_base_for_testing;
  for (const char* dir : kLockBases) {
    struct stat st {};
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 01777) == 01777 &&
        access(dir, W_OK | X_OK) == 0) {
      return dir;
    }
  }
  return kLockBases[0];
}

constexpr std::string_view kAccountDirectoryPrefix = "velmora-";

std::string lock_directory() {
  return lock_base() + "/" + std::string(kAccountDirectoryPrefix) + std::to_string(geteuid());
}

// The uid that an account's lock directory is named for, or nullopt for any
// other name.
std::optional<uid_t> uid_named_by(std::string_view directory_name) {
  if (!directory_name.starts_with(kAccountDirectoryPrefix)) return std::nullopt;
  const std::string_view digits = directory_name.substr(kAccountDirectoryPrefix.size());
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  unsigned long long uid = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    uid = uid * 10 + static_cast<unsigned>(c - '0');
  }
  return static_cast<uid_t>(uid);
}

// "account nobody (uid 65534)", read from the account database.
std::string account_text(uid_t uid) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  std::string text = "account ";
  if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
    text += std::string(found->pw_name) + " ";
  }
  return text + "(uid " + std::to_string(uid) + ")";
}

// The account that a directory's lock files are trusted to come from: the
// one it is named for, when it is owned by that account; for a directory of
// any other name (a test's own), this process's own when it owns it.
std::optional<uid_t> trusted_owner(const struct stat& directory, std::string_view name) {
  const std::optional<uid_t> named = uid_named_by(name);
  const uid_t expected = named ? *named : geteuid();
  if (!S_ISDIR(directory.st_mode) || directory.st_uid != expected) return std::nullopt;
  return expected;
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

[[noreturn]] void refuse(const std::string& place, const std::string& why) {
  throw Failure(EPERM, "the lock place " + place + " " + why +
                           "; velmora neither writes there nor follows it (as root, remove it "
                           "and start again)");
}

// Closes a descriptor when it goes.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int f) : fd(f) {}
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int release() { return std::exchange(fd, -1); }
};

// Opens this account's lock directory `dir`, making it when missing. It must
// be a directory (not a link to one) owned by this account; write access
// for anyone else is taken away.
int open_own_directory(const std::string& dir) {
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) fail("make the directory of", dir);
  Descriptor fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.fd < 0) {
    if (errno == ELOOP || errno == ENOTDIR) {
      refuse(dir, "is not a directory but a link or a file, made by another account or program");
    }
    fail("open the directory of", dir);
  }
  struct stat st {};
  if (fstat(fd.fd, &st) != 0) fail("examine the directory of", dir);
  if (st.st_uid != geteuid()) {
    refuse(dir,
           "belongs to " + account_text(st.st_uid) + ", not to this " + account_text(geteuid()));
  }
  // Others may read it (the other accounts' processes look for its locks)
  // but not write in it, whatever the umask made of it.
  if ((st.st_mode & 07777) != 0755 && fchmod(fd.fd, 0755) != 0) {
    fail("protect the directory of", dir);
  }
  return fd.release();
}

std::string file_name(const std::string& path) { return fs::path(path).filename().string(); }
std::string directory_of(const std::string& path) { return fs::path(path).parent_path().string(); }

// At most `limit` printable characters of a text read from a file that
// another account may have written.
std::string printable(const std::string& text, std::size_t limit) {
  std::string out;
  for (unsigned char c : text) {
    if (out.size() == limit) break;
    if (c >= 0x20 && c != 0x7f) out += static_cast<char>(c);
  }
  return out;
}

// The holder of the lock on `name` in the directory open as `dir_fd`, whose
// files are trusted to come from `owner`, or nullopt when nobody holds it.
std::optional<LockHolder> holder_in(int dir_fd, const std::string& name, uid_t owner) {
  Descriptor fd(openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.fd < 0) return std::nullopt;
  struct stat st {};
  // Only a regular file of the directory's own account counts.
  if (fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != owner) return std::nullopt;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd.fd, F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK) return std::nullopt;
  std::string text;
  char buffer[512];
  ssize_t n;
  while (text.size() < 4096 && (n = read(fd.fd, buffer, sizeof buffer)) > 0) text.append(buffer, n);
  LockHolder holder = parse_lock_file_text(text);
  if (owner == geteuid()) return holder;
  // Another account's file says what that account wrote: the account is
  // named from the file's owner, and the pid is kept only while it is a
  // process of that account.
  holder.program = printable(holder.program, 80) + ", of " + account_text(owner);
  holder.since = printable(holder.since, 19);
  holder.stage = printable(holder.stage, 40);
  holder.stage_since = printable(holder.stage_since, 19);
  struct stat process {};
  const std::string proc = "/proc/" + std::to_string(holder.pid);
  if (holder.pid <= 0 || stat(proc.c_str(), &process) != 0 || process.st_uid != owner) {
    if (holder.pid != 0) {
      holder.program += " (its pid " + std::to_string(holder.pid) + " is no process of it)";
    }
    holder.pid = 0;
  }
  return holder;
}

// The holder of the lock on `path` itself, when its directory is trusted.
std::optional<LockHolder> holder_at(const std::string& path) {
  const std::string dir = directory_of(path);
  Descriptor dir_fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (dir_fd.fd < 0 || fstat(dir_fd.fd, &st) != 0) return std::nullopt;
  const std::optional<uid_t> owner = trusted_owner(st, fs::path(dir).filename().string());
  if (!owner) return std::nullopt;
  return holder_in(dir_fd.fd, file_name(path), *owner);
}

// The holder of the lock of the same name in the lock directory of any other
// account: the nightly process and the tool of every account on this
// machine meet on the same databases. Only for a path in an account's lock
// directory.
std::optional<LockHolder> holder_in_other_accounts(const std::string& path) {
  const fs::path dir = fs::path(path).parent_path();
  const std::string own = dir.filename().string();
  if (!uid_named_by(own)) return std::nullopt;
  const std::string base = dir.parent_path().string();
  Descriptor base_fd(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (base_fd.fd < 0) return std::nullopt;
  DIR* listing = fdopendir(dup(base_fd.fd));
  if (!listing) return std::nullopt;
  std::optional<LockHolder> found;
  while (!found) {
    const struct dirent* entry = readdir(listing);
    if (!entry) break;
    const std::string name = entry->d_name;
    if (name == own || !uid_named_by(name)) continue;
    Descriptor other(
        openat(base_fd.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (other.fd < 0 || fstat(other.fd, &st) != 0) continue;
    if (const std::optional<uid_t> owner = trusted_owner(st, name)) {
      found = holder_in(other.fd, file_name(path), *owner);
    }
  }
  closedir(listing);
  return found;
}

std::string now_text() {
  const DateTime now = clock().now();
  return date_text(now) + " " + clock_text(now);
}

}  // namespace

std::optional<LockFile> LockFile::try_take(const std::string& path, const std::string& program) {
  const std::string name = file_name(path);
  const Descriptor dir(open_own_directory(directory_of(path)));
  // A holder removes its file as it lets go; a file opened just before that
  // is no longer the one at `path`, so the lock taken on it would guard
  // nothing. Then the new file is tried.
  for (int attempt = 0; attempt < 10; ++attempt) {
    Descriptor fd(
        openat(dir.fd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (fd.fd < 0) {
      if (errno == ELOOP) refuse(path, "is a symbolic link");
      fail("open", path);
    }
    struct stat held {};
    if (fstat(fd.fd, &held) != 0) fail("examine", path);
    if (!S_ISREG(held.st_mode) || held.st_uid != geteuid() || held.st_nlink != 1) {
      refuse(path, "is not a file of this account's own");
    }
    // Readable by all, whatever the umask, so that other accounts see it.
    if ((held.st_mode & 07777) != 0644 && fchmod(fd.fd, 0644) != 0) fail("protect", path);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd.fd, F_OFD_SETLK, &lock) != 0) {
      if (errno == EAGAIN || errno == EACCES) return std::nullopt;
      fail("lock", path);
    }
    struct stat named {};
    if (fstatat(dir.fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
      continue;
    }
    // One holder per set of databases on this machine, whichever account
    // runs it: a lock of the same name held by another account wins, and
    // this one is let go again.
    if (holder_in_other_accounts(path)) {
      unlinkat(dir.fd, name.c_str(), 0);
      return std::nullopt;
    }
    const LockHolder holder{getpid(), program, now_text(), "", ""};
    const std::string text = lock_file_text(holder);
    if (ftruncate(fd.fd, 0) != 0 ||
        pwrite(fd.fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      fail("write", path);
    }
    remember_held(path);
    return LockFile(fd.release(), path, holder);
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
  if (std::optional<LockHolder> holder = holder_at(path)) return holder;
  return holder_in_other_accounts(path);
}

void set_lock_base_for_testing(const std::string& directory) { g_base_for_testing = directory; }

std::string served_databases_key(const Deployment& site) {
  return "source=" + server_key(site.source_server) +
         "\nconsulta=" + server_key(site.consulta_server);
}

std::string instance_lock_path(const Deployment& site) { return lock_path(site, "instance"); }
std::string run_lock_path(const Deployment& site) { return lock_path(site, "run"); }
std::string instance_lock_path() { return instance_lock_path(deployment()); }
std::string run_lock_path() { return run_lock_path(deployment()); }

}  // namespace velmora
