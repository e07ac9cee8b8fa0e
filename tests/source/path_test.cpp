#include "source/path.h"

#include <string>

#include "source/source.h"
#include "test_util.h"

class NormalizePath : public ArenaTest {
 protected:
  std::string norm(const char* p) { return str(normalize_path(&arena, sv(p))); }
};

TEST_F(NormalizePath, CanonicalFormsOfOnePath) {
  for (const char* p :
       {"proc/version", "/proc/./version", "//proc//version/", "/sys/../proc/version",
        "/proc/version", "./proc/version/."}) {
    EXPECT_EQ(norm(p), "/proc/version") << p;
  }
}

TEST_F(NormalizePath, EmptyAndRootForms) {
  for (const char* p : {"", "/", "/..", "..", "//", "/./.", "a/..", "../../.."}) {
    EXPECT_EQ(norm(p), "/") << p;
  }
  EXPECT_EQ(str(normalize_path(&arena, kNoneView)), "/");
}

TEST_F(NormalizePath, BackslashIsANameByte) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\\b", "/a\\b"},
      {"/sys/devices/system/node/node\\/", "/sys/devices/system/node/node\\"},
      {"/sys/fs/cgroup/..\\evil/cpuset.cpus", "/sys/fs/cgroup/..\\evil/cpuset.cpus"},
      {"/a/\\/..", "/a"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(norm(in), out) << in;
}

TEST_F(NormalizePath, DotDotRemovesOnlyTheLastKeptComponent) {
  EXPECT_EQ(norm("/a/b/../c"), "/a/c");
  EXPECT_EQ(norm("/../a/../../b"), "/b");
  EXPECT_EQ(norm("/a/.../b"), "/a/.../b");
  EXPECT_EQ(norm("/a/..b/.c"), "/a/..b/.c");
}

TEST_F(NormalizePath, KeepsAtMost256Components) {
  std::string deep, expect;
  for (int i = 0; i < 300; i++) {
    deep += "/d" + std::to_string(i);
    if (i < 256) expect += "/d" + std::to_string(i);
  }
  EXPECT_EQ(norm(deep.c_str()), expect);
  // ".." still applies to the kept components.
  EXPECT_EQ(norm((deep + "/..").c_str()), expect.substr(0, expect.rfind('/')));
}

TEST_F(NormalizePath, ResultIsNulTerminated) {
  StrView v = normalize_path(&arena, sv_make("/a//b/xyz", 6));
  EXPECT_EQ(str(v), "/a/b");
  EXPECT_EQ(v.ptr[v.len], '\0');
}

TEST_F(NormalizePath, ACanonicalPathIsUsedWithoutACopy) {
  for (const char* p : {"/", "/proc/version", "/a/.b/c..", "/a b", "/a\\b", "/..\\"}) {
    StrView v = sv(p);
    EXPECT_EQ(normalize_path(&arena, v).ptr, v.ptr) << p;
  }
  for (const char* p : {"/a/", "/a//b", "/a/./b", "/a/..", "a"}) {
    StrView v = sv(p);
    EXPECT_NE(normalize_path(&arena, v).ptr, v.ptr) << p;
  }
}

TEST_F(NormalizePath, ParentAndBaseName) {
  const struct {
    const char* path;
    const char* parent;
    const char* base;
  } cases[] = {{"/a/b/c", "/a/b", "c"}, {"/a", "/", "a"}, {"/", "/", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(str(path_parent(sv(c.path))), c.parent) << c.path;
    EXPECT_EQ(str(path_base_name(sv(c.path))), c.base) << c.path;
  }
  EXPECT_TRUE(path_is_root(sv("/")));
  EXPECT_FALSE(path_is_root(sv("/a")));
}
