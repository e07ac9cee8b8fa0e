#include "source/root_open.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "source/source.h"
#include "test_util.h"

namespace {

// A tree whose links try every way out, with an outside file of a marker
// text that no read may return.
struct EscapeTree {
  TempDir outside, tree;
  EscapeTree() {
    outside.write("secret", "OUTSIDE-MARKER\n");
    tree.write("sys/y", "inside\n");
    tree.write("sys/devices/system/cpu/cpufreq/policy0/scaling_governor", "performance\n");
    link(outside.file("secret"), "proc/cmdline");
    link(outside.path, "proc/outdir");
    link("/sys/y", "sys/x");
    link("../../../../../../../../../.." + outside.file("secret"), "sys/up");
    link("../cpufreq/policy0", "sys/devices/system/cpu/cpu0/cpufreq");
    link("/proc/outdir/secret", "sys/chain");
    link("loop", "sys/loop");
  }
  void link(const std::string& target, const std::string& at) {
    tree.write(at + ".tmp", "");
    unlink(tree.file(at + ".tmp").c_str());
    EXPECT_EQ(symlink(target.c_str(), tree.file(at).c_str()), 0) << at;
  }
};

struct Case {
  const char* path;  // relative to the tree
  const char* text;  // what is read, or null
  int err;           // errno when nothing is read
};

constexpr Case kCases[] = {
    {"proc/cmdline", nullptr, ENOENT},
    {"proc/outdir/secret", nullptr, ENOENT},
    {"sys/x", "inside\n", 0},
    {"sys/up", nullptr, ENOENT},
    {"sys/../../../sys/y", "inside\n", 0},
    {"/sys/y", "inside\n", 0},
    {"sys/chain", nullptr, ENOENT},
    {"sys/loop", nullptr, ELOOP},
    {"sys/devices/system/cpu/cpu0/cpufreq/scaling_governor", "performance\n", 0},
};

std::string outcome(int fd) {
  if (fd < 0) return "errno " + std::to_string(errno);
  char buf[64];
  ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  return std::string(buf, n < 0 ? 0 : static_cast<size_t>(n));
}

std::string expected(const Case& c) {
  return c.text ? c.text : "errno " + std::to_string(c.err);
}

}  // namespace

// openat2 and the walk that stands in for it resolve alike, inside the tree.
TEST(RootOpen, LinksResolveInsideTheTree) {
  EscapeTree t;
  RootDir root = root_dir_open(t.tree.path.c_str(), true);
  ASSERT_GE(root.fd, 0);
  for (const Case& c : kCases) {
    EXPECT_EQ(outcome(root_openat(&root, root.fd, c.path, O_RDONLY, RootWalk::in_root)),
              expected(c))
        << c.path;
    EXPECT_EQ(outcome(root_walk_open(root.fd, c.path, O_RDONLY, RootWalk::in_root)), expected(c))
        << c.path;
    // A look (O_PATH) follows the same way.
    int look = root_walk_open(root.fd, c.path, O_PATH, RootWalk::in_root);
    EXPECT_EQ(look >= 0, c.text != nullptr) << c.path;
    if (look >= 0) close(look);
  }
  // ".." goes up from where a link led, as the kernel resolves it.
  const char* up = "sys/devices/system/cpu/cpu0/cpufreq/../policy0/scaling_governor";
  EXPECT_EQ(outcome(root_openat(&root, root.fd, up, O_RDONLY, RootWalk::in_root)), "performance\n");
  EXPECT_EQ(outcome(root_walk_open(root.fd, up, O_RDONLY, RootWalk::in_root)), "performance\n");
  close(root.fd);
}

// Below a directory of the tree, a lookup that would leave it is refused
// (EXDEV), and with no_links every link is.
TEST(RootOpen, BeneathAndNoLinks) {
  EscapeTree t;
  int sys = open(t.tree.file("sys").c_str(), O_PATH | O_DIRECTORY);
  ASSERT_GE(sys, 0);
  RootDir root{sys, true, false};
  const struct {
    const char* name;
    RootWalk mode;
    const char* out;
  } cases[] = {
      {"x", RootWalk::beneath, "errno 18"},
      {"../sys/y", RootWalk::beneath, "errno 18"},
      {"devices/system/cpu/cpu0/cpufreq/scaling_governor", RootWalk::beneath, "performance\n"},
      {"devices/system/cpu/cpu0/cpufreq/scaling_governor", RootWalk::no_links, "errno 40"},
      {"y", RootWalk::no_links, "inside\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(outcome(root_openat(&root, sys, c.name, O_RDONLY, c.mode)), c.out) << c.name;
    EXPECT_EQ(outcome(root_walk_open(sys, c.name, O_RDONLY, c.mode)), c.out) << c.name;
  }
  close(sys);
}

class RootedSource : public ArenaTest {};

// Through a Source: a refused read is recorded and returns nothing; exists,
// list and glob stay inside the tree as well.
TEST_F(RootedSource, ReadsListsAndGlobsStayInside) {
  EscapeTree t;
  Source* src = open_source(t.tree.path);
  for (const Case& c : kCases) {
    std::string path = std::string("/") + c.path;
    StrView v = source_read(src, path.c_str());
    EXPECT_EQ(str(v), c.text ? c.text : "<none>") << c.path;
  }
  EXPECT_FALSE(source_exists(src, "/proc/cmdline"));
  EXPECT_TRUE(source_exists(src, "/sys/x"));
  StrList l{};
  source_list(src, "/proc/outdir", &l);
  EXPECT_EQ(l.count, 0u);
  StrList g{};
  source_glob(src, "/proc/outdir/*", &g);
  source_glob(src, "/proc/outdir/secret", &g);
  EXPECT_EQ(g.count, 0u);
  source_glob(src, "/sys/devices/system/cpu/cpu*/cpufreq/*", &g);
  ASSERT_EQ(g.count, 1u);
  EXPECT_EQ(str(source_read_view(src, g[0])), "performance\n");
  // Below a held directory too, where names without links are looked up
  // from it directly.
  t.tree.write("proc/1/stat", "1 (a) S\n");
  source_list(src, "/proc", &l);
  const std::pair<const char*, const char*> held[] = {
      {"/proc/1/stat", "1 (a) S\n"}, {"/proc/cmdline", "<none>"}, {"/proc/outdir/secret", "<none>"}};
  for (const auto& [path, text] : held) EXPECT_EQ(str(source_read(src, path)), text) << path;
  source_list(src, "/sys", &l);
  EXPECT_EQ(str(source_read(src, "/sys/x")), "inside\n");
  EXPECT_EQ(source_read(src, "/sys/up").ptr, nullptr);
}
