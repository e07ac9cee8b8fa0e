// No link of a tree (to a file, to a directory) shows or captures a file outside it.
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
