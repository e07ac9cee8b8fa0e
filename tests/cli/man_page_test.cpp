// The manual page: groff formats it without a warning, and it documents
// every option and subcommand --help names.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "test_util.h"

namespace {

// The page with roff's escaped hyphens ("\\-") as plain ones.
std::string man_page() {
  std::string page = read_file(tests_dir() + "/../doc/kelvane.1");
  for (size_t at = 0; (at = page.find("\\-", at)) != std::string::npos;) page.erase(at, 1);
  return page;
}

TEST(ManPage, FormatsWithoutWarnings) {
  if (std::system("command -v groff >/dev/null") != 0) GTEST_SKIP() << "groff missing";
  TempDir tmp;
  std::string cmd = "groff -ww -z -man " + tests_dir() + "/../doc/kelvane.1 2>" + tmp.file("err");
  int st = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  EXPECT_EQ(read_file(tmp.file("err")), "");
}

TEST(ManPage, DocumentsEveryOptionOfHelp) {
  std::string page = man_page();
  std::string help = read_file(tests_dir() + "/golden/usage.txt");
  std::regex option("--[a-z][a-z-]*");
  size_t seen = 0;
  for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) {
    EXPECT_NE(page.find(it->str()), std::string::npos) << it->str();
    seen++;
  }
  EXPECT_GE(seen, 19u);
  for (const char* word :
       {"analyze", "capture", "diff", "junit", "rt-report.xml", "openmetrics", "rt-report.prom"}) {
    EXPECT_NE(page.find(word), std::string::npos) << word;
  }
}

}  // namespace
