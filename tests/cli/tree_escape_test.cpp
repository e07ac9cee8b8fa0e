// A tree given with --root cannot show or capture a file outside itself.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "test_util.h"

namespace {

constexpr const char* kMarker = "OUTSIDE-MARKER-7f3a";

struct Escape {
  const char* name;
  const char* link;    // made in the tree
  const char* target;  // below the outside directory
};

}  // namespace

TEST(TreeEscape, OutsideFilesAreNeitherReportedNorCaptured) {
  const Escape cases[] = {
      {"file link", "proc/cmdline", "/cmdline"},
      {"directory link", "proc/sys", ""},
  };
  for (const Escape& c : cases) {
    TempDir outside, tree, cwd;
    outside.write("cmdline", std::string("BOOT_IMAGE=/vmlinuz ") + kMarker + "\n");
    outside.write("kernel/hostname", std::string(kMarker) + "\n");
    tree.write("proc/version", read_file(tests_dir() + "/fixtures/kernel-minimal/proc/version"));
    std::string target = outside.path + c.target;
    ASSERT_EQ(symlink(target.c_str(), tree.file(c.link).c_str()), 0);
    for (const char* args : {" -v --interval 0", " -f json -o - --interval 0"}) {
      RunResult r = run_kelvane("--root " + tree.path + args);
      EXPECT_EQ(r.out.find(kMarker), std::string::npos) << c.name << args;
      EXPECT_EQ(r.err.find(kMarker), std::string::npos) << c.name << args;
    }
    ASSERT_EQ(run_kelvane("capture -o b.tgz --root " + tree.path, "", cwd.path).status, 0);
    std::string cmd = "gzip -dc " + cwd.file("b.tgz") + " >" + cwd.file("b.tar");
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string bundle = read_file(cwd.file("b.tar"));
    EXPECT_GT(bundle.size(), 0u);
    EXPECT_EQ(bundle.find(kMarker), std::string::npos) << c.name;
  }
}
