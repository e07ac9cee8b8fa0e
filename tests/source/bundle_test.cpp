#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "bundle_test_util.h"
#include "source/tar_reader.h"
#include "tar_builder.h"

namespace {

std::string simple_archive() {
  TarBuilder t;
  t.dir("./proc/irq/17/")
      .file("./proc/irq/17/smp_affinity", "f\n")
      .file("./proc/cpuinfo", "cpu\n")
      .end();
  return t.bytes;
}

// A member past kMaxFileSize reads as a file too large, as in a tree.
TEST_F(BundleTest, MembersPastTheBoundAreRefused) {
  TarBuilder t;
  t.file("./proc/big", std::string(kMaxFileSize + 1, ' ')).file("./proc/stat", "cpu\n").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr) << err_text;
  EXPECT_EQ(read(s, "/proc/stat") + read(s, "/proc/big"), "cpu\n<none>");
  EXPECT_EQ(errors(s), std::vector<std::string>{"/proc/big=EFBIG"});
}

TEST_F(BundleTest, GzipAndPlainLoadTheSameMembers) {
  for (const std::string& b : {simple_archive(), gzip_bytes(simple_archive())}) {
    Source* s = load(b);
    ASSERT_NE(s, nullptr) << err_text;
    EXPECT_FALSE(s->live);
    EXPECT_STREQ(s->label, "b.tar");
    EXPECT_EQ(str(s->root), "");
    EXPECT_EQ(read(s, "/proc/cpuinfo"), "cpu\n");
    EXPECT_EQ(read(s, "/proc/irq/17/smp_affinity"), "f\n");
    EXPECT_EQ(list(s, "/proc/irq"), Strings{"17"});
    EXPECT_EQ(list(s, "/"), Strings{"proc"});
    EXPECT_EQ(list(s, "/proc"), (Strings{"cpuinfo", "irq"}));
  }
}

TEST_F(BundleTest, ReadErrorsMatchTheTreeKind) {
  Source* s = load(simple_archive());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read(s, "/proc/irq/17"), "<none>");
  EXPECT_EQ(read(s, "/proc/missing"), "<none>");
  EXPECT_EQ(read(s, "/proc/missing"), "<none>");
  EXPECT_EQ(list(s, "/nothere"), Strings{});
  EXPECT_EQ(list(s, "/proc/cpuinfo"), Strings{});
  EXPECT_EQ(read(s, "/"), "<none>");
  EXPECT_EQ(errors(s), (Strings{"/proc/irq/17=EISDIR", "/proc/missing=ENOENT", "/nothere=ENOENT",
                                "/proc/cpuinfo=ENOTDIR", "/=EISDIR"}));
  // exists records nothing
  EXPECT_TRUE(source_exists(s, "/proc/irq/17"));
  EXPECT_TRUE(source_exists(s, "/"));
  EXPECT_FALSE(source_exists(s, "/proc/ir"));
  EXPECT_EQ(s->read_errors.count, 5u);
}

TEST_F(BundleTest, DirectoriesAreSynthesized) {
  TarBuilder t;
  t.file("./proc/cpuinfo", "x").file("./sys/devices/system/cpu/online", "0-3\n").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(source_exists(s, "/proc"));
  EXPECT_TRUE(source_exists(s, "/sys/devices/system"));
  EXPECT_FALSE(source_exists(s, "/sys/devices/system/cpu/online/x"));
  EXPECT_EQ(list(s, "/"), (Strings{"proc", "sys"}));
  EXPECT_EQ(list(s, "/sys/devices/system"), Strings{"cpu"});
  EXPECT_EQ(read(s, "/sys"), "<none>");
  EXPECT_EQ(errors(s), Strings{"/sys=EISDIR"});
  auto* idx = static_cast<BundleIndex*>(s->ctx);
  EXPECT_EQ(idx->members.count, 2u + 5u);
}

TEST_F(BundleTest, LaterDuplicateWins) {
  TarBuilder t;
  t.file("./proc/version", "old").file("proc/version", "new").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read(s, "/proc/version"), "new");
  EXPECT_EQ(list(s, "/proc"), Strings{"version"});
  EXPECT_EQ(glob(s, "/proc/*"), Strings{"/proc/version"});
}

