// The real runner on real child processes: output of both streams, exit
// statuses that do not matter, and tools that hang.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <string>

#include "measure/run_tool.h"
#include "test_util.h"

namespace {

class RunToolTest : public ArenaTest {
 protected:
  bool sh(const char* script, ToolLimits limits = {10000, 1000}) {
    const char* argv[] = {"/bin/sh", "-c", script, nullptr};
    out = kNoneView;
    auto start = std::chrono::steady_clock::now();
    ToolRun r = {};
    bool ok = run_tool_within(&arena, argv, limits, &r);
    out = r.out, signal = r.signal;
    elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count();
    return ok;
  }
  StrView out{};
  int signal = 0;
  long long elapsed_ms = 0;
};

TEST_F(RunToolTest, BothStreamsThroughOnePipeWhateverTheExitStatus) {
  ASSERT_TRUE(sh("echo out; echo err >&2; exit 3"));
  EXPECT_EQ(str(out), "out\nerr\n");
  EXPECT_FALSE(sh("exit 0"));
  EXPECT_FALSE(sv_present(out));
}

TEST_F(RunToolTest, ProgramThatCannotBeExecuted) {
  const char* argv[] = {"/nonexistent/kelvane-tool", "-q", nullptr};
  ToolRun r = {};
  EXPECT_FALSE(run_tool(&arena, argv, 1, &r));
  const char* none[] = {nullptr};
  EXPECT_FALSE(run_tool(&arena, none, 1, &r));
}

TEST_F(RunToolTest, OutputLargerThanTheFirstBuffer) {
  ASSERT_TRUE(sh("head -c 1000000 /dev/zero | tr '\\0' x"));
  EXPECT_EQ(out.len, 1000000u);
  EXPECT_EQ(out.ptr[999999], 'x');
}

TEST_F(RunToolTest, ToolThatNeverWritesIsStoppedAtTheDeadline) {
  EXPECT_FALSE(sh("exec sleep 30", {300, 300}));
  EXPECT_GE(elapsed_ms, 300);
  EXPECT_LT(elapsed_ms, 300 + 300 + 1000);
}

TEST_F(RunToolTest, ToolIgnoringSigtermIsKilledAfterTheGrace) {
  // The ignored SIGTERM survives the exec, so sleep itself ignores it.
  ASSERT_TRUE(sh("trap '' TERM; echo partial; exec sleep 30", {300, 300}));
  EXPECT_EQ(str(out), "partial\n");
  EXPECT_GE(elapsed_ms, 600);
  EXPECT_LT(elapsed_ms, 300 + 300 + 1000);
  // Reaped: no child is left behind.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(RunToolTest, ToolThatClosesItsOutputButRunsOnIsHeldToTheDeadline) {
  ASSERT_TRUE(sh("echo done; exec >&- 2>&-; trap '' TERM; exec sleep 30", {300, 300}));
  EXPECT_EQ(str(out), "done\n");
  EXPECT_LT(elapsed_ms, 300 + 300 + 1000);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

// The tool signals its parent as a kill of kelvane would: the run ends at
// once and the tool is stopped with SIGINT (its trap answers).
TEST_F(RunToolTest, SignalToTheRunnerStopsTheToolWithSigintAndIsReported) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir t;
    sh(("trap 'echo stopped >" + t.file("trap") + "; exit' INT; kill -" + std::to_string(sig) +
        " $PPID; while :; do sleep 0.05; done").c_str());
    EXPECT_EQ(signal, sig);
    EXPECT_EQ(read_file(t.file("trap")), "stopped\n");
    EXPECT_LT(elapsed_ms, 1500);
  }
}

}  // namespace
