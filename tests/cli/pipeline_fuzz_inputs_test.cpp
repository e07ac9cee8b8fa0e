// The whole-pipeline fuzz targets' seeds (packed from the fixture trees) and
// every input they kept go through both harnesses again.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "../../fuzz/pipeline_check.h"
#include "../../fuzz/tree_vs_bundle.h"
#include "test_util.h"

namespace {

TEST(PipelineFuzzInputs, SeedsAndKeptInputsKeepEveryInvariant) {
  TempDir work;
  std::string seeds = work.path + "/seeds";
  std::string pack =
      tests_dir() + "/../fuzz/pipeline_seeds.sh " + seeds + " " + work.path + "/dict";
  ASSERT_EQ(system(pack.c_str()), 0);
  std::vector<std::string> inputs = files_in(seeds);
  EXPECT_GE(inputs.size(), 15u);
  for (const char* kept : {"pipeline", "tree_vs_bundle"}) {
    for (const std::string& f : files_in(tests_dir() + "/fixtures/fuzz/" + kept))
      inputs.push_back(f);
  }
  std::string tree = work.path + "/tree";
  ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
  for (const std::string& path : inputs) {
    SCOPED_TRACE(path);
    std::string bytes = read_file(path);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const char* bad = pipeline_check_input(data, bytes.size());
    EXPECT_EQ(bad, nullptr) << bad;
    bad = tree_vs_bundle_check_input(data, bytes.size(), tree.c_str());
    EXPECT_EQ(bad, nullptr) << bad;
  }
}

}  // namespace
