#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "app/run/nightly_run.h"
#include "app/run/process_locks.h"
#include "tests/app/run_fixture.h"
#include "transfer/frmatualizacao.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOtherAccount = "velmora-other";

// The account that stands for another local user: made once (system
// account, no home, no login), left for the next run.
std::optional<passwd> other_account() {
  if (const passwd* found = getpwnam(kOtherAccount)) return *found;
  const std::string command = std::string("useradd --system --no-create-home --shell ") +
                              "/usr/sbin/nologin " + kOtherAccount + " 2>/dev/null";
  (void)std::system(command.c_str());  // another test process may have made it meanwhile
  if (const passwd* found = getpwnam(kOtherAccount)) return *found;
  return std::nullopt;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A process of the other account that does `plant` (system calls only: it
// runs in a child of a threaded process), then stays, holding whatever locks
// it took, until the object goes.
class OtherAccountProcess {
 public:
  OtherAccountProcess(const passwd& account, const std::function<bool()>& plant) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      const bool ok = setgroups(0, nullptr) == 0 && setgid(account.pw_gid) == 0 &&
                      setuid(account.pw_uid) == 0 && plant();
      const char answer = ok ? 'y' : 'n';
      (void)!write(ready[1], &answer, 1);
      char byte;
      (void)!read(release[0], &byte, 1);
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char answer = 'n';
    planted_ = read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
  }
  ~OtherAccountProcess() {
    close(release_);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  bool planted() const { return planted_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool planted_ = false;
};

// Takes an open file description lock on `fd` and writes `text` into it.
bool lock_and_write(int fd, const char* text) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return fd >= 0 && fcntl(fd, F_OFD_SETLK, &lock) == 0 &&
         write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
}

constexpr const char* kMadeUpHolder = "pid=1\nprogram=velmora\nsince=2026-01-01 00:30:00\n";

// This process (root, as in CI) and another local account share the lock
// base: a scratch directory open to all, as /run/lock is.
class ForeignAccountLocks : public RunTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second account";
    account_ = other_account();
    if (!account_) GTEST_SKIP() << "cannot make the account " << kOtherAccount;
    RunTest::SetUp();
    chmod(base_.path().c_str(), 01777);
    chmod(victim_dir_.path().c_str(), 0755);
    set_lock_base_for_testing(base_.path());
    victim_ = victim_dir_.path() + "/secret";
    std::ofstream(victim_) << "root's own\n";
    chmod(victim_.c_str(), 0600);
    path_ = run_lock_path();
    own_dir_ = fs::path(path_).parent_path().string();
    other_dir_ = base_.path() + "/velmora-" + std::to_string(account_->pw_uid);
    planted_lock_ = own_dir_ + "/" + fs::path(path_).filename().string();
    other_lock_ = other_dir_ + "/" + fs::path(path_).filename().string();
    theirs_ = base_.path() + "/theirs";
    theirs_lock_ = theirs_ + "/" + fs::path(path_).filename().string();
  }
  void TearDown() override {
    set_lock_base_for_testing("");
    RunTest::TearDown();
  }
  std::string account_text() const {
    return "account " + std::string(kOtherAccount) + " (uid " + std::to_string(account_->pw_uid) +
           ")";
  }

  std::optional<passwd> account_;
  TempDir base_, victim_dir_;
  std::string victim_, path_, own_dir_, other_dir_, planted_lock_, other_lock_, theirs_,
      theirs_lock_;
};

