#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/deployment.h"

// The locks that keep one nightly process, and one run, per set of
// databases on this machine. Both are kernel record locks (open file
// description locks, fcntl F_OFD_SETLK) on small files in a directory of the
// account's own, /run/lock/velmora-<uid> (/tmp/velmora-<uid> where /run/lock
// cannot be written), which no other account can write: the kernel drops
// them when their holder ends, however it ends, so a crash never leaves a
// stale lock. A lock counts whichever account holds it: taking one looks
// into the other accounts' directories too, and only files owned by the
// account a directory is named for are believed. The file names carry a
// hash of the databases served, so processes that serve different databases
// (the end-to-end tests run many at once) never meet.
// A holder removes its file when it lets go, and also when SIGTERM, SIGINT
// or SIGHUP ends it (unless the process has handlers of its own for them);
// a file left by a crash is harmless, as nobody holds its lock.
//
//   instance lock: held by the nightly process from its start to its end;
//   run lock:      held by whoever changes the consultation tables: the
//                  nightly process during its run, velmora-ctl during
//                  run-now, restore and seed.
namespace velmora {

// What a lock file says about the process that holds it.
struct LockHolder {
  long pid = 0;
  std::string program;  // e.g. "velmora" or "velmora-ctl run-now"
  std::string since;    // local time at which it was taken, "yyyy-mm-dd HH:MM:SS"
  // What the holder is doing, as it last noted it ("" when it noted
  // nothing), and the local time at which it noted it.
  std::string stage;
  std::string stage_since;
};

// The stages a run's lock holder notes (LockFile::note_stage).
namespace lock_stage {
// Sending the failure notice.
inline constexpr std::string_view kFailureNotice = "failure notice";
// The box that says the failure notice could not be sent waits for OK.
inline constexpr std::string_view kMailFailureBox = "mail-failure box";
// The run's end row and the closing of its connections.
inline constexpr std::string_view kEndRow = "end row";
}  // namespace lock_stage

// The text of a lock file for `holder`: one "key=value" line each for pid,
// program and since, then stage and stage_since when a stage is noted.
std::string lock_file_text(const LockHolder& holder);
// The holder that `text` describes; unknown lines and keys are ignored.
LockHolder parse_lock_file_text(const std::string& text);

// A lock held on one file while the object lives. Move-only.
class LockFile {
 public:
  // Takes the lock on `path` without waiting and writes the holder's
  // description (this process's pid, `program`, the clock's time) into the
  // file. Returns nullopt when another holder has it, in any account.
  // Throws Failure (the errno and a description naming the file) when the
  // file cannot be created or locked, and when its directory or the file is
  // not this account's own (another account's directory, a symbolic link):
  // nothing is then written.
  static std::optional<LockFile> try_take(const std::string& path, const std::string& program);

  LockFile(LockFile&& other) noexcept;
  LockFile& operator=(LockFile&& other) noexcept;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  // Removes the file, then lets the lock go.
  ~LockFile();

  const std::string& path() const { return path_; }

  // Rewrites the file with `stage` and the clock's time, so that status can
  // tell where a run stands. Never throws: a stage that cannot be written
  // leaves the previous text.
  void note_stage(std::string_view stage) noexcept;

 private:
  LockFile(int fd, std::string path, LockHolder holder)
      : fd_(fd), path_(std::move(path)), holder_(std::move(holder)) {}
  void release() noexcept;

  int fd_ = -1;
  std::string path_;
  LockHolder holder_;
};

// The holder of the lock on `path`, or of the lock of the same name in
// another account's directory, or nullopt when nobody holds it (no file, or
// one left by a process that has ended). Never throws: a file that cannot
// be read, or that is not owned by the account of its directory, counts as
// not held. A lock is seen as held even by the process holding it. For
// another account's holder, `program` ends with ", of account NAME (uid N)",
// and `pid` is 0 unless it is a process of that account.
std::optional<LockHolder> lock_holder(const std::string& path);

// Tests only: the directory in which the accounts' lock directories are made,
// instead of /run/lock; an empty text restores it.
void set_lock_base_for_testing(const std::string& directory);

// The databases that `site` serves, as one text: both servers, an embedded
// directory made absolute and free of symbolic links, so that "sqlite:." in
// two working directories gives two keys and two spellings of one directory
// give one.
std::string served_databases_key(const Deployment& site);

// The lock files of the deployment in use.
std::string instance_lock_path();
std::string run_lock_path();
// The same for `site`.
std::string instance_lock_path(const Deployment& site);
std::string run_lock_path(const Deployment& site);

}  // namespace velmora
