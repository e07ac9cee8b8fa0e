#include "source/capture.h"
#include "source/capture_boot.h"

#include <sys/stat.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "bundle_test_util.h"
#include "machine_tree.h"

namespace {

struct Entry {
  std::string name;
  char type;
  std::string data;
};

// Walks an uncompressed archive as written by capture.
std::vector<Entry> entries(const std::string& tar) {
  std::vector<Entry> out;
  size_t h = 0;
  while (h + 512 <= tar.size() && tar[h] != 0) {
    std::string name(tar.c_str() + h);
    if (name.size() > 100) name.resize(100);
    std::string prefix(tar.c_str() + h + 345);
    if (prefix.size() > 155) prefix.resize(155);
    if (!prefix.empty()) name = prefix + "/" + name;
    size_t size = std::stoul(tar.substr(h + 124, 12), nullptr, 8);
    out.push_back({name, tar[h + 156], tar.substr(h + 512, size)});
    h += 512 + (size + 511) / 512 * 512;
  }
  return out;
}

class CaptureTest : public BundleTest {
 protected:
  TempDir tree, out;
  std::string bundle;
  void SetUp() override {
    BundleTest::SetUp();
    make_machine_tree(tree);
    bundle = out.file("rt-bundle.tar.gz");
  }
  bool capture(Source* src, bool redact, const std::string& path) {
    StrView err{};
    bool ok = capture_bundle(&arena, src, path.c_str(), redact, &err);
    err_text = ok ? "" : str(err);
    return ok;
  }
  std::vector<Entry> captured(bool redact) {
    Source* src = open(tree.path);
    EXPECT_NE(src, nullptr);
    EXPECT_TRUE(capture(src, redact, bundle)) << err_text;
    return entries(gunzip_bytes(read_file(bundle)));
  }
  std::string tar_ok(const std::string& args) {
    std::string cmd = "tar " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) text.append(buf, n);
    int rc = pclose(p);
    EXPECT_EQ(rc, 0) << text;
    return text;
  }
};

TEST_F(CaptureTest, MemberOrderAndContents) {
  std::vector<Entry> e = captured(false);
  std::vector<std::string> names;
  for (const Entry& x : e) names.push_back(std::string(1, x.type) + " " + x.name);
  std::string idle = "./sys/devices/system/cpu/cpu0/cpuidle/";
  EXPECT_EQ(names, (Strings{
                       "0 ./proc/version",
                       "0 ./proc/cmdline",
                       "0 ./proc/cpuinfo",
                       "0 ./proc/config.gz",
                       "0 ./boot/config-6.1.0-rt",
                       "0 ./sys/devices/system/cpu/online",
                       "0 ./sys/devices/system/cpu/cpu0/topology/core_id",
                       "0 " + idle + "state0/latency",
                       "0 " + idle + long_idle_name(),
                       "0 ./proc/interrupts",
                       "0 ./proc/irq/default_smp_affinity",
                       "0 ./proc/irq/17/smp_affinity",
                       "0 ./proc/irq/17/node",
                       "0 ./proc/sys/kernel/sched_rt_runtime_us",
                       "0 ./proc/sys/kernel/hostname",
                       "5 ./proc/irq/17/",
                       "5 ./proc/irq/17/eth0/",
                       "0 ./proc/1/cmdline",
                       "0 ./proc/1/task/1/stat",
                       "0 ./proc/1/task/1/status",
                       "0 ./proc/1/task/7/stat",
                       "0 ./proc/1/task/7/status",
                       "5 ./.kelvane/",
                       "5 ./.kelvane/cmd/",
                       "0 ./.kelvane/cmd/which_chrt",
                       "0 ./.kelvane/cmd/which_tuna",
                       "5 ./.kelvane/derived/",
                       "0 ./.kelvane/derived/meta",
                   }));
  EXPECT_EQ(e[3].data, read_file(tree.file("proc/config.gz")));  // stored compressed
  EXPECT_EQ(e[1].data, "BOOT_IMAGE=/vmlinuz isolcpus=2-3 password=hunter2\n");
  EXPECT_EQ(e[24].data, "/usr/bin/chrt");
  EXPECT_EQ(e[25].data, "/sbin/tuna");
  std::regex meta(
      "tool=kelvane\nformat=1\ncaptured_at=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\nhost="
      "myhost\nredacted=no\n");
  EXPECT_TRUE(std::regex_match(e.back().data, meta)) << e.back().data;
}