TEST_F(BundleTest, LinksDevicesAndUnknownTypesAreSkipped) {
  TarBuilder t;
  t.member("./proc/self", '2').member("./proc/hard", '1').member("./dev/null", '3');
  t.file("./proc/version", "v").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read(s, "/proc/self"), "<none>");
  EXPECT_FALSE(source_exists(s, "/dev"));
  EXPECT_EQ(list(s, "/proc"), Strings{"version"});
  EXPECT_EQ(errors(s), Strings{"/proc/self=ENOENT"});
}

TEST_F(BundleTest, LongNames) {
  std::string deep = "sys/devices/" + std::string(120, 'a') + "/name";
  std::string pax = "sys/devices/" + std::string(150, 'p') + "/value";
  TarBuilder t;
  t.long_name("./" + deep).file("./trunc-gnu", "gnu");
  t.pax_path(pax).file("./trunc-pax", "pax");
  t.member("cpuinfo", '0', "prefixed", "./proc");
  t.file("./after", "plain");
  t.end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr) << err_text;
  EXPECT_EQ(read(s, ("/" + deep).c_str()), "gnu");
  EXPECT_EQ(read(s, ("/" + pax).c_str()), "pax");
  EXPECT_EQ(read(s, "/proc/cpuinfo"), "prefixed");
  EXPECT_EQ(read(s, "/after"), "plain");
  EXPECT_FALSE(source_exists(s, "/trunc-gnu"));
  EXPECT_FALSE(source_exists(s, "/trunc-pax"));
}

TEST_F(BundleTest, LongNameIsDroppedBySkippedMember) {
  TarBuilder t;
  t.long_name("./proc/long").member("./proc/link", '2').file("./proc/next", "n").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(list(s, "/proc"), Strings{"next"});
}

TEST_F(BundleTest, GnuHeaderIgnoresPrefixArea) {
  // GNU headers ("ustar  ") may keep access times where ustar keeps the prefix.
  std::string h = TarBuilder::header("./proc/version", '0', 1, "01234567012", nullptr, "ustar  ");
  Source* s = load(h + TarBuilder::padded("v") + std::string(1024, '\0'));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read(s, "/proc/version"), "v");
}

TEST_F(BundleTest, NameCleaning) {
  EXPECT_EQ(str(tar_clean_name(&arena, sv("./proc/cpuinfo"))), "/proc/cpuinfo");
  EXPECT_EQ(str(tar_clean_name(&arena, sv("././proc/irq/17/"))), "/proc/irq/17");
  EXPECT_EQ(str(tar_clean_name(&arena, sv("proc//x/../y"))), "/proc/y");
  EXPECT_EQ(str(tar_clean_name(&arena, sv("./"))), "/");
  EXPECT_EQ(str(tar_clean_name(&arena, sv("../../etc/passwd"))), "/etc/passwd");
  TarBuilder t;
  t.dir("./").dir("./..").file("./a", "a").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(static_cast<BundleIndex*>(s->ctx)->members.count, 1u);
}

TEST_F(BundleTest, PaxRecords) {
  EXPECT_EQ(str(tar_pax_path(sv("30 mtime=1234567890.123456789\n19 path=./proc/abc\n"))),
            "./proc/abc");
  EXPECT_EQ(str(tar_pax_path(sv("12 uid=1000\n"))), "<none>");
  EXPECT_EQ(str(tar_pax_path(sv("99 path=x\n"))), "<none>");  // longer than the data
  EXPECT_EQ(str(tar_pax_path(sv("0 path=x\n"))), "<none>");   // no progress
  EXPECT_EQ(str(tar_pax_path(sv("9path=x\n"))), "<none>");    // no space
  EXPECT_EQ(str(tar_pax_path(sv("99999999999999999999999 path=x\n"))), "<none>");
  EXPECT_EQ(str(tar_pax_path(sv("11 path=ab\n11 path=cd\n"))), "cd");
}

