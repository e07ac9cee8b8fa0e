#include "collect/tasks.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/cpuset.h"
#include "source/capture.h"
#include "source/source_open.h"
#include "test_util.h"

namespace {

// A stat line of a thread; flags in decimal as the kernel prints them.
std::string stat_line(int tid, const std::string& comm, const char* state, uint64_t flags, int cpu,
                      int prio, int policy) {
  std::string l = std::to_string(tid) + " (" + comm + ") " + state + " 1 1 1 0 -1 " +
                  std::to_string(flags) + " 0 0 0 0 0 0 0 0 " + std::to_string(prio ? -1 - prio : 20) +
                  " 0 1 0 100 0 0 18446744073709551615 0 0 0 0 0 0 0 0 0 0 0 0 17 ";
  return l + std::to_string(cpu) + " " + std::to_string(prio) + " " + std::to_string(policy) +
         " 0 0 0 0 0 0 0 0 0 0 0\n";
}

constexpr uint64_t kUserFlags = 4194560;   // PF_FORKNOEXEC | PF_RANDOMIZE
constexpr uint64_t kKthreadFlags = 69238848;
constexpr uint64_t kZombieFlags = 4227148;  // PF_EXITING ..., not a kernel thread

class TasksTest : public ArenaTest {
 protected:
  void thread(int pid, int tid, const std::string& comm, const char* state, uint64_t flags,
              int cpu, int prio, int policy, const char* allowed) {
    std::string dir = "proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/";
    tree.write(dir + "stat", stat_line(tid, comm, state, flags, cpu, prio, policy));
    tree.write(dir + "status", "Name:\t" + comm + "\nCpus_allowed_list:\t" + allowed +
                                   "\nvoluntary_ctxt_switches:\t10\nnonvoluntary_ctxt_switches:\t2\n");
  }
  Snapshot* collect(const std::string& path) {
    StrView err = kNoneView;
    Source* src = source_open(&arena, path.empty() ? nullptr : path.c_str(), &err);
    EXPECT_TRUE(src) << str(err);
    Snapshot* snap = arena_new<Snapshot>(&arena);
    snap->arena = &arena;
    snap->src = src;
    snap->live = src->live;
    collect_tasks(snap);
    return snap;
  }
  const RtTask* find(const Snapshot* s, int tid) {
    for (const RtTask& t : s->rt_tasks)
      if (t.tid == tid) return &t;
    return nullptr;
  }
  // A machine of an application, kernel threads, a zombie and broken files.
  void build_tree() {
    tree.write("proc/100/cmdline", std::string("/opt/app\0--rt\0", 14));
    thread(100, 100, "app", "S", kUserFlags, 0, 0, 0, "0-15");
    thread(100, 101, "rt (ctl) loop", "R", kUserFlags, 2, 80, 1, "2");
    thread(100, 102, "logger", "S", kUserFlags, 5, 90, 1, "0-15");
    thread(100, 103, "planner", "S", kUserFlags, 3, 0, 6, "3");
    thread(100, 104, "rr", "S", kUserFlags, 1, 50, 2, "6");
    tree.write("proc/20/cmdline", "");
    thread(20, 20, "ksoftirqd/2", "S", kKthreadFlags, 2, 1, 1, "2");
    tree.write("proc/21/cmdline", "");
    thread(21, 21, "irq/125-xhci_hcd", "S", kKthreadFlags, 2, 50, 1, "2");
    tree.write("proc/22/cmdline", "");
    thread(22, 22, "rcuc/3", "S", 0, 3, 1, 1, "3");  // flags unreadable as 0: the command line decides
    tree.write("proc/300/cmdline", "");
    thread(300, 300, "app", "Z", kZombieFlags, 1, 50, 1, "0-15");
    thread(301, 301, "batch", "S", kUserFlags, 1, 0, 3, "0-15");  // counted, not kept
    tree.write("proc/302/task/302/stat", "302 (short) S 1 2 3\n");  // not counted
    tree.write("proc/303/task/303/status", "Name:\tno stat\n");
    tree.write("proc/self/task/1/stat", stat_line(1, "self", "S", kUserFlags, 0, 99, 1));
    tree.write("proc/sys/kernel/hostname", "box\n");
  }
  TempDir tree;
};

TEST_F(TasksTest, WalksEveryThreadAndKeepsTheRealTimeOnes) {
  build_tree();
  Snapshot* s = collect(tree.path);
  ASSERT_TRUE(s->tasks_available);
  EXPECT_EQ(s->threads_scanned, 10);
  EXPECT_FALSE(s->sched_getattr_ok);
  EXPECT_EQ(str(s->sched_getattr_note), "not a live system");
  // Deadline first, then by priority, equal priorities by thread id.
  std::string order;
  for (const RtTask& t : s->rt_tasks) order += std::to_string(t.tid) + " ";
  EXPECT_EQ(order, "103 102 101 21 104 300 20 22 ");

  const RtTask* ctl = find(s, 101);
  ASSERT_TRUE(ctl);
  EXPECT_EQ(ctl->pid, 100);
  EXPECT_EQ(str(ctl->comm), "rt (ctl) loop");
  EXPECT_EQ(str(ctl->cmdline), std::string("/opt/app\0--rt\0", 14));  // NUL bytes are data
  EXPECT_EQ(str(ctl->policy_name), "SCHED_FIFO");
  EXPECT_EQ(ctl->rt_priority, 80);
  EXPECT_EQ(ctl->last_cpu, 2);
  EXPECT_FALSE(ctl->kthread);
  EXPECT_FALSE(ctl->role.ptr);
  EXPECT_TRUE(ctl->affinity.has);
  EXPECT_EQ(str(cpuset_format_list(&arena, &ctl->affinity.value)), "2");
  EXPECT_EQ(ctl->voluntary_switches.value, 10);
  EXPECT_EQ(ctl->nonvoluntary_switches.value, 2);

  EXPECT_EQ(str(find(s, 103)->policy_name), "SCHED_DEADLINE");
  EXPECT_FALSE(find(s, 103)->dl.has);
  EXPECT_EQ(str(find(s, 104)->policy_name), "SCHED_RR");

  const RtTask* handler = find(s, 21);
  EXPECT_TRUE(handler->kthread);
  EXPECT_EQ(str(handler->role), "Threaded IRQ handler");
  EXPECT_EQ(str(handler->irq_number), "125");
  EXPECT_EQ(str(find(s, 20)->role), "Softirq processing");
  EXPECT_TRUE(find(s, 22)->kthread);
  EXPECT_EQ(str(find(s, 22)->role), "RCU callback processing");
}

// A kernel thread is told by PF_KTHREAD in its stat flags: a zombie's empty
// command line does not make it one.
TEST_F(TasksTest, ZombieIsNoKernelThread) {
  build_tree();
  Snapshot* s = collect(tree.path);
  const RtTask* zombie = find(s, 300);
  ASSERT_TRUE(zombie);
  EXPECT_FALSE(zombie->kthread);
  EXPECT_FALSE(zombie->role.ptr);
  EXPECT_EQ(zombie->cmdline.len, 0u);
}

// Redaction empties every command line; the kernel-thread decision, and so
// the grade, must not change with it.
TEST_F(TasksTest, RedactedBundleKeepsApplicationThreads) {
  build_tree();
  TempDir out;
  std::string bundle = out.file("b.tgz");
  StrView err = kNoneView;
  Source* tree_src = source_open(&arena, tree.path.c_str(), &err);
  ASSERT_TRUE(capture_bundle(&arena, tree_src, bundle.c_str(), true, &err)) << str(err);
  Snapshot* plain = collect(tree.path);
  Snapshot* redacted = collect(bundle);
  ASSERT_EQ(redacted->rt_tasks.count, plain->rt_tasks.count);
  for (size_t i = 0; i < plain->rt_tasks.count; i++) {
    const RtTask& a = plain->rt_tasks[i];
    const RtTask& b = redacted->rt_tasks[i];
    EXPECT_EQ(a.tid, b.tid);
    EXPECT_EQ(a.kthread, b.kthread) << a.tid;
    EXPECT_EQ(b.cmdline.len, 0u);
  }
  EXPECT_EQ(redacted->threads_scanned, plain->threads_scanned);
}

TEST_F(TasksTest, NoProcessListLeavesEverythingZero) {
  Snapshot* s = collect(tree.path);
  EXPECT_FALSE(s->tasks_available);
  EXPECT_FALSE(s->sched_getattr_note.ptr);
  EXPECT_EQ(s->threads_scanned, 0);
}

// A thread of this test process that sets itself up (set_up answers 0 when
// it succeeded) and then idles until stopped; the constructor returns once
// the thread is set up.
class IdleThread {
 public:
  template <class SetUp>
  explicit IdleThread(SetUp set_up)
      : worker_([this, set_up] {
          status = set_up();
          tid = static_cast<pid_t>(syscall(SYS_gettid));
          while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }) {
    while (tid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~IdleThread() { stop(); }
  IdleThread(const IdleThread&) = delete;
  IdleThread& operator=(const IdleThread&) = delete;

  void stop() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
  }

  std::atomic<long> status{-1};
  std::atomic<pid_t> tid{0};

 private:
  std::atomic<bool> stop_{false};
  std::thread worker_;  // last: it starts once the members above exist
};

// A thread of this test process at SCHED_FIFO, named with blanks and
// parentheses, as the live walk sees it.
TEST_F(TasksTest, LiveSeesItsOwnRealTimeThread) {
  IdleThread worker([] {
    sched_param p{};
    p.sched_priority = 7;
    long set = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
    pthread_setname_np(pthread_self(), "kv (rt) t");
    return set;
  });
  if (worker.status != 0) GTEST_SKIP() << "cannot set SCHED_FIFO here";
  Snapshot* s = collect("");
  worker.stop();
  ASSERT_TRUE(s->tasks_available);
  EXPECT_GT(s->threads_scanned, 1);
  const RtTask* t = find(s, worker.tid);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->pid, getpid());
  EXPECT_EQ(str(t->comm), "kv (rt) t");
  EXPECT_EQ(t->policy, SCHED_FIFO);
  EXPECT_EQ(t->rt_priority, 7);
  EXPECT_FALSE(t->kthread);
  EXPECT_GT(t->cmdline.len, 0u);
  EXPECT_TRUE(t->affinity.has);
  EXPECT_TRUE(t->voluntary_switches.has);
  EXPECT_EQ(s->sched_getattr_ok, !s->sched_getattr_note.ptr);
}

// The 48-byte attribute record of sched_setattr(2).
struct DlAttr {
  uint32_t size, policy;
  uint64_t flags;
  int32_t nice;
  uint32_t priority;
  uint64_t runtime, deadline, period;
};

TEST_F(TasksTest, LiveReadsDeadlineParameters) {
  IdleThread worker([] {
    DlAttr a{sizeof(DlAttr), 6, 0, 0, 0, 2000000, 8000000, 10000000};
    return syscall(SYS_sched_setattr, 0, &a, 0);
  });
  if (worker.status != 0) GTEST_SKIP() << "cannot set SCHED_DEADLINE here";
  Snapshot* s = collect("");
  worker.stop();
  ASSERT_TRUE(s->sched_getattr_ok) << str(s->sched_getattr_note);
  const RtTask* t = find(s, worker.tid);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->policy, 6);
  ASSERT_TRUE(t->dl.has);
  EXPECT_EQ(t->dl.value.runtime_ns, 2000000u);
  EXPECT_EQ(t->dl.value.deadline_ns, 8000000u);
  EXPECT_EQ(t->dl.value.period_ns, 10000000u);
  EXPECT_EQ(s->rt_tasks[0].policy, 6);  // deadline threads sort first
}

}  // namespace
