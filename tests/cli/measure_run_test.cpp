// --measure end to end: the duration check, and real cyclictest runs on
// this machine when the tests run as root.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
c = m["conditions"]
assert c["priority"] == 95 and c["interval_us"] == 200, c
assert c["pm_qos"] in ("none", "held") and c["load"] == sys.argv[2] and c["cpus"] == m["cpus"], c
assert c["version"].startswith("cyclictest"), c
rows = [m] + m["per_cpu"]
assert len(m["per_cpu"]) >= 1
for r in rows:
    assert r["min_us"] is not None and r["max_us"] is not None, r
    assert 0 <= r["min_us"] <= r["avg_us"] <= r["max_us"], r
)";

// /proc/PID/stat of the live processes whose environment holds tag (all a
// kelvane run started, however reparented); with comm, those of that name.
std::vector<std::string> procs_with(const std::string& tag, const std::string& comm = "") {
  std::vector<std::string> out;
  for (const std::string& dir : files_in("/proc")) {
    std::string stat = read_file(dir + "/stat");
    if ((comm.empty() || stat.find("(" + comm + ")") != std::string::npos) &&
        stat.find(") Z ") == std::string::npos &&
        read_file(dir + "/environ").find(tag + '\0') != std::string::npos)
      out.push_back(stat);
  }
  return out;
}

TEST(MeasureRun, RealCyclictestRun) {
  if (geteuid() != 0) GTEST_SKIP() << "measuring needs root";
  if (access("/usr/bin/cyclictest", X_OK) != 0 && access("/usr/sbin/cyclictest", X_OK) != 0) {
    GTEST_SKIP() << "cyclictest is not installed";
  }
  if (system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  bool load = system("command -v stress-ng >/dev/null") == 0;
  std::string before = read_file("/dev/cpu_dma_latency");  // the PM QoS value in force
  for (const char* how : {"none", "stress-ng"}) {
    if (!load && how[0] == 's') break;
    std::string tag = "KELVANE_RUN_TEST=" + std::to_string(getpid());
    RunResult r = run_kelvane(std::string("--measure --duration 3 --interval 0 -f json -o -") +
                                  (how[0] == 's' ? " --load" : ""), "env " + tag);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"measured\": true"), std::string::npos);
    TempDir t;
    t.write("r.json", r.out);
    t.write("check.py", kCheck);
    EXPECT_EQ(system(("python3 " + t.file("check.py") + " " + t.file("r.json") + " " + how).c_str()), 0)
        << r.out;
    for (int i = 0; i < 100 && !procs_with(tag).empty(); i++) usleep(20000);
    EXPECT_EQ(procs_with(tag), std::vector<std::string>{});  // the load is gone
    EXPECT_EQ(read_file("/dev/cpu_dma_latency"), before);  // no request outlives the run
  }
}

// kelvane --measure --load killed at once, after 1 s or 5 s: it dies of the
// signal, and cyclictest and stress-ng (each in a group of its own) are gone.
TEST(MeasureRun, KelvaneKilledDuringAMeasurementLeavesNothingBehind) {
  if (geteuid() != 0) GTEST_SKIP() << "measuring needs root";
  if (system("command -v cyclictest >/dev/null") != 0) GTEST_SKIP() << "no cyclictest";
  bool load = system("command -v stress-ng >/dev/null") == 0;
  struct Row { int sig; int after_ms; };
  for (Row r : {Row{SIGINT, 1000}, Row{SIGTERM, 1000}, Row{SIGINT, 5000}, Row{SIGTERM, 5000},
                Row{SIGHUP, 0}, Row{SIGKILL, 0}}) {
    SCOPED_TRACE(std::to_string(r.sig) + " after " + std::to_string(r.after_ms) + " ms");
    std::string tag = "KELVANE_KILL_TEST=" + std::to_string(getpid()) + "." + std::to_string(r.sig);
    std::string cmd = "exec env " + tag + " " KELVANE_BIN " --measure --duration 30 --interval 0 " +
                      (load ? "--load " : "") + "-f json -o /dev/null >/dev/null 2>&1";
    pid_t kelvane = fork();
    if (kelvane == 0) {
      for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
      _exit(execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr)));
    }
    std::vector<std::string> tool;
    for (int i = 0; i < 250 && tool.empty(); i++, usleep(20000)) tool = procs_with(tag, "cyclictest");
    if (tool.empty() && kill(kelvane, SIGKILL) == 0 && waitpid(kelvane, nullptr, 0) == kelvane)
      GTEST_SKIP() << "cyclictest did not start here";
    EXPECT_EQ(getpgid(atoi(tool[0].c_str())), atoi(tool[0].c_str()));  // its own group
    usleep(static_cast<useconds_t>(r.after_ms) * 1000);
    if (load) {
      EXPECT_FALSE(procs_with(tag, "stress-ng").empty());
    }
    kill(kelvane, r.sig);
    int status = 0;
    ASSERT_EQ(waitpid(kelvane, &status, 0), kelvane);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == r.sig) << status;
    for (int i = 0; i < 500 && !procs_with(tag).empty(); i++) usleep(20000);
    EXPECT_EQ(procs_with(tag), std::vector<std::string>{});
  }
}

}  // namespace
