// A backslash is a byte of a name on Linux, never a separator: a cgroup named
// "node\" or "..\evil" is itself in the analysis of a tree and of its bundle,
// beside the fixture's own invalid partition, found after it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "test_util.h"

TEST(BackslashNames, CgroupsKeepTheirNamesThroughCaptureAndAnalysis) {
  for (const char* name : {"node\\", "..\\evil", "a\\b\\c", ".hidden"}) {
    TempDir tree, cwd;
    std::string copy = "cp -r " + tests_dir() + "/fixtures/cgroup-partitions/. " + tree.path;
    ASSERT_EQ(std::system(copy.c_str()), 0);
    tree.write(std::string("sys/fs/cgroup/") + name + "/cpuset.cpus.partition", "root invalid\n");
    ASSERT_EQ(run_kelvane("capture -o b.tgz --root " + tree.path, "", cwd.path).status, 0);
    std::string shown = std::string("cgroup partition /sys/fs/cgroup/") + name + " is invalid";
    for (const std::string& source : {tree.path, cwd.file("b.tgz")}) {
      std::string out = run_kelvane("--root '" + source + "' --interval 0").out;
      EXPECT_NE(out.find(shown), std::string::npos) << source << ": " << name;
      EXPECT_NE(out.find("cgroup partition /sys/fs/cgroup/batch/jobs is invalid"), std::string::npos)
          << name;
    }
  }
}
