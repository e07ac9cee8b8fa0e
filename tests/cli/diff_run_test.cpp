// kelvane diff and -f junit as a user meets them: the binary run on fixture
// trees, bundles and JSON reports, its output read back by real consumers.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_util.h"

namespace {

std::string fixtures() { return tests_dir() + "/fixtures"; }

int shell(const std::string& cmd) {
  int st = std::system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A JSON report and a bundle of the same machine: nothing changed.
TEST(DiffRun, JsonReportAgainstBundleOfTheSameMachine) {
  TempDir tmp;
  std::string json = tmp.file("after.json"), bundle = tmp.file("after.tar.gz");
  ASSERT_EQ(run_kelvane("--root diff-after --interval 0 -f json -o " + json, "", fixtures()).status,
            0);
  ASSERT_EQ(run_kelvane("capture --root diff-after -o " + bundle, "", fixtures()).status, 0);
  RunResult r = run_kelvane("diff " + json + " " + bundle + " -f json");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"changed\": false,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"score_delta\": 0,"), std::string::npos);
  EXPECT_NE(r.out.find("\"fixed\": [],\n  \"regressed\": [],"), std::string::npos);
  // Without -o even the JSON diff goes to standard output: a default file
  // name would overwrite the rt-report.json being compared.
  r = run_kelvane("diff rt-report.json " + bundle + " -f json", "", tmp.path);
  EXPECT_EQ(r.status, 2);
  std::rename(json.c_str(), tmp.file("rt-report.json").c_str());
  json = tmp.file("rt-report.json");
  r = run_kelvane("diff rt-report.json " + bundle + " -f json", "", tmp.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\"changed\": false,"), std::string::npos);
  EXPECT_EQ(read_file(json).substr(0, 13), "{\n  \"score\": ");
  r = run_kelvane("diff " + bundle + " " + json + " --no-color");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("No change -- "), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

// A tree is graded with the JSON side's profile and target; two JSON reports
// graded differently are not compared.
TEST(DiffRun, LikeWithLike) {
  TempDir tmp;
  std::string ll = tmp.file("ll.json"), hard = tmp.file("hard.json");
  std::string base = "--root diff-after --interval 0 -f json -o ";
  ASSERT_EQ(run_kelvane(base + ll + " --profile low-latency", "", fixtures()).status, 0);
  ASSERT_EQ(run_kelvane(base + hard, "", fixtures()).status, 0);
  RunResult r = run_kelvane("diff " + ll + " diff-after -f json", "", fixtures());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\"changed\": false,"), std::string::npos);
  r = run_kelvane("diff " + ll + " " + hard);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: cannot compare a low-latency report (target 1000 µs) with a hard-rt "
                   "report (target 100 µs)\n");
}

TEST(DiffRun, BadAndForeignJsonAreRefused) {
  TempDir tmp;
  tmp.write("foreign.json", "{\"name\": \"not a report\", \"findings\": []}\n");
  tmp.write("cut.json", "{\"score\": 88, \"verdict\": \"go");
  tmp.write("empty.json", "");
  tmp.write("text.txt", "score 88\n");
  for (const char* name : {"foreign.json", "cut.json", "empty.json", "text.txt"}) {
    SCOPED_TRACE(name);
    std::string path = tmp.file(name);
    RunResult r = run_kelvane("diff " + path + " diff-after", "", fixtures());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kelvane: '" + path + "' is not a kelvane report\n");
    r = run_kelvane("diff diff-after " + path, "", fixtures());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "kelvane: '" + path + "' is not a kelvane report\n");
  }
}

