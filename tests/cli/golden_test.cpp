// End-to-end: the binary analyses fixture trees and must print exactly the
// expected reports kept under tests/golden, one test per case. Run with
// KELVANE_UPDATE_GOLDEN=1 to rewrite the expected files after a deliberate
// change (the run then fails with "goldens rewritten"), and review the diff.
// On a mismatch the actual output is written beside the build, under
// golden-actual/, so that `diff -u` shows it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "test_util.h"

namespace {

struct GoldenCase {
  const char* golden;  // file under tests/golden
  const char* args;    // run from tests/fixtures, so --root names are relative
  int status;
};

constexpr GoldenCase kCases[] = {
#include "cli/golden_cases.inc"
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.golden << ": " << c.args;
}

// Whether the run is privileged depends on who runs the tests, not on the
// fixture: both sides say "privileged" without the value.
std::string without_privilege(std::string doc) {
  for (const char* v : {"\"privileged\": true", "\"privileged\": false"}) {
    for (size_t at = doc.find(v); at != std::string::npos; at = doc.find(v, at))
      doc.replace(at, strlen(v), "\"privileged\": <either>");
  }
  return doc;
}

// The metrics file says when the run happened: both sides name the time.
std::string without_run_time(std::string doc) {
  const std::string key = "\nkelvane_last_run_timestamp_seconds ";
  size_t at = doc.find(key);
  if (at == std::string::npos) return doc;
  at += key.size();
  return doc.replace(at, doc.find('\n', at) - at, "<time>");
}

// The build directory: the kelvane binary lives there.
std::string build_dir() {
  std::string bin = KELVANE_BIN;
  return bin.substr(0, bin.rfind('/'));
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, Report) {
  const GoldenCase& c = GetParam();
  RunResult r = run_kelvane(c.args, "NO_COLOR= LC_ALL=C", tests_dir() + "/fixtures");
  r.out = without_run_time(r.out);
  EXPECT_EQ(r.status, c.status) << r.err;
  std::string path = tests_dir() + "/golden/" + c.golden;
  if (getenv("KELVANE_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << r.out;
    FAIL() << "goldens rewritten: " << path << " (review the diff, then run without "
           << "KELVANE_UPDATE_GOLDEN)";
  }
  std::string want = without_privilege(read_file(path));
  std::string got = without_privilege(r.out);
  if (got == want) return;
  std::string dir = build_dir() + "/golden-actual";
  mkdir(dir.c_str(), 0755);
  std::ofstream(dir + "/" + c.golden, std::ios::binary) << r.out;
  ADD_FAILURE() << "output differs from " << path << "; see: diff -u " << path << " " << dir << "/"
                << c.golden;
}

// Test names from the golden file names: letters and digits only.
std::string case_name(const ::testing::TestParamInfo<GoldenCase>& info) {
  std::string name;
  for (const char* p = info.param.golden; *p; p++) name += isalnum(*p) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(kCases), case_name);

}  // namespace