// The other account occupies the place of this account's lock directory:
// nothing is written there or through it, the refusal names what is wrong,
// and the night still runs.
TEST_P(ForeignAccountLocks, APlantedPlaceIsNeitherFollowedNorWrittenAndTheNightStillRuns) {
  const struct {
    const char* what;
    std::function<bool()> plant;
    const char* refusal;
  } cases[] = {
      {"a link to a directory of its own with a link to root's file",
       [&] {
         return mkdir(theirs_.c_str(), 0755) == 0 &&
                symlink(victim_.c_str(), theirs_lock_.c_str()) == 0 &&
                symlink(theirs_.c_str(), own_dir_.c_str()) == 0;
       },
       "is not a directory but a link"},
      {"a directory of its own with a link to root's file",
       [&] {
         return mkdir(own_dir_.c_str(), 0777) == 0 && chmod(own_dir_.c_str(), 0777) == 0 &&
                symlink(victim_.c_str(), planted_lock_.c_str()) == 0;
       },
       "belongs to "},
      {"a directory of its own with a file it holds locked",
       [&] {
         return mkdir(own_dir_.c_str(), 0777) == 0 && chmod(own_dir_.c_str(), 0777) == 0 &&
                lock_and_write(open(planted_lock_.c_str(), O_RDWR | O_CREAT, 0666), kMadeUpHolder);
       },
       "belongs to "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(own_dir_);
    fs::remove_all(theirs_);
    OtherAccountProcess other(*account_, c.plant);
    ASSERT_TRUE(other.planted());

    try {
      (void)LockFile::try_take(path_, "velmora-ctl run-now");
      ADD_FAILURE() << "the lock was taken";
    } catch (const Failure& f) {
      EXPECT_NE(f.description().find(c.refusal), std::string::npos) << f.description();
      EXPECT_NE(f.description().find(own_dir_), std::string::npos) << f.description();
    }
    EXPECT_FALSE(lock_holder(path_)) << "a file in a directory not of its account's own";

    // The night runs (without the lock, said on standard error).
    frmatualizacao.last_run_date.reset();
    tempo_Timer();
    EXPECT_EQ(frmatualizacao.erro_execucao, " SEM ERRO");
    EXPECT_TRUE(reports.empty()) << reports.front();
    EXPECT_EQ(read_text(victim_), "root's own\n");
    struct stat st {};
    ASSERT_EQ(stat(victim_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, 0u);
    fresh_databases();
  }
  fs::remove_all(own_dir_);
  // With the place free again, the lock directory is this account's own,
  // and other accounts can read it and its files whatever the umask.
  const mode_t umask_before = umask(077);
  auto lock = LockFile::try_take(path_, "velmora-ctl run-now");
  umask(umask_before);
  ASSERT_TRUE(lock);
  struct stat dir {
  }, file{};
  ASSERT_EQ(lstat(own_dir_.c_str(), &dir), 0);
  EXPECT_TRUE(S_ISDIR(dir.st_mode));
  EXPECT_EQ(dir.st_mode & 07777, 0755u);
  EXPECT_EQ(dir.st_uid, geteuid());
  ASSERT_EQ(lstat(path_.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 07777, 0644u);
}

// A lock that the other account holds in its own directory counts (one run
// per set of databases on the machine), and the night that it keeps from
// running is reported with the account named by the file's owner, not by
// what the file claims.
TEST_P(ForeignAccountLocks, AnotherAccountsLockCountsAndNamesThatAccount) {
  for (const bool claims_itself : {false, true}) {
    SCOPED_TRACE(claims_itself ? "it names its own pid" : "it names pid 1");
    fs::remove_all(other_dir_);
    OtherAccountProcess other(*account_, [&] {
      if (mkdir(other_dir_.c_str(), 0755) != 0) return false;
      const int fd = open(other_lock_.c_str(), O_RDWR | O_CREAT, 0644);
      if (!claims_itself) return lock_and_write(fd, kMadeUpHolder);
      char text[96];
      snprintf(text, sizeof text, "pid=%d\nprogram=velmora\nsince=2026-12-08 00:00:01\n",
               static_cast<int>(getpid()));
      return lock_and_write(fd, text);
    });
    ASSERT_TRUE(other.planted());

    EXPECT_FALSE(LockFile::try_take(path_, "velmora-ctl run-now"));
    const std::optional<LockHolder> holder = lock_holder(path_);
    ASSERT_TRUE(holder);
    if (claims_itself) {
      EXPECT_EQ(holder->pid, other.pid());
      EXPECT_EQ(holder->program, "velmora, of " + account_text());
    } else {
      EXPECT_EQ(holder->pid, 0);
      EXPECT_EQ(holder->program,
                "velmora, of " + account_text() + " (its pid 1 is no process of it)");
    }

    reports.clear();
    frmatualizacao.last_run_date.reset();
    StatementFaults recorder;
    tempo_Timer();
    EXPECT_TRUE(recorder.statements().empty()) << "the night is left out";
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("velmora, of " + account_text()), std::string::npos) << reports[0];
    // Nothing was left of this account's attempt.
    EXPECT_FALSE(fs::exists(fs::path(own_dir_) / fs::path(path_).filename()));
  }
  // Once that process has ended, its file counts for nothing.
  EXPECT_FALSE(lock_holder(path_));
  EXPECT_TRUE(LockFile::try_take(path_, "velmora-ctl run-now"));
}

INSTANTIATE_TEST_SUITE_P(Embedded, ForeignAccountLocks, ::testing::Values(Backend::kEmbedded),
                         BackendName);

}  // namespace
}  // namespace velmora::testing