TEST_F(BundleTest, ErrorTexts) {
  EXPECT_EQ(load("x"), nullptr);
  EXPECT_EQ(err_text, "'b.tar' contains no readable members");
  EXPECT_EQ(load(std::string(100, '\0')), nullptr);
  EXPECT_EQ(err_text, "'b.tar' contains no readable members");
  EXPECT_EQ(load(std::string(1024, '\0')), nullptr);
  EXPECT_EQ(err_text, "'b.tar' contains no readable members");
  EXPECT_EQ(load(gzip_bytes("short")), nullptr);
  EXPECT_EQ(err_text, "'b.tar' contains no readable members");
  EXPECT_EQ(load("\x1f\x8b garbage that is not deflate data"), nullptr);
  EXPECT_EQ(err_text, "'b.tar' is not a readable gzip bundle");
  std::string gz = gzip_bytes(simple_archive());
  EXPECT_EQ(load(gz.substr(0, gz.size() / 2)), nullptr);
  EXPECT_EQ(err_text, "'b.tar' is not a readable gzip bundle");

  std::string bad =
      TarBuilder::header("./proc/x", '0', 0, "", "77777777777") + std::string(1024, '\0');
  EXPECT_EQ(load(bad), nullptr);
  EXPECT_EQ(err_text, "bundle is corrupt: implausible member size");

  std::string a = simple_archive();
  EXPECT_EQ(load(a.substr(0, 512 * 4 + 1)), nullptr);  // inside the cpuinfo data block
  EXPECT_EQ(err_text, "bundle is truncated");
  ASSERT_NE(load(a.substr(0, a.size() - 700)), nullptr) << err_text;   // inside the end blocks
  ASSERT_NE(load(a.substr(0, a.size() - 1024)), nullptr) << err_text;  // no end blocks at all
}

TEST_F(BundleTest, FileErrorTexts) {
  TempDir d;
  EXPECT_EQ(open(d.file("missing.tar.gz")), nullptr);
  EXPECT_EQ(err_text, "cannot open '" + d.file("missing.tar.gz") + "': No such file or directory");
  d.write("empty", "");
  StrView err{};
  EXPECT_EQ(bundle_open(&arena, d.file("empty").c_str(), &err), nullptr);
  EXPECT_EQ(str(err), "'" + d.file("empty") + "' is empty or unreadable");
  d.write("b.tgz", gzip_bytes(simple_archive()));
  Source* s = open(d.file("b.tgz"));
  ASSERT_NE(s, nullptr) << err_text;
  EXPECT_EQ(std::string(s->label), d.file("b.tgz"));
  EXPECT_EQ(read(s, "proc//cpuinfo"), "cpu\n");
  if (geteuid() != 0) {
    chmod(d.file("b.tgz").c_str(), 0);
    EXPECT_EQ(open(d.file("b.tgz")), nullptr);
    EXPECT_EQ(err_text, "cannot open '" + d.file("b.tgz") + "': Permission denied");
  }
}

// Another process cuts the bundle short after it was looked at: what is left
// is read and refused (a mapped file would die of SIGBUS on the lost pages).
TEST_F(BundleTest, BundleShrinkingWhileLoadedIsRefused) {
  std::string noise(1 << 16, '\0');
  uint32_t x = 1;
  for (char& c : noise) c = static_cast<char>(x = x * 1103515245u + 12345u, x >> 24);
  TarBuilder t;
  t.file("./noise", noise).end();
  TempDir d;
  std::string path = d.file("b.tgz");
  d.write("b.tgz", gzip_bytes(t.bytes));
  int fd = ::open(path.c_str(), O_RDONLY);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  ASSERT_GT(st.st_size, 3 * 4096);
  ASSERT_EQ(truncate(path.c_str(), 4096), 0);
  StrView err{};
  EXPECT_EQ(bundle_load_fd(&arena, path.c_str(), fd, static_cast<uint64_t>(st.st_size), &err),
            nullptr);
  close(fd);
  EXPECT_EQ(str(err), "'" + path + "' is not a readable gzip bundle");
}

