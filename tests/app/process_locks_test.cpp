#include "app/run/process_locks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/fixtures.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

TEST(ProcessLocks, ALockIsHeldUntilLetGoAndItsFileGoesWithIt) {
  TempDir dir;
  const std::string path = dir.path() + "/x.lock";
  auto first = LockFile::try_take(path, "velmora");
  ASSERT_TRUE(first);
  // Open file description locks meet even inside one process.
  EXPECT_FALSE(LockFile::try_take(path, "velmora-ctl run-now"));
  const auto holder = lock_holder(path);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->pid, getpid());
  EXPECT_EQ(holder->program, "velmora");

  first.reset();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(lock_holder(path));
  // A file that a crashed holder left behind is nobody's lock.
  std::ofstream(path) << "pid=1\nprogram=velmora\n";
  EXPECT_FALSE(lock_holder(path));
  EXPECT_TRUE(LockFile::try_take(path, "velmora"));
}

TEST(ProcessLocks, TheKeyNamesTheDatabasesServedWhateverTheirSpelling) {
  TempDir dir;
  fs::create_directory(dir.path() + "/data");
  fs::create_directory_symlink(dir.path() + "/data", dir.path() + "/link");
  auto key = [](const std::string& source, const std::string& consulta) {
    Deployment site;
    site.source_server = source;
    site.consulta_server = consulta;
    return served_databases_key(site);
  };
  const std::string data = "sqlite:" + dir.path() + "/data";
  const std::string same = key(data, data);
  EXPECT_EQ(key(data + "/", data), same);
  EXPECT_EQ(key("sqlite:" + dir.path() + "/link", data), same);
  EXPECT_EQ(key("sqlite:" + dir.path() + "/data/../data", data), same);
  EXPECT_NE(key("sqlite:" + dir.path(), data), same);
  EXPECT_NE(key(data, "db.example.org,1433"), same);
  EXPECT_EQ(key("sqlite:.", "sqlite:."),
            key("sqlite:" + fs::current_path().string(), "sqlite:" + fs::current_path().string()));

  Deployment a, b;
  a.source_server = a.consulta_server = data;
  b.source_server = b.consulta_server = "sqlite:" + dir.path();
  EXPECT_NE(instance_lock_path(a), instance_lock_path(b));
  EXPECT_NE(instance_lock_path(a), run_lock_path(a));
}

TEST(ProcessLocks, TheFileTellsTheHolderAndTheStageItNotedLast) {
  TempDir dir;
  const std::string path = dir.path() + "/x.lock";
  FakeClock clock;
  set_clock(&clock);
  auto lock = LockFile::try_take(path, "velmora");
  ASSERT_TRUE(lock);
  EXPECT_EQ(lock_holder(path)->stage, "");
  clock.set(2026, 12, 8, 0, 31, 0);
  lock->note_stage(lock_stage::kMailFailureBox);
  lock->note_stage(lock_stage::kEndRow);
  const auto holder = lock_holder(path);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->pid, getpid());
  EXPECT_EQ(holder->program, "velmora");
  EXPECT_EQ(holder->stage, "end row");
  EXPECT_EQ(holder->since, "2026-12-08 00:30:00");
  EXPECT_EQ(holder->stage_since, "2026-12-08 00:31:00");
  // A longer stage written over by a shorter one leaves no tail behind.
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(text, lock_file_text(*holder));
  set_clock(nullptr);

  const LockHolder read = parse_lock_file_text(
      "pid=12\nprogram=velmora-ctl run-now\nsince=2026-12-08 00:30:00\nstage=mail-failure "
      "box\nstage_since=2026-12-08 00:31:02\nlater=ignored\nbox\n");
  EXPECT_EQ(lock_file_text(read),
            "pid=12\nprogram=velmora-ctl run-now\nsince=2026-12-08 00:30:00\nstage=mail-failure "
            "box\nstage_since=2026-12-08 00:31:02\n");
}

}  // namespace
}  // namespace velmora::testing
