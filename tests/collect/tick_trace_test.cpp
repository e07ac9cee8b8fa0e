#include "collect/tick_trace.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "test_util.h"

namespace {

class TickTraceTest : public ArenaTest {};

bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

// A directory laid out as tracefs: only the stale instance goes, and only
// the new instance's event is enabled.
TEST_F(TickTraceTest, OwnInstanceOnly) {
  TempDir t;
  t.write("events/timer/tick_stop/enable", "0\n");
  t.write("instances/other/tracing_on", "1\n");
  mkdir(t.file("instances/kelvane-999999").c_str(), 0755);
  std::string kept = "instances/kelvane-" + std::to_string(getpid()), name(16, '\0');
  mkdir(t.file(kept).c_str(), 0755);
  prctl(PR_GET_NAME, name.data());
  prctl(PR_SET_NAME, "kelvane");  // this process stands for a running kelvane
  TickTrace trace;
  bool started = tick_trace_start(&trace, sv(t.path.c_str()), 4242);
  prctl(PR_SET_NAME, name.c_str());
  ASSERT_TRUE(started);
  EXPECT_EQ(read_file(t.file("instances/kelvane-4242/events/timer/tick_stop/enable")), "1");
  EXPECT_EQ(read_file(t.file("events/timer/tick_stop/enable")), "0\n");
  EXPECT_FALSE(exists(t.file("instances/kelvane-999999")));
  EXPECT_TRUE(exists(t.file(kept)) && exists(t.file("instances/other/tracing_on")));
  EXPECT_FALSE(sv_present(tick_trace_finish(&trace, &arena)));  // no trace file here
  EXPECT_FALSE(exists(t.file("instances/kelvane-4242")));
  ASSERT_TRUE(tick_trace_start(&trace, sv(t.path.c_str()), 4242));
  t.write("instances/kelvane-4242/trace", "# tracer: nop\n");
  EXPECT_EQ(str(tick_trace_finish(&trace, &arena)), "# tracer: nop\n");
}

// kelvane as root on the live system, nohz_full=1 on its command line and a
// tracefs laid out in a private mount namespace: the signal that ends it
// during the sampling window leaves no instance behind, and kills it.
int kill_in_window(int sig) {
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
      mount("none", "/sys/kernel/tracing", "tmpfs", 0, nullptr))
    return 77;
  // The command line sits in the namespace's tmpfs; config.gz, which says this
  // kernel ignores nohz_full=, is hidden.
  if (system("cd /sys/kernel/tracing && mkdir instances && echo nop >available_tracers && "
             "echo nohz_full=1 >.cmdline") != 0 ||
      mount("/sys/kernel/tracing/.cmdline", "/proc/cmdline", nullptr, MS_BIND, nullptr) ||
      (exists("/proc/config.gz") && mount("/dev/null", "/proc/config.gz", nullptr, MS_BIND, nullptr)))
    return 77;
  pid_t pid = fork();
  if (pid == 0) {
    execl(KELVANE_BIN, "kelvane", "--interval", "5000", "-o", "/dev/null", nullptr);
    _exit(127);
  }
  std::string dir = "/sys/kernel/tracing/instances/kelvane-" + std::to_string(pid);
  for (int i = 0; i < 300 && !exists(dir + "/events/timer/tick_stop/enable"); i++) usleep(20000);
  if (!exists(dir)) return 1;
  int status = kill(pid, sig) == 0 && waitpid(pid, &status, 0) == pid ? status : 0;
  if (!WIFSIGNALED(status) || WTERMSIG(status) != sig) return 2;
  return exists(dir) ? 3 : 0;
}

TEST_F(TickTraceTest, SignalInWindowRemovesInstance) {
  if (geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    pid_t child = fork();
    if (child == 0) _exit(kill_in_window(sig));
    int status = -1;
    ASSERT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private tracefs could be laid out";
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}

}  // namespace
