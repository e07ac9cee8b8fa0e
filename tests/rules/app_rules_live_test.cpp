// The application hygiene rules on this machine: a SCHED_FIFO process that
// locks nothing and keeps touching new pages, and one that locks and
// prefaults its memory, each analysed live over a short sampling window.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "collect/collect.h"
#include "rules/rule_module_test.h"
#include "source/source_open.h"

namespace {

constexpr size_t kPage = 4096;

void nap_ms(long ms) {
  timespec ts{0, ms * 1000000L};
  nanosleep(&ts, nullptr);
}

// Faults in 16 fresh pages every 5 ms (about 3000 a second) until killed.
[[noreturn]] void touch_new_pages(int ready) {
  if (write(ready, "r", 1) != 1) _exit(1);
  for (;;) {
    void* m = mmap(nullptr, 16 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) _exit(1);
    for (size_t k = 0; k < 16; k++) static_cast<char*>(m)[k * kPage] = 1;
    munmap(m, 16 * kPage);
    nap_ms(5);
  }
}

// Locks its memory, prefaults a working buffer, then only sleeps.
[[noreturn]] void locked_and_prefaulted(int ready) {
  static char work[64 * kPage];
  if (mlockall(MCL_CURRENT | MCL_FUTURE) != 0) _exit(1);
  memset(work, 1, sizeof work);
  if (write(ready, "r", 1) != 1) _exit(1);
  for (;;) nap_ms(5);
}

class AppRulesLive : public RuleModuleTest {
 protected:
  // Starts the child at SCHED_FIFO 1 and analyses the live system over a
  // 300 ms window with only the child's threads kept. False (and skipped)
  // when the child cannot be made real-time here.
  bool analyse(void (*body)(int)) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    child = fork();
    if (child == 0) {
      close(fds[0]);
      body(fds[1]);
    }
    close(fds[1]);
    char c;
    bool ready = read(fds[0], &c, 1) == 1;
    close(fds[0]);
    sched_param sp{};
    sp.sched_priority = 1;
    if (!ready || sched_setscheduler(child, SCHED_FIFO, &sp) != 0) return false;
    StrView err = kNoneView;
    Source* src = source_open(&arena, nullptr, &err);
    if (!src) return false;
    collect_snapshot(snap, &arena, src, 300);
    List<RtTask> mine{};
    for (const RtTask& t : snap->rt_tasks)
      if (t.pid == child) *list_grow(&arena, &mine) = t;
    snap->rt_tasks = mine;
    run(app_rules);
    return mine.count == 1;
  }

  void TearDown() override {
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    RuleModuleTest::TearDown();
  }

  pid_t child = -1;
};

TEST_F(AppRulesLive, UnlockedProcessTouchingNewPagesWarns) {
  if (!analyse(touch_new_pages)) GTEST_SKIP() << "cannot run a SCHED_FIFO process here";
  const Finding& lock = get("sched.memlock");
  EXPECT_EQ(lock.severity, Severity::warn);
  EXPECT_EQ(text(lock.title).rfind("pid " + std::to_string(child) + " (", 0), 0u) << text(lock.title);
  const Finding& faults = get("sched.page_faults");
  EXPECT_EQ(faults.severity, Severity::warn) << text(faults.title);
  EXPECT_NE(text(faults.title).find("minor page faults/s"), std::string::npos);
}

TEST_F(AppRulesLive, LockedPrefaultedProcessPasses) {
  if (!analyse(locked_and_prefaulted)) GTEST_SKIP() << "cannot run a SCHED_FIFO process here";
  EXPECT_EQ(get("sched.memlock").severity, Severity::pass);
  EXPECT_EQ(get("sched.page_faults").severity, Severity::pass) << text(get("sched.page_faults").title);
}

}  // namespace
