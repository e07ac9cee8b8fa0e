// --measure end to end: the duration check, and a real cyclictest run on
// this machine when the tests run as root.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
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

}  // namespace
