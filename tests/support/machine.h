#pragma once

#include <string>

namespace velmora::testing {

// True when the tests run in CI (CI=true): there a test that cannot run on
// the machine fails instead of being skipped, so that a runner that lost a
// capability shows up red rather than quietly testing less.
bool every_test_must_run();

// Writes "cannot run here: <missing>" as one line of the test's output (the
// test command lists these lines after the suite) and returns the line.
std::string cannot_run_here(const std::string& missing);

}  // namespace velmora::testing

// Ends the test (from a test body or SetUp) as skipped, or in CI as failed,
// naming what the machine lacks.
#define VELMORA_CANNOT_RUN_HERE(missing)                                           \
  do {                                                                             \
    const std::string velmora_line = ::velmora::testing::cannot_run_here(missing); \
    if (::velmora::testing::every_test_must_run()) FAIL() << velmora_line;         \
    GTEST_SKIP() << velmora_line;                                                  \
  } while (false)
