#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "bundle_test_util.h"
#include "source/tar_reader.h"
#include "source/tar_writer.h"
#include "tar_builder.h"

namespace {

std::string expected_header(const std::string& name, const char* mode, const char* size, char type,
                            const std::string& prefix = "") {
  std::string h(512, '\0');
  h.replace(0, name.size(), name);
  h.replace(100, 8, std::string(mode) + '\0');
  h.replace(108, 8, std::string("0000000") + '\0');
  h.replace(116, 8, std::string("0000000") + '\0');
  h.replace(124, 12, std::string(size) + '\0');
  h.replace(136, 12, std::string("14524770400") + '\0');  // 1700000000
  h[156] = type;
  h.replace(257, 6, std::string("ustar") + '\0');
  h.replace(263, 2, "00");
  h.replace(265, 4, "root");
  h.replace(297, 4, "root");
  h.replace(345, prefix.size(), prefix);
  h.replace(148, 8, "        ");
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  char chk[8];
  snprintf(chk, sizeof(chk), "%06o", sum);
  h.replace(148, 6, chk);
  h[154] = '\0';
  h[155] = ' ';
  return h;
}

std::string fill(StrView path, uint64_t size, bool dir, bool* ok = nullptr) {
  std::string block(512, 'x');
  bool r = tar_header_fill(&block[0], path, size, dir, 1700000000);
  if (ok) *ok = r;
  return block;
}

TEST_F(BundleTest, HeaderBytes) {
  EXPECT_EQ(fill(sv("/proc/cpuinfo"), 1234, false),
            expected_header("./proc/cpuinfo", "0000644", "00000002322", '0'));
  EXPECT_EQ(fill(sv("///proc/irq/17"), 99, true),
            expected_header("./proc/irq/17/", "0000755", "00000000000", '5'));
  // GNU tar agrees on the checksum: the reader does not verify it, so check it here.
  std::string h = fill(sv("/a"), 0, false);
  unsigned sum = 0;
  for (int i = 0; i < 512; i++) sum += static_cast<unsigned char>(i >= 148 && i < 156 ? ' ' : h[i]);
  EXPECT_EQ(std::stoul(h.substr(148, 6), nullptr, 8), sum);
}

TEST_F(BundleTest, LongNamesUseThePrefixField) {
  std::string dir = "sys/devices/pci0000:00/0000:00:1f.0/" + std::string(60, 'd');
  std::string path = "/" + dir + "/" + std::string(70, 'f');
  bool ok = false;
  std::string h = fill(StrView{path.data(), path.size()}, 5, false, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(h, expected_header(std::string(70, 'f'), "0000644", "00000000005", '0', "./" + dir));
  // The reader puts it back together.
  std::string tar = h + TarBuilder::padded("hello") + std::string(1024, '\0');
  Source* s = load(tar);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(read(s, path.c_str()), "hello");

  // The longest names that still fit, and the first that does not.
  std::string p155 = "/" + std::string(152, 'p') + "/" + std::string(100, 'n');  // "./" + 152 = 154
  fill(StrView{p155.data(), p155.size()}, 0, false, &ok);
  EXPECT_TRUE(ok);
  std::string too_long_name = "/x/" + std::string(101, 'n');
  fill(StrView{too_long_name.data(), too_long_name.size()}, 0, false, &ok);
  EXPECT_FALSE(ok);
  std::string too_long_prefix = "/" + std::string(160, 'p') + "/n";
  fill(StrView{too_long_prefix.data(), too_long_prefix.size()}, 0, false, &ok);
  EXPECT_FALSE(ok);
  std::string exactly99 = "/" + std::string(97, 'a');  // "./" + 97 bytes
  EXPECT_EQ(fill(StrView{exactly99.data(), exactly99.size()}, 0, false, &ok).substr(0, 100),
            "./" + std::string(97, 'a') + '\0');
  EXPECT_TRUE(ok);
}

TEST_F(BundleTest, WriterPadsDataAndEnds) {
  TarWriter w{&arena, nullptr, 0, 0};
  EXPECT_TRUE(tar_write_entry(&w, sv("/e"), sv(""), false));
  EXPECT_TRUE(tar_write_entry(&w, sv("/f"), sv("abc"), false));
  std::string block(512, 'b');
  EXPECT_TRUE(tar_write_entry(&w, sv("/g"), StrView{block.data(), block.size()}, false));
  EXPECT_TRUE(tar_write_entry(&w, sv("/d"), sv("ignored"), true));
  std::string huge = "/" + std::string(300, 'h');
  EXPECT_FALSE(tar_write_entry(&w, StrView{huge.data(), huge.size()}, sv("x"), false));
  tar_write_end(&w);
  TempDir d;
  std::string path = d.file("t.gz");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_TRUE(tar_write_gzip(&w, fd));
  close(fd);
  std::string tar = gunzip_bytes(read_file(path));
  ASSERT_EQ(tar.size(), 512u * (1 + 2 + 2 + 1 + 2));
  EXPECT_EQ(tar.substr(1024, 3), "abc");
  EXPECT_EQ(tar.substr(1027, 509), std::string(509, '\0'));
  EXPECT_EQ(tar.substr(2048, 512), block);
  EXPECT_EQ(tar.substr(2560, 4), "./d/");
  EXPECT_EQ(tar.substr(3072), std::string(1024, '\0'));
}

TEST_F(BundleTest, WriterReportsAFailedWrite) {
  TarWriter w{&arena, nullptr, 0, 0};
  tar_write_end(&w);
  int fd = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(tar_write_gzip(&w, fd));
  close(fd);
}

}  // namespace
