// The analysis run as automation meets it: where the report goes, colour,
// exit statuses, and what is said on standard error.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "test_util.h"

namespace {

std::string fixture(const char* name) { return tests_dir() + "/fixtures/" + name; }

bool has_escape(const std::string& s) { return s.find('\x1b') != std::string::npos; }

TEST(Run, JsonGoesToItsDefaultFileOnlyAfterAnalysis) {
  TempDir cwd;
  RunResult r = run_kelvane("-f json --interval 0 --root " + fixture("kernel-rt"), "", cwd.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kelvane: wrote rt-report.json\n");
  std::string doc = read_file(cwd.file("rt-report.json"));
  EXPECT_EQ(doc.substr(0, 13), "{\n  \"score\": ");
  // A source that cannot be opened leaves no report file behind.
  TempDir cwd2;
  r = run_kelvane("-f json --root /nonexistent", "", cwd2.path);
  EXPECT_EQ(r.status, 2);
  struct stat st;
  EXPECT_NE(stat(cwd2.file("rt-report.json").c_str(), &st), 0);
}

TEST(Run, DashMeansStandardOutput) {
  TempDir cwd;
  RunResult r =
      run_kelvane("-f json -o - --interval 0 --root " + fixture("kernel-rt"), "", cwd.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.substr(0, 1), "{");
  r = run_kelvane("-o report.txt --interval 0 --root " + fixture("kernel-rt"), "", cwd.path);
  EXPECT_EQ(r.err, "kelvane: wrote report.txt\n");
  EXPECT_EQ(r.out, "");
  // A file is not a terminal: no colour unless asked for.
  EXPECT_FALSE(has_escape(read_file(cwd.file("report.txt"))));
  r = run_kelvane("-o report.txt --color --interval 0 --root " + fixture("kernel-rt"), "",
                  cwd.path);
  EXPECT_TRUE(has_escape(read_file(cwd.file("report.txt"))));
}

TEST(Run, ColourDecision) {
  std::string base = "--interval 0 --root " + fixture("kernel-rt");
  EXPECT_FALSE(has_escape(run_kelvane(base).out));
  EXPECT_TRUE(has_escape(run_kelvane(base + " --color").out));
  EXPECT_TRUE(has_escape(run_kelvane(base + " --color", "NO_COLOR=").out));
  EXPECT_FALSE(has_escape(run_kelvane(base + " --color --no-color").out));
  EXPECT_TRUE(has_escape(run_kelvane(base + " --no-color --color").out));
  // Under a terminal colour is on unless NO_COLOR is present, even empty.
  if (system("command -v script >/dev/null 2>&1") == 0) {
    TempDir t;
    std::string cmd = "script -qec '" + std::string(KELVANE_BIN) + " " + base + "' /dev/null";
    std::string out1 = t.file("a"), out2 = t.file("b");
    ASSERT_EQ(system(("env -u NO_COLOR " + cmd + " >" + out1).c_str()), 0);
    ASSERT_EQ(system(("NO_COLOR= " + cmd + " >" + out2).c_str()), 0);
    EXPECT_TRUE(has_escape(read_file(out1)));
    EXPECT_FALSE(has_escape(read_file(out2)));
  }
}

TEST(Run, FailUnder) {
  std::string base = "-q --interval 0 --root " + fixture("kernel-rt");
  // The fixture's own score, as its JSON report gives it.
  std::string doc = run_kelvane("-f json -o - " + base).out;
  ASSERT_EQ(doc.substr(0, 13), "{\n  \"score\": ");
  int score = std::stoi(doc.substr(13));
  ASSERT_GT(score, 0);
  ASSERT_LT(score, 100);
  std::string at = std::to_string(score), above = std::to_string(score + 1);
  EXPECT_EQ(run_kelvane(base + " --fail-under " + at).status, 0);
  EXPECT_EQ(run_kelvane(base + " --fail-under " + above).status, 1);
  EXPECT_EQ(run_kelvane(base + " --fail-under 0").status, 0);
  EXPECT_EQ(run_kelvane(base + " --fail-under 101").status, 1);
  EXPECT_EQ(run_kelvane(base + " --fail-under -5").status, 0);
}

TEST(Run, TargetAndProfile) {
  std::string base = "-f json -o - --interval 0 --root " + fixture("kernel-rt");
  auto target = [&](const std::string& extra) {
    std::string out = run_kelvane(base + " " + extra).out;
    size_t at = out.find("\"target_us\": ");
    return out.substr(at + 13, out.find(',', at) - at - 13);
  };
  EXPECT_EQ(target(""), "100");
  EXPECT_EQ(target("--profile low-latency"), "1000");
  EXPECT_EQ(target("--target-us 250"), "250");
  EXPECT_EQ(target("--target-us 0"), "100");
  EXPECT_EQ(target("--target-us -5"), "100");
  EXPECT_EQ(target("--target-us 2.5e2"), "250");
  // A number too large to hold is not a latency target: the default applies.
  EXPECT_EQ(target("--target-us 1e999"), "100");

}

TEST(Run, UnwritableReportIsNotAnnounced) {
  std::string base = "--interval 0 --root " + fixture("kernel-rt");
  RunResult r = run_kelvane(base + " -o /dev/full");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: refusing to write '/dev/full': it is a character device\n");
  r = run_kelvane(base + " -f json -o /dev/full");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: refusing to write '/dev/full': it is a character device\n");
  r = run_kelvane(base + " -o /nonexistent/dir/report.txt");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "kelvane: cannot write '/nonexistent/dir/report.txt': No such file or directory\n");
}

TEST(Run, UnwritableStandardOutput) {
  std::string cmd = std::string(KELVANE_BIN) + " --interval 0 --root " + fixture("kernel-rt") +
                    " >/dev/full 2>/dev/null";
  int rc = system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 2);
}

TEST(Run, HelpAndVersionThatCannotBeWrittenFail) {
  for (const char* args : {"--help", "--version"}) {
    SCOPED_TRACE(args);
    TempDir t;
    std::string cmd = std::string(KELVANE_BIN) + " " + args + " >/dev/full 2>" + t.file("err");
    int rc = system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(rc), 2);
    EXPECT_EQ(read_file(t.file("err")), "kelvane: cannot write '-': No space left on device\n");
  }
}

TEST(Run, MeasureOnATree) {
  RunResult r = run_kelvane("--measure -q --interval 0 --root " + fixture("kernel-rt"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "kelvane: --measure needs the live system; ignoring for a bundle\n");
}

TEST(Run, VerboseTwiceShowsProgressAndTheSameReport) {
  std::string base = "--interval 0 --root " + fixture("kernel-rt");
  RunResult one = run_kelvane(base + " -v");
  RunResult two = run_kelvane(base + " -v -v");
  EXPECT_EQ(one.out, two.out);
  EXPECT_NE(one.err.find("kelvane: collecting kernel\n"), std::string::npos);
  EXPECT_EQ(run_kelvane(base).err, "");
}

TEST(Run, LiveSystem) {
  RunResult r = run_kelvane("--interval 0 -f json -o -");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"host\": \""), std::string::npos);
  EXPECT_NE(r.out.find("\"source\": \"live system\""), std::string::npos);
  if (system("command -v python3 >/dev/null 2>&1") == 0) {
    TempDir t;
    t.write("r.json", r.out);
    EXPECT_EQ(system(("python3 -m json.tool " + t.file("r.json") + " >/dev/null").c_str()), 0);
  }
  r = run_kelvane("analyze --interval 0 -q");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Overall Score"), std::string::npos);
}

}  // namespace