TEST(DiffRun, UsageErrors) {
  const struct {
    const char* args;
    const char* err;
  } cases[] = {
      {"diff", "kelvane: diff needs two reports: kelvane diff OLD NEW [options]\n"},
      {"diff diff-after", "kelvane: diff needs two reports: kelvane diff OLD NEW [options]\n"},
      {"diff diff-after diff-after diff-after",
       "kelvane: diff needs two reports: kelvane diff OLD NEW [options]\n"},
      {"diff diff-after diff-after -f junit", "kelvane: diff writes text or json\n"},
      {"diff /nonexistent diff-after",
       "kelvane: cannot open '/nonexistent': No such file or directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    RunResult r = run_kelvane(c.args, "", fixtures());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

// Options and the two operands mix like any other words; -o writes a file.
TEST(DiffRun, WritesTheFileNamedByOutput) {
  TempDir tmp;
  std::string out = tmp.file("d.json");
  RunResult r = run_kelvane("diff -f json diff-after -o " + out + " diff-regressed", "", fixtures());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kelvane: wrote " + out + "\n");
  EXPECT_EQ(read_file(out), read_file(tests_dir() + "/golden/diff-regression.json"));
}

// Texts in a report file are as untrusted as the machine it describes: no
// control byte of a title reaches the terminal.
TEST(DiffRun, ControlBytesFromAReportNeverReachTheTerminal) {
  TempDir tmp;
  std::string old_doc = tmp.file("old.json");
  ASSERT_EQ(run_kelvane("--root diff-after --interval 0 -f json -o " + old_doc, "", fixtures()).status,
            0);
  tmp.write("new.json",
            "{\"score\": 10, \"tool_version\": \"9\\u001b]0;x\\u0007\", \"category_scores\": {},"
            " \"findings\": [{\"id\": \"preempt.x\", \"category\": \"preemption\","
            " \"severity\": \"fail\", \"title\": \"\\u001b[2Jgone\\nfake line\"}]}");
  RunResult r = run_kelvane("diff " + old_doc + " " + tmp.file("new.json") + " --no-color");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.out.find('\x07'), std::string::npos);
  EXPECT_NE(r.out.find("(kelvane 9?]0;x?)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("?[2Jgone?fake line"), std::string::npos);
}

// The JUnit file is well-formed XML and a real consumer (junitparser) counts
// in it exactly the findings of the JSON report of the same machine.
TEST(DiffRun, JunitIsReadBackByJunitparser) {
  if (shell("command -v xmllint >/dev/null && /usr/bin/python3 -c 'import junitparser'") != 0) {
    GTEST_SKIP() << "xmllint or python3-junitparser missing (scripts/install-test-deps.sh)";
  }
  TempDir tmp;
  for (const char* tree : {"kernel-generic", "kernel-rt", "kernel-minimal", "diff-regressed"}) {
    SCOPED_TRACE(tree);
    std::string xml = tmp.file(std::string(tree) + ".xml"), json = tmp.file("r.json");
    RunResult r = run_kelvane(std::string("--root ") + tree + " --interval 0 -f junit -o " + xml,
                              "", fixtures());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "kelvane: wrote " + xml + "\n");
    ASSERT_EQ(run_kelvane(std::string("--root ") + tree + " --interval 0 -f json -o " + json, "",
                          fixtures()).status,
              0);
    EXPECT_EQ(shell("xmllint --noout " + xml), 0);
    std::string script =
        "import json, sys, junitparser\n"
        "from junitparser import JUnitXml, Failure, Skipped\n"
        "rep = json.load(open(sys.argv[2]))\n"
        "xml = JUnitXml.fromfile(sys.argv[1])\n"
        "suites = list(xml)\n"
        "cases = [c for s in suites for c in s]\n"
        "kinds = [type(r).__name__ for c in cases for r in c.result]\n"
        "f = rep['findings']\n"
        "want = (len({x['category'] for x in f}), len(f),\n"
        "        sum(x['severity'] == 'fail' for x in f),\n"
        "        sum(x['severity'] in ('unknown', 'na') for x in f))\n"
        "got = (len(suites), len(cases), kinds.count('Failure'), kinds.count('Skipped'))\n"
        "tot = (xml.tests, xml.failures, xml.skipped)\n"
        "ok = got == want and tot == want[1:]\n"
        "ok = ok and [c.name.split(':')[0] for c in cases] == [x['id'] for x in f]\n"
        "sys.exit(0 if ok else print(got, tot, want) or 1)\n";
    tmp.write("check.py", script);
    EXPECT_EQ(shell("/usr/bin/python3 " + tmp.file("check.py") + " " + xml + " " + json), 0);
  }
}

}  // namespace