// A concrete file name that the pattern matches: "[0-9]*" becomes "7", any
// other "*" becomes "x".
std::string concrete(std::string p) {
  for (size_t at; (at = p.find("[0-9]*")) != std::string::npos;) p.replace(at, 6, "7");
  for (size_t at; (at = p.find('*')) != std::string::npos;) p.replace(at, 1, "x");
  return p;
}

TEST_F(CaptureTest, CopyListOrder) {
  const size_t n = capture_copy_count();
  ASSERT_EQ(n, 97u);
  // One file per entry, holding its position in the list.
  TempDir full;
  for (size_t i = 0; i < n; i++) full.write(concrete(capture_copy_entry(i)).substr(1), std::to_string(i));
  Source* src = open(full.path);
  ASSERT_NE(src, nullptr);
  ASSERT_TRUE(capture(src, false, bundle)) << err_text;
  std::vector<Entry> e = entries(gunzip_bytes(read_file(bundle)));
  ASSERT_GE(e.size(), n);
  for (size_t i = 0; i < n; i++) {
    EXPECT_EQ(e[i].name, "." + concrete(capture_copy_entry(i))) << i;
    // Boot configuration files keep only the lines the analysis reads.
    if (boot_file_kind(sv_from_cstr(capture_copy_entry(i))) == BootFileKind::none) {
      EXPECT_EQ(e[i].data, std::to_string(i)) << i;
    }
  }
  Strings rest;
  for (size_t i = n; i < e.size(); i++) rest.push_back(std::string(1, e[i].type) + " " + e[i].name);
  EXPECT_EQ(rest, (Strings{"5 ./sys/kernel/debug/sched/fair_server/cpu7/", "5 ./proc/irq/7/",
                           "5 ./.kelvane/", "5 ./.kelvane/cmd/",
                           "5 ./.kelvane/derived/", "0 ./.kelvane/derived/meta"}));
}

TEST_F(CaptureTest, Redaction) {
  std::vector<Entry> e = captured(true);
  int checked = 0;
  for (const Entry& x : e) {
    if (x.name == "./proc/cmdline") {  // the parameters the analysis reads stay
      EXPECT_EQ(x.data, "BOOT_IMAGE=/vmlinuz isolcpus=2-3 password=redacted\n");
      checked++;
    }
    if (x.name == "./proc/1/cmdline") {
      EXPECT_EQ(x.data, "") << x.name;
      checked++;
    }
    if (x.name == "./proc/sys/kernel/hostname") {
      EXPECT_EQ(x.data, "redacted\n");
      checked++;
    }
    if (x.name == "./.kelvane/derived/meta") {
      EXPECT_NE(x.data.find("\nhost=redacted\nredacted=yes\n"), std::string::npos) << x.data;
      checked++;
    }
    EXPECT_EQ(x.data.find("hunter2"), std::string::npos);
    EXPECT_EQ(x.data.find("s3cret"), std::string::npos);
    EXPECT_EQ(x.data.find("myhost"), std::string::npos);
  }
  EXPECT_EQ(checked, 4);
}

