// --measure end to end: the duration check, and real cyclictest runs on
// this machine when the tests run as root: one to its end, and ones whose
// kelvane is killed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"

namespace {

TEST(MeasureRun, DurationBelowOneIsRefusedBeforeAnythingRuns) {
  for (const char* d : {"0", "-5", "abc"}) {
    SCOPED_TRACE(d);
    TempDir cwd;
    RunResult r = run_kelvane(std::string("--measure -f json --duration ") + d, "", cwd.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("kelvane: ", 0), 0u);
    EXPECT_NE(r.err.find("--duration"), std::string::npos);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);  // one line
    EXPECT_NE(system(("test -e " + cwd.file("rt-report.json")).c_str()), 0);
  }
}

// Checks the JSON report with python3: a valid cyclictest measurement with
// per-CPU rows, min <= avg <= max for the whole and for every CPU.
constexpr char kCheck[] = R"(
import json, sys
m = json.load(open(sys.argv[1]))["snapshot"]["measured"]
assert m is not None, "no measurement"
assert m["source"] == "cyclictest", m["source"]
assert m["duration_s"] == 3.0
rows = [m] + m["per_cpu"]
assert len(m["per_cpu"]) >= 1
for r in rows:
    assert r["min_us"] is not None and r["max_us"] is not None, r
    assert 0 <= r["min_us"] <= r["avg_us"] <= r["max_us"], r
)";

TEST(MeasureRun, RealCyclictestRun) {
  if (geteuid() != 0) GTEST_SKIP() << "measuring needs root";
  if (access("/usr/bin/cyclictest", X_OK) != 0 && access("/usr/sbin/cyclictest", X_OK) != 0) {
    GTEST_SKIP() << "cyclictest is not installed";
  }
  if (system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  RunResult r = run_kelvane("--measure --duration 3 --interval 0 -f json -o -");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"measured\": true"), std::string::npos);
  TempDir t;
  t.write("r.json", r.out);
  t.write("check.py", kCheck);
  EXPECT_EQ(system(("python3 " + t.file("check.py") + " " + t.file("r.json")).c_str()), 0) << r.out;
}

// A process as /proc/<pid>/stat shows it.
struct Proc {
  int pid = 0, ppid = 0, pgrp = 0;
  char state = 0;
  std::string comm;
  std::string dir;
};

bool read_proc(const std::string& dir, Proc* p) {
  std::string stat = read_file(dir + "/stat");
  size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return false;
  p->dir = dir;
  p->pid = atoi(stat.c_str());
  p->comm = stat.substr(open + 1, close - open - 1);
  return sscanf(stat.c_str() + close + 1, " %c %d %d", &p->state, &p->ppid, &p->pgrp) == 3;
}

bool holds_dma_latency(const Proc& p) {
  for (const std::string& fd : files_in(p.dir + "/fd")) {
    char target[64] = {};
    if (readlink(fd.c_str(), target, sizeof target - 1) > 0 &&
        std::string(target) == "/dev/cpu_dma_latency")
      return true;
  }
  return false;
}

// The processes not yet exited whose environment carries tag: the kelvane
// run and everything it started, however reparented, and no process of a
// test running beside this one.
std::vector<Proc> live_procs_of(const std::string& tag) {
  std::vector<Proc> out;
  for (const std::string& dir : files_in("/proc")) {
    Proc p;
    if (!read_proc(dir, &p) || p.state == 'Z') continue;
    if (read_file(dir + "/environ").find(tag) != std::string::npos) out.push_back(p);
  }
  return out;
}

pid_t start_measuring(const std::string& tag) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
  int null = open("/dev/null", O_RDWR);
  for (int fd : {0, 1, 2}) dup2(null, fd);
  setenv("KELVANE_KILL_TEST", tag.c_str(), 1);
  execl(KELVANE_BIN, KELVANE_BIN, "--measure", "--duration", "30", "--interval", "0", "-f",
        "json", "-o", "/dev/null", static_cast<char*>(nullptr));
  _exit(127);
}

// kelvane's cyclictest once it holds /dev/cpu_dma_latency; pid 0 when that
// does not happen within 5 s.
Proc wait_for_cyclictest(pid_t kelvane, const std::string& tag) {
  for (int i = 0; i < 250; i++) {
    for (const Proc& p : live_procs_of(tag)) {
      if (p.ppid == kelvane && p.comm == "cyclictest" && holds_dma_latency(p)) return p;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return Proc{};
}

// kelvane killed (by its PID alone) in the middle of a 30 s measurement ends
// by that signal and leaves no process behind, none holding the PM QoS
// request; under SIGKILL the kernel stops the tool.
TEST(MeasureRun, KelvaneKilledDuringAMeasurementLeavesNothingRunning) {
  if (geteuid() != 0) GTEST_SKIP() << "measuring needs root";
  if (access("/usr/bin/cyclictest", X_OK) != 0 && access("/usr/sbin/cyclictest", X_OK) != 0) {
    GTEST_SKIP() << "cyclictest is not installed";
  }
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(sig);
    std::string tag = "KELVANE_KILL_TEST=" + std::to_string(getpid()) + "-" + std::to_string(sig);
    pid_t kelvane = start_measuring(tag.substr(tag.find('=') + 1));
    ASSERT_GT(kelvane, 0);
    Proc tool = wait_for_cyclictest(kelvane, tag);
    if (tool.pid == 0) {
      kill(kelvane, SIGKILL);
      waitpid(kelvane, nullptr, 0);
      GTEST_SKIP() << "cyclictest did not start or open /dev/cpu_dma_latency here";
    }
    EXPECT_EQ(tool.pgrp, tool.pid);  // a process group of its own
    kill(kelvane, sig);
    int status = 0;
    ASSERT_EQ(waitpid(kelvane, &status, 0), kelvane);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    std::vector<Proc> left = live_procs_of(tag);
    for (int i = 0; i < 150 && !left.empty(); i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      left = live_procs_of(tag);
    }
    for (const Proc& p : left) {
      ADD_FAILURE() << "left running: " << p.pid << " " << p.comm
                    << (holds_dma_latency(p) ? ", holding /dev/cpu_dma_latency" : "");
    }
  }
}

}  // namespace
