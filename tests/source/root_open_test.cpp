#include "source/root_open.h"

#include <fcntl.h>
#include <unistd.h>

#include "source/source.h"
#include "test_util.h"

namespace {

// A tree whose links try every way out to a file of a marker text.
struct EscapeTree {
  TempDir outside, tree;
  EscapeTree() {
    outside.write("secret", "OUTSIDE\n");
    tree.write("sys/y", "inside\n");
    tree.write("proc/1/stat", "1 (a) S\n");
    tree.write("sys/devices/system/cpu/cpufreq/policy0/scaling_governor", "performance\n");
    tree.write("sys/devices/system/cpu/cpu0/x", "");
    const std::pair<std::string, const char*> links[] = {
        {outside.file("secret"), "proc/cmdline"}, {outside.path, "proc/outdir"},
        {"/sys/y", "sys/x"}, {"../../../../../../../../.." + outside.file("secret"), "sys/up"},
        {"../cpufreq/policy0", "sys/devices/system/cpu/cpu0/cpufreq"}, {"loop", "sys/loop"}};
    for (const auto& [target, at] : links)
      EXPECT_EQ(symlink(target.c_str(), tree.file(at).c_str()), 0) << at;
  }
};

struct Case {
  const char* path;  // from the tree's root (in_root), else from its sys directory
  RootWalk mode;
  const char* out;  // what is read, or the errno
};

constexpr Case kCases[] = {
    {"proc/cmdline", RootWalk::in_root, "errno 2"},
    {"proc/outdir/secret", RootWalk::in_root, "errno 2"},
    {"sys/x", RootWalk::in_root, "inside\n"},
    {"sys/up", RootWalk::in_root, "errno 2"},
    {"/sys/../../sys/y", RootWalk::in_root, "inside\n"},
    {"sys/loop", RootWalk::in_root, "errno 40"},
    {"sys/devices/system/cpu/cpu0/cpufreq/scaling_governor", RootWalk::in_root, "performance\n"},
    {"x", RootWalk::beneath, "errno 18"},
    {"../sys/y", RootWalk::beneath, "errno 18"},
    {"devices/system/cpu/cpu0/cpufreq/scaling_governor", RootWalk::beneath, "performance\n"},
    {"devices/system/cpu/cpu0/cpufreq/scaling_governor", RootWalk::no_links, "errno 40"},
};

std::string outcome(int fd) {
  if (fd < 0) return "errno " + std::to_string(errno);
  char buf[64];
  ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  return std::string(buf, n < 0 ? 0 : static_cast<size_t>(n));
}

}  // namespace

// openat2 and the walk that stands in for it resolve alike, inside the tree;
// a look (O_PATH, which reads nothing) follows the same way.
TEST(RootOpen, LinksResolveInsideTheTree) {
  EscapeTree t;
  RootDir root = root_dir_open(t.tree.path.c_str(), true);
  int sys = open(t.tree.file("sys").c_str(), O_PATH | O_DIRECTORY);
  ASSERT_GE(root.fd, 0);
  for (const Case& c : kCases) {
    int at = c.mode == RootWalk::in_root ? root.fd : sys;
    EXPECT_EQ(outcome(root_openat(&root, at, c.path, O_RDONLY, c.mode)), c.out) << c.path;
    EXPECT_EQ(outcome(root_walk_open(at, c.path, O_RDONLY, c.mode)), c.out) << c.path;
    EXPECT_EQ(outcome(root_walk_open(at, c.path, O_PATH, c.mode)).empty(), c.out[0] != 'e');
  }
  const char* up = "sys/devices/system/cpu/cpu0/cpufreq/../policy0/scaling_governor";
  EXPECT_EQ(outcome(root_walk_open(root.fd, up, O_RDONLY, RootWalk::in_root)), "performance\n");
  for (int fd : {sys, root.fd}) close(fd);
}

class RootedSource : public ArenaTest {};

// Through a Source: reads, whether from the root or below the held directory,
// lists and globs stay inside the tree.
TEST_F(RootedSource, ReadsListsAndGlobsStayInside) {
  EscapeTree t;
  Source* src = open_source(t.tree.path);
  StrList l{}, g{};
  source_list(src, "/proc", &l);
  for (const Case& c : kCases) {
    if (c.mode != RootWalk::in_root) continue;
    std::string path = std::string("/") + c.path, text = c.out[0] == 'e' ? "<none>" : c.out;
    EXPECT_EQ(str(source_read(src, path.c_str())), text) << c.path;
  }
  EXPECT_EQ(str(source_read(src, "/proc/1/stat")), "1 (a) S\n");
  EXPECT_FALSE(source_exists(src, "/proc/cmdline"));
  source_glob(src, "/proc/outdir/*", &g);
  source_glob(src, "/proc/outdir/secret", &g);
  EXPECT_EQ(g.count, 0u);
  source_glob(src, "/sys/devices/system/cpu/cpu*/cpufreq/*", &g);
  ASSERT_EQ(g.count, 1u);
  EXPECT_EQ(str(source_read_view(src, g[0])), "performance\n");
}
