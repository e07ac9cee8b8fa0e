// A backslash is a byte of a name on Linux, never a separator: a tree's
// cgroup named "node\" or "..\evil" is itself, in the analysis of the tree
// and of its bundle.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_util.h"

TEST(BackslashNames, CgroupsKeepTheirNamesThroughCaptureAndAnalysis) {
  // Each beside the fixture's own invalid partition (batch/jobs), which
  // the walk finds after it.
  for (const char* name : {"node\\", "..\\evil", "a\\b\\c", ".hidden"}) {
    TempDir tree, cwd;
    std::string copy = "cp -r " + tests_dir() + "/fixtures/cgroup-partitions/. " + tree.path;
    ASSERT_EQ(std::system(copy.c_str()), 0);
    tree.write(std::string("sys/fs/cgroup/") + name + "/cpuset.cpus.partition",
               "root invalid (Parent is not a partition root)\n");
    ASSERT_EQ(run_kelvane("capture -o b.tgz --root " + tree.path, "", cwd.path).status, 0);
    std::string shown = std::string("cgroup partition /sys/fs/cgroup/") + name + " is invalid";
    for (const std::string& source : {tree.path, cwd.file("b.tgz")}) {
      RunResult r = run_kelvane("--root '" + source + "' --interval 0");
      EXPECT_NE(r.out.find(shown), std::string::npos) << source << ": " << name;
      EXPECT_NE(r.out.find("2 cpuset partitions are invalid"), std::string::npos) << name;
    }
  }
}
