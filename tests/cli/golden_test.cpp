// End-to-end: the binary analyses fixture trees and must print exactly the
// expected reports kept under tests/golden. Run with KELVANE_UPDATE_GOLDEN=1
// to rewrite the expected files after a deliberate change, then review the
// diff.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

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

// The expected JSON documents were made as root; run by anyone else the
// Snapshot says so.
std::string as_this_user(std::string doc) {
  const std::string root = "\"privileged\": true", user = "\"privileged\": false";
  size_t at = doc.find(root);
  if (geteuid() != 0 && at != std::string::npos) doc.replace(at, root.size(), user);
  return doc;
}

TEST(Golden, Reports) {
  bool update = getenv("KELVANE_UPDATE_GOLDEN") != nullptr;
  for (const GoldenCase& c : kCases) {
    SCOPED_TRACE(c.golden);
    RunResult r = run_kelvane(c.args, "NO_COLOR= LC_ALL=C", tests_dir() + "/fixtures");
    EXPECT_EQ(r.status, c.status) << r.err;
    std::string path = tests_dir() + "/golden/" + c.golden;
    if (update) std::ofstream(path, std::ios::binary) << r.out;
    EXPECT_EQ(r.out, as_this_user(read_file(path)));
  }
}

}  // namespace
