// Application hygiene on this machine: a SCHED_FIFO process that locks
// nothing and keeps faulting in new pages, and one that locks and prefaults.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "collect/collect.h"
#include "rules/rule_module_test.h"

namespace {

constexpr size_t kPage = 4096;

// Prefaults a buffer, locked or not, then sleeps in 5 ms steps; the
// unlocked one also faults in 16 fresh pages each step (about 3000 a second).
[[noreturn]] void rt_child(int ready, bool lock) {
  static char work[64 * kPage];
  // The buffer is locked by the system call itself: a sanitizer's interceptor
  // turns mlock and mlockall into no-ops, and mlockall would also have to
  // lock its shadow memory.
  if (lock && syscall(SYS_mlock, work, sizeof work) != 0) _exit(1);
  for (char& c : work) c = 1;
  if (write(ready, "r", 1) != 1) _exit(1);
  for (;; usleep(5000)) {
    if (lock) continue;
    void* m = mmap(nullptr, 16 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) _exit(1);
    for (size_t k = 0; k < 16; k++) static_cast<char*>(m)[k * kPage] = 1;
    munmap(m, 16 * kPage);
  }
}

class AppRulesLive : public RuleModuleTest {
 protected:
  // The child at SCHED_FIFO 1, analysed live over 300 ms; false if not RT.
  bool analyse(bool lock) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    if ((child = fork()) == 0) rt_child(fds[1], lock);
    close(fds[1]);
    char c;
    sched_param sp{};
    sp.sched_priority = 1;
    bool ready = read(fds[0], &c, 1) == 1 && sched_setscheduler(child, SCHED_FIFO, &sp) == 0;
    close(fds[0]);
    Source* src = ready ? open_source("") : nullptr;
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
    if (child > 0) kill(child, SIGKILL), waitpid(child, nullptr, 0);
    RuleModuleTest::TearDown();
  }

  pid_t child = -1;
};

// Unlocked and faulting warns on both counts; locked and prefaulted passes.
TEST_F(AppRulesLive, HygieneOfALiveFifoProcess) {
  for (bool lock : {false, true}) {
    fresh();
    if (!analyse(lock)) GTEST_SKIP() << "sched_setscheduler(SCHED_FIFO) refused here";
    Severity want = lock ? Severity::pass : Severity::warn;
    EXPECT_EQ(get("sched.memlock").severity, want);
    EXPECT_EQ(get("sched.page_faults").severity, want);
    if (!lock) {
      EXPECT_EQ(text(get("sched.memlock").title).rfind("pid " + std::to_string(child) + " (", 0), 0u);
      EXPECT_EQ(text(get("sched.page_faults").detail).rfind("Involuntary context switches", 0), 0u);
    }
    kill(child, SIGKILL), waitpid(child, nullptr, 0), child = -1;
  }
}

}  // namespace
