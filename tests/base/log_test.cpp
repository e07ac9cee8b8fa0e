#include "base/log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct VerbosityGuard {
  explicit VerbosityGuard(int32_t v) : saved(verbosity) { verbosity = v; }
  ~VerbosityGuard() { verbosity = saved; }
  int32_t saved;
};

std::string progress_output(int32_t level) {
  VerbosityGuard guard(level);
  testing::internal::CaptureStderr();
  log_progress("collecting kernel");
  log_progress("sampling counters for %d ms", 1000);
  return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(LogProgress, SilentWithoutVerbose) { EXPECT_EQ(progress_output(0), ""); }

TEST(LogProgress, PrefixedLinesWithVerbose) {
  std::string expect = "kelvane: collecting kernel\nkelvane: sampling counters for 1000 ms\n";
  EXPECT_EQ(progress_output(1), expect);
  EXPECT_EQ(progress_output(3), expect);
}

TEST(FatalDeathTest, PrintsAndExitsWithStatus2) {
  EXPECT_EXIT(fatal("out of memory allocating %zu bytes", size_t{262144}),
              ::testing::ExitedWithCode(2), "^kelvane: fatal: out of memory allocating 262144 bytes\n$");
}
