// Capture as a user runs it, and analysis of what it wrote.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "test_util.h"

namespace {

std::string fixture(const char* name) { return tests_dir() + "/fixtures/" + name; }

TEST(CaptureRun, DefaultNameAndDashIsStandardOutput) {
  TempDir cwd;
  RunResult r = run_kelvane("capture --root " + fixture("kernel-rt"), "", cwd.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "kelvane: wrote rt-bundle.tar.gz\n");
  EXPECT_EQ(r.out, "");
  struct stat st;
  ASSERT_EQ(stat(cwd.file("rt-bundle.tar.gz").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  r = run_kelvane("capture -o - --root " + fixture("kernel-rt"), "", cwd.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  cwd.write("piped.tgz", r.out);
  EXPECT_EQ(run_kelvane("analyze piped.tgz -q --interval 0", "", cwd.path).status, 0);
}

TEST(CaptureRun, Failure) {
  RunResult r = run_kelvane("capture -o /nonexistent/dir/b.tar.gz --root " + fixture("kernel-rt"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("kelvane: capture failed: ", 0), 0u) << r.err;
}

TEST(CaptureRun, BundleAnalysesLikeItsTree) {
  TempDir cwd;
  ASSERT_EQ(run_kelvane("capture -o b.tar.gz --root " + fixture("kernel-generic"), "", cwd.path)
                .status,
            0);
  std::string args = " --interval 0 -v";
  RunResult tree = run_kelvane("--root " + fixture("kernel-generic") + args);
  RunResult bundle = run_kelvane("analyze b.tar.gz" + args, "", cwd.path);
  RunResult rooted = run_kelvane("--root b.tar.gz" + args, "", cwd.path);
  EXPECT_EQ(bundle.status, 0);
  EXPECT_EQ(bundle.out, rooted.out);
  // Only the source line differs.
  auto without_source = [](std::string s) {
    size_t at = s.find("Source:");
    return s.erase(at, s.find('\n', at) - at);
  };
  EXPECT_EQ(without_source(bundle.out), without_source(tree.out));
  // --measure is ignored for a bundle, with a message.
  RunResult m = run_kelvane("analyze b.tar.gz --measure -q --interval 0", "", cwd.path);
  EXPECT_EQ(m.status, 0);
  EXPECT_EQ(m.err, "kelvane: --measure needs the live system; ignoring for a bundle\n");
}

// This machine captured, then analysed from the bundle: the same findings as
// the live analysis. Only the source label and the live flag differ.
TEST(CaptureRun, LiveCaptureAnalysesLikeTheLiveSystem) {
  TempDir cwd;
  RunResult cap = run_kelvane("capture -o live.tar.gz", "", cwd.path);
  ASSERT_EQ(cap.status, 0) << cap.err;
  std::string args = " --interval 0 -f json -o -";
  RunResult live = run_kelvane(args);
  RunResult bundle = run_kelvane("analyze live.tar.gz" + args, "", cwd.path);
  ASSERT_EQ(bundle.status, 0) << bundle.err;
  auto findings = [](const std::string& doc) {
    size_t from = doc.find("\"findings\""), to = doc.find("\"snapshot\"");
    return doc.substr(from, to - from);
  };
  EXPECT_EQ(findings(bundle.out), findings(live.out));
  EXPECT_NE(bundle.out.find("\"source\": \"live.tar.gz\""), std::string::npos);
}

// The boot line keeps what the analysis reads: a redacted bundle grades alike.
TEST(CaptureRun, RedactedBundleGradesLikeThePlainOne) {
  TempDir cwd;
  for (const char* flag : {"", " --redact"}) {
    std::string cap = std::string("capture -o b") + (*flag ? "r" : "p") + ".tgz" + flag;
    ASSERT_EQ(run_kelvane(cap + " --root " + fixture("rich"), "", cwd.path).status, 0);
  }
  auto findings = [&](const char* bundle) {
    std::string doc = run_kelvane(std::string("analyze ") + bundle + " -f json -o -", "", cwd.path).out;
    size_t from = doc.find("\"findings\""), to = doc.find("\"snapshot\"");
    return doc.substr(from, to - from);
  };
  EXPECT_EQ(findings("br.tgz"), findings("bp.tgz"));
  EXPECT_NE(findings("br.tgz").find("isolation.nohz_full"), std::string::npos);
}

TEST(CaptureRun, NotABundle) {
  TempDir cwd;
  cwd.write("notes.txt", "hello, not an archive\n");
  RunResult r = run_kelvane("analyze notes.txt", "", cwd.path);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("kelvane: ", 0), 0u);
  EXPECT_EQ(r.out, "");
  r = run_kelvane("--root /dev/null");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: '/dev/null' is neither a directory nor a bundle file\n");
}

}  // namespace