TEST_F(BundleTest, InflateCeilingRefusesBombs) {
  TarBuilder t;
  t.file("./big", std::string(1 << 20, 'z')).end();
  std::string gz = gzip_bytes(t.bytes);
  EXPECT_LT(gz.size(), 8192u);
  EXPECT_EQ(load(gz, 1 << 19), nullptr);
  EXPECT_EQ(err_text, "'b.tar' is not a readable gzip bundle");
  EXPECT_EQ(load(gz, t.bytes.size() - 1), nullptr);
  ASSERT_NE(load(gz, t.bytes.size()), nullptr) << err_text;  // exactly at the ceiling
  // Bytes after the gzip stream are ignored, even when they would make the
  // size hint at the end of the file lie.
  ASSERT_NE(load(gz + std::string("\x10\0\0\0", 4), 1 << 22), nullptr) << err_text;
  ASSERT_NE(load(gz + std::string("\xff\xff\xff\x7f", 4), 1 << 22), nullptr) << err_text;
}

TEST_F(BundleTest, HostileDepthIsRefused) {
  TarBuilder t;
  for (int i = 0; i < 64; i++) {
    std::string name = "./u" + std::to_string(i);
    for (int d = 0; d < 200; d++) name += "/d";
    t.long_name(name).file("./x", "");
  }
  t.end();
  EXPECT_EQ(load(t.bytes), nullptr);
  EXPECT_EQ(err_text, "bundle is corrupt: implausible member names");
}

TEST_F(BundleTest, ZeroBlocksDoNotEndTheWalk) {
  TarBuilder t;
  t.file("./a", "1").end().file("./b", "2").end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read(s, "/b"), "2");
}

TEST_F(BundleTest, GlobRules) {
  TarBuilder t;
  t.file("./proc/irq/10/smp_affinity", "a").file("./proc/irq/2/smp_affinity", "b");
  t.file("./proc/irq/2/node", "c")
      .dir("./proc/irq/2/eth0/")
      .file("./proc/irq/default_smp_affinity", "d");
  t.file("./proc/.hidden/x", "h").file("./proc/sys/kernel/sched_rt_runtime_us", "1");
  t.end();
  Source* s = load(t.bytes);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(glob(s, "/proc/irq/[0-9]*/smp_affinity"),
            (Strings{"/proc/irq/10/smp_affinity", "/proc/irq/2/smp_affinity"}));
  EXPECT_EQ(glob(s, "/proc/irq/2/*"),
            (Strings{"/proc/irq/2/eth0", "/proc/irq/2/node", "/proc/irq/2/smp_affinity"}));
  EXPECT_EQ(glob(s, "/proc/*/x"), Strings{});  // no leading dot
  EXPECT_EQ(glob(s, "/proc/.*/x"), Strings{"/proc/.hidden/x"});
  EXPECT_EQ(glob(s, "/proc/irq*"), Strings{"/proc/irq"});  // never across "/"
  EXPECT_EQ(glob(s, "/proc/sys/kernel/sched_*"), Strings{"/proc/sys/kernel/sched_rt_runtime_us"});
  EXPECT_EQ(glob(s, "/nothing/*"), Strings{});
  EXPECT_EQ(glob(s, "proc//irq/../irq/1?/smp_affinity"), Strings{"/proc/irq/10/smp_affinity"});
  EXPECT_TRUE(s->read_errors.count == 0);
}

}  // namespace

namespace {

TEST(BundleDriverTest, BundleErrorsEndTheRunWithStatusTwo) {
  TempDir d;
  d.write("zeros.tar", std::string(1024, '\0'));
  RunResult r = run_kelvane("analyze " + d.file("zeros.tar") + " --interval 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: '" + d.file("zeros.tar") + "' contains no readable members\n");
  EXPECT_EQ(r.out, "");
  r = run_kelvane("--root " + d.file("zeros.tar") + " --interval 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kelvane: '" + d.file("zeros.tar") + "' contains no readable members\n");
}

}  // namespace
