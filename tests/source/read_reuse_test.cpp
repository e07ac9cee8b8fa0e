#include <string>

#include "gz_util.h"
#include "source/capture.h"
#include "source/source.h"
#include "test_util.h"

namespace {

class ReadReuseTest : public ArenaTest {
 protected:
  Source* open(const std::string& path) { return open_source(path); }
  std::string read(Source* src, const char* path) {
    return str(source_read_reuse(src, sv(path), &buf));
  }
  std::string error_of(Source* src, const std::string& path) {
    for (const ReadError& e : src->read_errors)
      if (str(e.path) == path) return str(e.name);
    return "<none>";
  }
  ReadBuf buf{};
};

TEST_F(ReadReuseTest, TreeReadsShareOneBuffer) {
  TempDir d;
  d.write("proc/1/stat", "one\n");
  d.write("proc/2/stat", "two\n");
  std::string big(100000, 'x');
  d.write("big", big);
  d.write("config.gz", gzip_bytes("CONFIG_HZ=1000\n"));
  Source* src = open(d.path);
  EXPECT_EQ(read(src, "/proc/1/stat"), "one\n");
  const char* first = buf.data;
  EXPECT_EQ(read(src, "proc//2/./stat"), "two\n");  // normalised like any read
  EXPECT_EQ(buf.data, first);
  EXPECT_EQ(read(src, "/big"), big);  // grows to fit
  EXPECT_GT(buf.cap, big.size());
  EXPECT_EQ(read(src, "/proc/1/stat"), "one\n");
  EXPECT_EQ(read(src, "/config.gz"), "CONFIG_HZ=1000\n");

  EXPECT_EQ(read(src, "/proc/9/stat"), "<none>");
  EXPECT_EQ(error_of(src, "/proc/9/stat"), "ENOENT");
  EXPECT_EQ(read(src, "/proc/1"), "<none>");
  EXPECT_EQ(error_of(src, "/proc/1"), "EISDIR");
  EXPECT_EQ(read(src, "/proc/../proc/1/stat/"), "one\n");
}

TEST_F(ReadReuseTest, EmptyFileIsPresent) {
  TempDir d;
  d.write("empty", "");
  Source* src = open(d.path);
  StrView v = source_read_reuse(src, sv("/empty"), &buf);
  EXPECT_TRUE(v.ptr);
  EXPECT_EQ(v.len, 0u);
}

TEST_F(ReadReuseTest, BundleAnswersItsMembers) {
  TempDir d, out;
  d.write("proc/1/task/1/stat", "1 (init) S\n");
  Source* tree = open(d.path);
  StrView err{};
  ASSERT_TRUE(capture_bundle(&arena, tree, out.file("b.tgz").c_str(), false, &err)) << str(err);
  Source* bundle = open(out.file("b.tgz"));
  EXPECT_EQ(read(bundle, "/proc/1/task/1/stat"), "1 (init) S\n");
  EXPECT_EQ(buf.data, nullptr);  // served from the bundle, nothing copied
  EXPECT_EQ(read(bundle, "/proc/2/task/2/stat"), "<none>");
  EXPECT_EQ(error_of(bundle, "/proc/2/task/2/stat"), "ENOENT");
}

}  // namespace
