// The analysis of a tree and of the bundle captured from it must agree:
// the bundle Source answers every read, list and glob as the tree does.
#include <string>

#include "bundle_test_util.h"
#include "machine_tree.h"
#include "source/capture.h"

namespace {

// The JSON document without its "source" line, which names the input, and
// without the read errors of the tool paths, which only a bundle records.
std::string without_source(const std::string& json) {
  std::string out;
  size_t pos = 0;
  while (pos < json.size()) {
    size_t nl = json.find('\n', pos);
    if (nl == std::string::npos) nl = json.size();
    std::string line = json.substr(pos, nl - pos);
    bool differs = line.find("\"source\":") != std::string::npos ||
                   line.find("/.kelvane/cmd/which_") != std::string::npos;
    if (!differs) out += line + "\n";
    pos = nl + 1;
  }
  return out;
}

TEST_F(BundleTest, AnalysisOfTreeEqualsAnalysisOfItsBundle) {
  TempDir tree, out;
  make_machine_tree(tree);
  std::string bundle = out.file("b.tgz");
  Source* src = open(tree.path);
  ASSERT_NE(src, nullptr);
  StrView err{};
  ASSERT_TRUE(capture_bundle(&arena, src, bundle.c_str(), false, &err)) << str(err);
  RunResult from_tree = run_kelvane("--root " + tree.path + " --interval 0 -f json -o -");
  RunResult from_bundle = run_kelvane("analyze " + bundle + " --interval 0 -f json -o -");
  ASSERT_EQ(from_tree.status, from_bundle.status) << from_tree.err << from_bundle.err;
  ASSERT_NE(from_tree.out.find("\"source\""), std::string::npos) << from_tree.out;
  EXPECT_NE(from_bundle.out.find(bundle), std::string::npos);
  EXPECT_EQ(without_source(from_tree.out), without_source(from_bundle.out));
  RunResult via_root = run_kelvane("--root " + bundle + " --interval 0 -f json -o -");
  EXPECT_EQ(via_root.out, from_bundle.out);
}

}  // namespace
