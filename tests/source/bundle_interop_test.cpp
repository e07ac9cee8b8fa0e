// A tree packed by GNU tar, in each of its formats, must load and answer
// every Source operation exactly as the tree itself does.
#include <filesystem>
#include <string>

#include "bundle_test_util.h"
#include "machine_tree.h"

namespace {

namespace fs = std::filesystem;

class BundleInteropTest : public BundleTest {
 protected:
  TempDir tree, out;
  void SetUp() override {
    BundleTest::SetUp();
    make_machine_tree(tree);
    std::string deep = "sys/devices/platform/" + std::string(90, 'd') + "/" + std::string(90, 'e');
    tree.write(deep + "/value", "deep\n");
    tree.write("proc/.dot/x", "dot\n");
    tree.write("proc/irq/2/smp_affinity", "1\n");
    tree.write("proc/irq/10/smp_affinity", "2\n");
  }
  Source* pack(const std::string& opts) {
    std::string file = out.file("t.tar");
    std::string cmd = "tar " + opts + " -f " + file + " -C " + tree.path + " .";
    EXPECT_EQ(system(cmd.c_str()), 0) << cmd;
    return open(file);
  }
  void expect_same(Source* b, Source* t) {
    ASSERT_NE(b, nullptr) << err_text;
    for (const auto& e : fs::recursive_directory_iterator(tree.path)) {
      std::string abs = e.path().string().substr(tree.path.size());
      if (e.is_directory())
        EXPECT_EQ(list(b, abs.c_str()), list(t, abs.c_str())) << abs;
      else
        EXPECT_EQ(read(b, abs.c_str()), read(t, abs.c_str())) << abs;
      EXPECT_TRUE(source_exists(b, abs.c_str())) << abs;
    }
    EXPECT_EQ(list(b, "/"), list(t, "/"));
    for (const char* p :
         {"/proc/irq/[0-9]*/smp_affinity", "/proc/*", "/proc/*/x", "/proc/.*/x",
          "/proc/*/task/*/stat", "/sys/devices/system/cpu/cpu[0-9]*/cpuidle/state[0-9]*/*",
          "/sys/kernel/tracing/*", "/*/irq", "/sys/devices/platform/*/*/value", "/nothing*"})
      EXPECT_EQ(glob(b, p), glob(t, p)) << p;
    for (const char* p : {"/proc/missing", "/proc/irq/17", "/proc/version/x"}) {
      read(b, p);
      read(t, p);
    }
    for (const char* p : {"/proc/none", "/proc/version"}) {
      list(b, p);
      list(t, p);
    }
    EXPECT_EQ(errors(b), errors(t));
  }
};

TEST_F(BundleInteropTest, GnuFormatWithDotSlash) {
  expect_same(pack("-cz"), open(tree.path));
}

TEST_F(BundleInteropTest, GnuFormatWithoutDotSlash) {
  std::string file = out.file("t.tar");
  ASSERT_EQ(system(("tar cf " + file + " -C " + tree.path + " proc sys boot usr sbin").c_str()), 0);
  expect_same(open(file), open(tree.path));
}

TEST_F(BundleInteropTest, PaxFormat) {
  expect_same(pack("--format=pax -cz"), open(tree.path));
}

TEST_F(BundleInteropTest, UstarFormatUsesThePrefix) {
  expect_same(pack("--format=ustar -c"), open(tree.path));
}

}  // namespace
