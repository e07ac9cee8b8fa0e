#include "collect/collect.h"

#include <chrono>
#include <cstring>
#include <string>

#include "base/log.h"
#include "source/source_open.h"
#include "test_util.h"

namespace {

class CollectTest : public ArenaTest {
 protected:
  void TearDown() override {
    verbosity = saved_verbosity_;
    ArenaTest::TearDown();
  }
  Source* open(const std::string& path) {
    StrView err = kNoneView;
    Source* src = source_open(&arena, path.empty() ? nullptr : path.c_str(), &err);
    EXPECT_TRUE(src) << str(err);
    return src;
  }
  // Collects with -v on and returns what went to standard error.
  std::string collect_verbose(Snapshot* snap, Source* src, int32_t interval_ms) {
    verbosity = 1;
    testing::internal::CaptureStderr();
    collect_snapshot(snap, &arena, src, interval_ms);
    return testing::internal::GetCapturedStderr();
  }
  int32_t saved_verbosity_ = verbosity;
};

TEST_F(CollectTest, EmptyTreeLeavesEverythingZero) {
  TempDir d;
  Source* src = open(d.path);
  Snapshot* snap = arena_new<Snapshot>(&arena);
  memset(static_cast<void*>(snap), 0xab, sizeof *snap);  // stale content is wiped
  collect_snapshot(snap, &arena, src, 1000);
  EXPECT_EQ(str(snap->host), "unknown");
  EXPECT_EQ(str(snap->source), d.path);
  EXPECT_FALSE(snap->live);
  EXPECT_EQ(snap->arena, &arena);
  EXPECT_EQ(snap->src, src);
  Snapshot zero;
  memset(static_cast<void*>(&zero), 0, sizeof zero);
  zero.arena = snap->arena;
  zero.src = snap->src;
  zero.read_errors = snap->read_errors;
  zero.host = snap->host;
  zero.source = snap->source;
  EXPECT_EQ(memcmp(&zero, snap, sizeof zero), 0);
}

TEST_F(CollectTest, ProgressMessagesInOrderAndNoSamplingOnATree) {
  Source* src = open(tests_dir() + "/fixtures/kernel-rt");
  Snapshot* snap = arena_new<Snapshot>(&arena);
  auto start = std::chrono::steady_clock::now();
  std::string err = collect_verbose(snap, src, 600000);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(60));  // the ten-minute window was not waited
  EXPECT_EQ(err.find("kelvane: collecting kernel\nkelvane: collecting cmdline\n"), 0u) << err;
  EXPECT_EQ(err.find("sampling"), std::string::npos) << err;
  EXPECT_EQ(snap->cpuidle_window_s, 0.0);
  EXPECT_EQ(str(snap->host), "rt-box");
  EXPECT_TRUE(snap->is_rt);
  EXPECT_TRUE(snap->isolcpus.has);
}

TEST_F(CollectTest, QuietWithoutVerbose) {
  Source* src = open(tests_dir() + "/fixtures/kernel-generic");
  Snapshot* snap = arena_new<Snapshot>(&arena);
  verbosity = 0;
  testing::internal::CaptureStderr();
  collect_snapshot(snap, &arena, src, 1000);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(str(snap->host), "generic-box");
  EXPECT_EQ(str(snap->preempt_model), "full");
}

// No counter sampler is part of this build yet: the live system is read once
// and nothing claims a sampling window that did not happen.
TEST_F(CollectTest, LiveSystemSamplesOnlyWithAPositiveInterval) {
  Source* src = open("");
  ASSERT_TRUE(src->live);
  Snapshot* snap = arena_new<Snapshot>(&arena);
  std::string err = collect_verbose(snap, src, 20);
  EXPECT_NE(err.find("kelvane: sampling counters for 20 ms\n"), std::string::npos) << err;
  EXPECT_TRUE(snap->live);
  EXPECT_EQ(str(snap->source), "live system");
  EXPECT_TRUE(snap->sampled);
  // The window is the time that really passed since the first reading, so
  // never shorter than the wait.
  EXPECT_GE(snap->sample_window_s, 0.02);
  EXPECT_TRUE(snap->host.ptr);

  for (int32_t interval : {0, -5}) {
    err = collect_verbose(snap, src, interval);
    EXPECT_EQ(err.find("sampling"), std::string::npos) << err;
    EXPECT_EQ(snap->cpuidle_window_s, 0.0);
    EXPECT_FALSE(snap->sampled);
  }
}

TEST_F(CollectTest, HostNameIsTrimmed) {
  TempDir d;
  d.write("proc/sys/kernel/hostname", "  box-1\t\n");
  Snapshot* snap = arena_new<Snapshot>(&arena);
  collect_snapshot(snap, &arena, open(d.path), 0);
  EXPECT_EQ(str(snap->host), "box-1");
}

}  // namespace
