// -f html as automation meets it: the default file, "-" for standard
// output, and the wrote line.
#include <gtest/gtest.h>

#include "test_util.h"

namespace {

TEST(HtmlRun, PageGoesToItsDefaultFileOrStandardOutput) {
  std::string root = tests_dir() + "/fixtures/kernel-rt";
  TempDir cwd;
  RunResult r = run_kelvane("-f html --interval 0 --root " + root, "", cwd.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kelvane: wrote rt-report.html\n");
  std::string page = read_file(cwd.file("rt-report.html"));
  EXPECT_EQ(page.substr(0, 16), "<!doctype html>\n");
  r = run_kelvane("-f html -o - --interval 0 --root " + root, "", cwd.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, page);
}

}  // namespace
