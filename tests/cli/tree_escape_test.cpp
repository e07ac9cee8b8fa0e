// A tree is read as the machine it stands for: no link (to a file, to a
// directory) shows or captures a file outside it, and names keep every byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "test_util.h"

TEST(TreeEscape, OutsideFilesAreNeitherReportedNorCaptured) {
  const char* marker = "OUTSIDE-MARKER-7f3a";
  const char* cases[][2] = {
      {"proc/cmdline", "/cmdline"}, {"proc/sys/kernel/hostname", "/h"}, {"proc/sys", ""}};
  for (const auto& [link, target] : cases) {
    TempDir outside, tree, cwd;
    outside.write("cmdline", std::string("BOOT_IMAGE=/vmlinuz ") + marker + "\n");
    outside.write("kernel/hostname", marker);
    outside.write("h", marker);
    tree.write("proc/version", read_file(tests_dir() + "/fixtures/kernel-minimal/proc/version"));
    if (std::string(link).find("kernel") != std::string::npos) tree.write("proc/sys/kernel/x", "");
    ASSERT_EQ(symlink((outside.path + target).c_str(), tree.file(link).c_str()), 0);
    for (const char* args : {" -v --interval 0", " -f json -o - --interval 0"}) {
      RunResult r = run_kelvane("--root " + tree.path + args);
      EXPECT_EQ((r.out + r.err).find(marker), std::string::npos) << link << args;
    }
    ASSERT_EQ(run_kelvane("capture -o b.tgz --root " + tree.path, "", cwd.path).status, 0);
    ASSERT_EQ(std::system(("gzip -dc " + cwd.file("b.tgz") + " >" + cwd.file("b.tar")).c_str()), 0);
    EXPECT_EQ(read_file(cwd.file("b.tar")).find(marker), std::string::npos) << link;
  }
}

// A backslash is a byte of a name on Linux, never a separator: a cgroup named
// "node\" or "..\evil" is itself in the analysis of a tree and of its bundle,
// beside the fixture's own invalid partition, found after it.
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