TEST_F(CaptureTest, BundleIsPrivateToItsOwner) {
  out.write("rt-bundle.tar.gz", "old");
  chmod(bundle.c_str(), 0644);
  captured(false);
  struct stat st;
  ASSERT_EQ(stat(bundle.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string fresh = out.file("fresh.tgz");
  ASSERT_TRUE(capture(open(tree.path), false, fresh));
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(CaptureTest, RoundTripThroughTheBundleSource) {
  std::vector<Entry> e = captured(false);
  Source* b = open(bundle);
  ASSERT_NE(b, nullptr) << err_text;
  Source* t = open(tree.path);
  size_t files = 0;
  for (const Entry& x : e) {
    std::string abs = x.name.substr(1);
    if (abs.back() == '/') {
      EXPECT_TRUE(source_exists(b, abs.c_str())) << abs;
      continue;
    }
    StrView got;
    ASSERT_TRUE(b->ops.read_raw(b, normalize_path(&arena, sv(abs.c_str())), &got)) << abs;
    if (abs.rfind("/.kelvane", 0) != 0) {
      StrView want;
      ASSERT_TRUE(t->ops.read_raw(t, sv(abs.c_str()), &want)) << abs;
      EXPECT_EQ(str(got), str(want)) << abs;
      files++;
    }
  }
  EXPECT_EQ(files, 20u);
  EXPECT_EQ(read(b, "/proc/config.gz"), "CONFIG_PREEMPT_RT=y\n");  // inflated on read
  EXPECT_EQ(list(b, "/proc/irq/17"), (Strings{"eth0", "node", "smp_affinity"}));
  EXPECT_EQ(list(b, "/proc/1/task"), (Strings{"1", "7"}));
}

TEST_F(CaptureTest, GnuTarListsAndExtractsIt) {
  captured(false);
  std::string listing = tar_ok("tzf " + bundle);
  EXPECT_NE(listing.find("./sys/devices/system/cpu/cpu0/cpuidle/" + long_idle_name() + "\n"),
            std::string::npos);
  EXPECT_NE(listing.find("./proc/irq/17/eth0/\n"), std::string::npos);
  TempDir x;
  tar_ok("xzf " + bundle + " -C " + x.path);
  EXPECT_EQ(read_file(x.file("sys/devices/system/cpu/cpu0/cpuidle/" + long_idle_name())), "long\n");
  EXPECT_EQ(read_file(x.file("proc/config.gz")), read_file(tree.file("proc/config.gz")));
  EXPECT_EQ(read_file(x.file("proc/1/cmdline")), read_file(tree.file("proc/1/cmdline")));
  EXPECT_EQ(read_file(x.file(".kelvane/cmd/which_chrt")), "/usr/bin/chrt");
}

TEST_F(CaptureTest, CapturingABundleCopiesItsMembers) {
  std::vector<Entry> first = captured(false);
  Source* b = open(bundle);
  ASSERT_NE(b, nullptr);
  std::string again = out.file("again.tgz");
  ASSERT_TRUE(capture(b, false, again)) << err_text;
  std::vector<Entry> second = entries(gunzip_bytes(read_file(again)));
  std::vector<std::string> a, c;
  for (const Entry& x : first)
    if (x.name.find("which_") == std::string::npos && x.name.find("meta") == std::string::npos)
      a.push_back(x.name + "=" + x.data);
  for (const Entry& x : second)
    if (x.name.find("meta") == std::string::npos) c.push_back(x.name + "=" + x.data);
  EXPECT_EQ(a, c);
}

TEST_F(CaptureTest, Failures) {
  Source* src = open(tree.path);
  std::string nodir = out.file("no/such/dir/b.tgz");
  EXPECT_FALSE(capture(src, false, nodir));
  EXPECT_EQ(err_text, "cannot write '" + nodir + "': No such file or directory");
  EXPECT_FALSE(capture(src, false, "/dev/full"));
  EXPECT_EQ(err_text, "refusing to write '/dev/full': it is a character device");
}

TEST_F(CaptureTest, MissingFilesAreSkippedQuietly) {
  std::vector<Entry> e = captured(false);
  for (const Entry& x : e) EXPECT_NE(x.name, "./proc/uptime");
  Source* t = open(tree.path);
  StrView err{};
  ASSERT_TRUE(capture_bundle(&arena, t, bundle.c_str(), false, &err));
  bool recorded = false;
  for (const ReadError& r : t->read_errors) recorded |= str(r.path) == "/proc/uptime";
  EXPECT_TRUE(recorded);
}

}  // namespace

// Words after "--" are init's arguments: every one is redacted, bare or not.
TEST_F(CaptureTest, InitArgumentsAreRedactedWhole) {
  for (auto [line, kept] : {std::pair{"quiet isolcpus=2 -- token s=x\n", "quiet isolcpus=2 -- redacted redacted\n"},
                            {"ro --  single", "ro --  redacted"}, {"ro --x", "ro --x"}})
    EXPECT_EQ(str(boot_line_redact(&arena, sv(line))), kept);
}
