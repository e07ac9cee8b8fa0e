#include "source/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "gz_util.h"
#include "source/pm_qos_hold.h"
#include "source/source_open.h"
#include "test_util.h"

namespace {

int count_lines_starting(const std::string& text, const std::string& prefix) {
  int n = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    if (text.compare(pos, prefix.size(), prefix) == 0) n++;
    pos = end + 1;
  }
  return n;
}

// Fails the whole test binary rather than hanging forever.
struct HangGuard {
  HangGuard() { alarm(20); }
  ~HangGuard() { alarm(0); }
};

// Finding the holder of /dev/cpu_dma_latency through a /proc laid out in a
// temporary directory: fd links, this process skipped, the lowest pid taken.
TEST(PmQosHold, TheLowestOtherPidWithTheDeviceOpen) {
  Arena a;
  arena_init(&a);
  TempDir t;
  int32_t value = 20;
  t.write("dev", std::string(reinterpret_cast<const char*>(&value), sizeof value));
  std::string self = std::to_string(getpid());
  struct Proc { std::string pid; const char* target; const char* comm; };
  for (const Proc& p : {Proc{self, "dev", "kelvane"}, Proc{"900", "dev", "late"},
                        Proc{"812", "dev", "ct\x1brl\n"}, Proc{"7", "other", "noise"}}) {
    t.write("proc/" + p.pid + "/comm", p.comm);
    t.write("proc/" + p.pid + "/fd/.keep", "");
    ASSERT_EQ(symlink(t.file(p.target).c_str(), t.file("proc/" + p.pid + "/fd/3").c_str()), 0);
  }
  PmQosHolder h = {};
  ASSERT_TRUE(pm_qos_find_holder(&a, t.file("proc").c_str(), t.file("dev").c_str(), &h));
  EXPECT_EQ(h.pid, 812);
  EXPECT_TRUE(h.value_known);
  EXPECT_EQ(h.value_us, 20);
  StrView text = pm_qos_holder_text(&a, &h);
  EXPECT_EQ(std::string(text.ptr, text.len), "pid 812 (ct?rl)");
  EXPECT_FALSE(pm_qos_find_holder(&a, t.file("proc").c_str(), t.file("none").c_str(), &h));
  EXPECT_FALSE(h.held);
  arena_release(&a);
}

}  // namespace

class SourceTest : public ArenaTest {
 protected:
  Source* open(const std::string& path) { return open_source(path); }
  std::string open_error(const char* path) {
    StrView err{};
    EXPECT_EQ(source_open(&arena, path, &err), nullptr);
    return str(err);
  }
  std::string error_of(Source* src, const char* path) {
    for (const ReadError& e : src->read_errors) {
      if (sv_eq_cstr(e.path, path)) return str(e.name);
    }
    return "<none>";
  }
  std::vector<std::string> strings(const StrList& l) {
    std::vector<std::string> v;
    for (StrView s : l) v.push_back(str(s));
    return v;
  }
  TempDir tree;
};

TEST_F(SourceTest, OpenLiveSystem) {
  for (const char* path : {static_cast<const char*>(nullptr), "/"}) {
    StrView err{};
    Source* src = source_open(&arena, path, &err);
    ASSERT_NE(src, nullptr);
    EXPECT_TRUE(src->live);
    EXPECT_STREQ(src->label, "live system");
    EXPECT_NE(src->root.ptr, nullptr);
    EXPECT_EQ(src->root.len, 0u);
    EXPECT_EQ(src->read_errors.count, 0u);
  }
}

TEST_F(SourceTest, OpenTreeDropsTrailingSeparators) {
  Source* src = open(tree.path + "///");
  ASSERT_NE(src, nullptr);
  EXPECT_FALSE(src->live);
  EXPECT_EQ(str(src->root), tree.path);
  EXPECT_EQ(std::string(src->label), tree.path);
}

TEST_F(SourceTest, OpenDoubleSlashIsATreeAtRootNotTheLiveSystem) {
  Source* src = open("//");
  ASSERT_NE(src, nullptr);
  EXPECT_FALSE(src->live);
  EXPECT_EQ(str(src->root), "/");
  EXPECT_STREQ(src->label, "/");
  EXPECT_TRUE(sv_present(source_read(src, "/proc/version")));
  StrList l{};
  source_glob(src, "/proc/sys/kernel/host*", &l);
  ASSERT_GE(l.count, 1u);
  EXPECT_EQ(str(l[0]), "/proc/sys/kernel/hostname");
}

TEST_F(SourceTest, OpenErrors) {
  EXPECT_EQ(open_error("/dev/null"), "'/dev/null' is neither a directory nor a bundle file");
  EXPECT_EQ(open_error("/nonexistent/kelvane-tree"),
            "cannot open '/nonexistent/kelvane-tree': No such file or directory");
  tree.write("not-a-bundle", "hello\n");
  EXPECT_NE(open_error(tree.file("not-a-bundle").c_str()), "");
}

TEST_F(SourceTest, ReadsFilesOfATree) {
  tree.write("proc/version", "Linux version 6.6.0-rt\n");
  tree.write("sys/kernel/realtime", "");
  Source* src = open(tree.path);
  EXPECT_EQ(str(source_read(src, "/proc/version")), "Linux version 6.6.0-rt\n");
  EXPECT_EQ(str(source_read(src, "proc//./version")), "Linux version 6.6.0-rt\n");
  EXPECT_EQ(str(source_read_trimmed(src, "/proc/version")), "Linux version 6.6.0-rt");
  StrView empty = source_read(src, "/sys/kernel/realtime");
  EXPECT_NE(empty.ptr, nullptr);
  EXPECT_EQ(empty.len, 0u);
  EXPECT_EQ(src->read_errors.count, 0u);
}

TEST_F(SourceTest, MissingFileIsRecordedOnceUnderItsNormalisedPath) {
  Source* src = open(tree.path);
  EXPECT_EQ(source_read(src, "proc//missing").ptr, nullptr);
  EXPECT_EQ(source_read(src, "/proc/missing").ptr, nullptr);
  ASSERT_EQ(src->read_errors.count, 1u);
  EXPECT_EQ(str(src->read_errors[0].path), "/proc/missing");
  EXPECT_EQ(str(src->read_errors[0].name), "ENOENT");
  EXPECT_EQ(source_read_trimmed(src, "/proc/missing").ptr, nullptr);
}

TEST_F(SourceTest, DirectoryReadsAsEisdir) {
  tree.write("proc/irq/17/smp_affinity", "1\n");
  Source* src = open(tree.path);
  EXPECT_EQ(source_read(src, "/proc/irq/17").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/proc/irq/17"), "EISDIR");
  Source* live = open("/");
  EXPECT_EQ(source_read(live, "/proc").ptr, nullptr);
  EXPECT_EQ(error_of(live, "/proc"), "EISDIR");
}

TEST_F(SourceTest, LargeFilesAreReadWhole) {
  for (size_t size : {size_t{8191}, size_t{8192}, size_t{8193}, size_t{65537}, size_t{300000}}) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; i++) content[i] = static_cast<char>('a' + (i * 7) % 26);
    tree.write("big", content);
    Source* src = open(tree.path);
    StrView v = source_read(src, "/big");
    EXPECT_EQ(str(v), content) << size;
    EXPECT_EQ(v.ptr[v.len], '\0');
  }
}

// Files past kMaxFileSize are refused unread; a .gz file may not inflate past it.
TEST_F(SourceTest, FilesPastTheBoundAreRefused) {
  const std::pair<const char*, uint64_t> sizes[] = {{"/proc/interrupts", kMaxFileSize + 1},
                                                    {"/proc/softirqs", uint64_t{2} << 30},
                                                    {"/proc/stat", kMaxFileSize}};
  for (const auto& [path, size] : sizes) {
    tree.write(path + 1, "");
    ASSERT_EQ(truncate(tree.file(path + 1).c_str(), static_cast<off_t>(size)), 0);
  }
  tree.write("proc/config.gz", gzip_bytes(std::string(kMaxFileSize + 1, 'y')));
  Source* src = open(tree.path);
  ReadBuf buf{};
  for (const auto& [path, size] : sizes) {
    EXPECT_EQ(source_read(src, path).len, source_read_reuse(src, sv(path), &buf).len) << path;
    EXPECT_EQ(error_of(src, path), size > kMaxFileSize ? "EFBIG" : "<none>") << path;
  }
  EXPECT_EQ(source_read(src, "/proc/config.gz").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/proc/config.gz"), "EFBIG");
  EXPECT_LT(arena.total, 4 * kMaxFileSize);  // /proc/stat twice, the inflation to the bound
}

TEST_F(SourceTest, LivePseudoFilesAreReadWhole) {
  Source* src = open("/");
  StrView v = source_read(src, "/proc/cpuinfo");
  ASSERT_NE(v.ptr, nullptr);
  std::ifstream in("/proc/cpuinfo");
  std::string expect((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(count_lines_starting(str(v), "processor"), count_lines_starting(expect, "processor"));
  EXPECT_EQ(v.ptr[v.len - 1], '\n');
  // A pseudo-file far larger than the first 8 KiB buffer.
  std::ifstream ks("/proc/kallsyms");
  if (!ks) return;
  std::string syms((std::istreambuf_iterator<char>(ks)), std::istreambuf_iterator<char>());
  StrView v2 = source_read(src, "/proc/kallsyms");
  ASSERT_NE(v2.ptr, nullptr);
  EXPECT_GT(v2.len, 65536u);
  EXPECT_EQ(v2.len, syms.size());
}

TEST_F(SourceTest, GzipFiles) {
  std::string config = "CONFIG_PREEMPT_RT=y\n";
  tree.write("proc/config.gz", gzip_bytes(config));
  tree.write("boot/config-x.gz", "CONFIG_PREEMPT=y\n");
  tree.write("boot/empty.gz", "");
  Source* src = open(tree.path);
  EXPECT_EQ(str(source_read(src, "/proc/config.gz")), config);
  EXPECT_EQ(source_read(src, "/boot/config-x.gz").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/boot/config-x.gz"), "EBADGZIP");
  EXPECT_EQ(source_read(src, "/boot/empty.gz").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/boot/empty.gz"), "EBADGZIP");
  // A missing .gz file keeps the reason of the failed read.
  EXPECT_EQ(source_read(src, "/boot/none.gz").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/boot/none.gz"), "ENOENT");
}

TEST_F(SourceTest, FifoInATreeReadsAsAbsentWithoutBlocking) {
  tree.write("proc/keep", "x");
  ASSERT_EQ(mkfifo(tree.file("proc/fifo").c_str(), 0600), 0);
  HangGuard guard;
  Source* src = open(tree.path);
  EXPECT_EQ(source_read(src, "/proc/fifo").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/proc/fifo"), "EINVAL");
  StrList l{};
  source_list(src, "/proc/fifo", &l);
  EXPECT_EQ(l.count, 0u);
  EXPECT_TRUE(source_exists(src, "/proc/fifo"));
  StrList g{};
  source_glob(src, "/proc/f*", &g);
  ASSERT_EQ(g.count, 1u);
  EXPECT_EQ(str(g[0]), "/proc/fifo");
  // Also when the FIFO is reached through the live system, by its full path.
  Source* live = open("/");
  std::string full = tree.file("proc/fifo");
  EXPECT_EQ(source_read(live, full.c_str()).ptr, nullptr);
  EXPECT_EQ(error_of(live, full.c_str()), "EINVAL");
}

// The look before opening is what keeps a FIFO shut: opening it to read,
// even without blocking, would release a writer waiting in its own open.
TEST_F(SourceTest, FifoWriterStaysBlockedAfterTheTreeIsRead) {
  tree.write("proc/cmdline", "quiet\n");
  std::string fifo = tree.file("proc/version");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  HangGuard guard;
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) _exit(::open(fifo.c_str(), O_WRONLY) >= 0 ? 0 : 1);
  Source* src = open(tree.path);
  EXPECT_EQ(source_read(src, "/proc/version").ptr, nullptr);
  RunResult r = run_kelvane("--root " + tree.path + " --interval 0 -o /dev/null");
  EXPECT_EQ(r.status, 0) << r.err;
  usleep(100 * 1000);
  int status = 0;
  EXPECT_EQ(waitpid(writer, &status, WNOHANG), 0) << "the FIFO was opened";
  // Opening it here does release the writer: the check above can fail.
  int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  close(fd);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(SourceTest, DeviceNodeInATreeIsNotRead) {
  tree.write("proc/keep", "x");
  ASSERT_EQ(symlink("/dev/zero", tree.file("proc/zero").c_str()), 0);
  ASSERT_EQ(symlink("/dev/null", tree.file("proc/null").c_str()), 0);
  HangGuard guard;
  Source* src = open(tree.path);  // the links name the tree's own /dev, which it lacks
  EXPECT_EQ(source_read(src, "/proc/zero").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/proc/zero"), "ENOENT");
  EXPECT_FALSE(source_exists(src, "/proc/null"));
  // A tree whose /dev holds the nodes ("//" is the tree at "/"); the kernel's
  // own links to anywhere (/proc/self/root) are not followed.
  Source* whole = open("//");
  for (const char* dev : {"/dev/zero", "/dev/null", "/proc/self/root/dev/zero"}) {
    EXPECT_EQ(source_read(whole, dev).ptr, nullptr) << dev;
    EXPECT_EQ(error_of(whole, dev), dev[1] == 'd' ? "EINVAL" : "errno 40");
  }
  EXPECT_TRUE(source_exists(whole, "/dev/zero"));
  EXPECT_LT(arena.total, uint64_t{1} << 20);
  Source* live = open("/");
  EXPECT_EQ(source_read(live, "/dev/zero").ptr, nullptr);
  EXPECT_EQ(error_of(live, "/dev/zero"), "EINVAL");
}

// A glob's match that its listing showed as a regular file is read without a
// second look, so what replaced it since must still be refused: a link is
// not followed, and a FIFO the glob matched is not opened.
TEST_F(SourceTest, GlobbedFilesReplacedSinceTheListingAreNotRead) {
  tree.write("proc/a", "1\n");
  tree.write("proc/b", "2\n");
  std::string fifo = tree.file("proc/f");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  HangGuard guard;
  Source* src = open(tree.path);
  StrList g{};
  source_glob(src, "/proc/*", &g);
  ASSERT_EQ(g.count, 3u);
  ASSERT_EQ(unlink(tree.file("proc/a").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", tree.file("proc/a").c_str()), 0);
  EXPECT_EQ(source_read(src, "/proc/a").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/proc/a"), "errno 40");  // ELOOP
  EXPECT_EQ(str(source_read(src, "/proc/b")), "2\n");
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) _exit(::open(fifo.c_str(), O_WRONLY) >= 0 ? 0 : 1);
  usleep(100 * 1000);  // the writer waits in its open
  EXPECT_EQ(source_read(src, "/proc/f").ptr, nullptr);
  usleep(100 * 1000);
  EXPECT_EQ(waitpid(writer, nullptr, WNOHANG), 0) << "the FIFO was opened";
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
}

// The directory listed last is held open for the reads below it, and given
// back when the run's Arena is released: a harness that analyses thousands of
// trees in one process must not run out of descriptors.
TEST_F(SourceTest, ListedDirectoryIsHeldUntilTheRunEnds) {
  tree.write("proc/12/task/12/stat", "12 (a) S\n");
  tree.write("proc/1/stat", "1 (b) S\n");
  size_t before = files_in("/proc/self/fd").size();
  Arena run;
  arena_init(&run);
  StrView err{};
  Source* src = source_open(&run, tree.path.c_str(), &err);
  ASSERT_NE(src, nullptr);
  StrList l{};
  source_list(src, "/proc/1", &l);  // "/proc/12/..." starts with its text, not below it
  EXPECT_EQ(str(source_read(src, "/proc/12/task/12/stat")), "12 (a) S\n");
  source_list(src, "/proc/12/task", &l);
  EXPECT_EQ(str(source_read(src, "/proc/12/task/12/stat")), "12 (a) S\n");
  EXPECT_EQ(files_in("/proc/self/fd").size(), before + 2);  // the held directory, the root
  arena_release(&run);
  EXPECT_EQ(files_in("/proc/self/fd").size(), before);
}

TEST_F(SourceTest, ErrorNumbersOutsideTheTableAreNamedByNumber) {
  // A symbolic link loop fails with ELOOP (40), which has no name of its own.
  ASSERT_EQ(symlink("loop", tree.file("loop").c_str()), 0);
  Source* src = open(tree.path);
  EXPECT_EQ(source_read(src, "/loop").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/loop"), "errno 40");
  EXPECT_EQ(str(errno_name(&arena, 40)), "errno 40");
  EXPECT_EQ(str(errno_name(&arena, -3)), "errno -3");
  EXPECT_EQ(str(errno_name(&arena, 0)), "errno 0");
}

TEST_F(SourceTest, ErrnoNameTable) {
  const std::pair<int, const char*> table[] = {
      {1, "EPERM"},   {2, "ENOENT"},  {5, "EIO"},     {6, "ENXIO"},   {12, "ENOMEM"},
      {13, "EACCES"}, {16, "EBUSY"},  {19, "ENODEV"}, {20, "ENOTDIR"}, {21, "EISDIR"},
      {22, "EINVAL"}, {95, "EOPNOTSUPP"}};
  for (const auto& [num, name] : table) EXPECT_EQ(str(errno_name(&arena, num)), name) << num;
}

TEST_F(SourceTest, RecordReadErrorKeepsTheFirstReason) {
  Source* src = open(tree.path);
  record_read_error(src, sv("/a"), sv("ENOENT"));
  record_read_errno(src, sv("/a"), 13);
  record_read_errno(src, sv("/b"), 13);
  record_read_error(src, sv("/c"), sv("EBADGZIP"));
  ASSERT_EQ(src->read_errors.count, 3u);
  EXPECT_EQ(error_of(src, "/a"), "ENOENT");
  EXPECT_EQ(error_of(src, "/b"), "EACCES");
  EXPECT_EQ(str(src->read_errors[2].path), "/c");
  // The recorded path is a copy, not a view into the caller's buffer.
  char buf[] = "/d";
  record_read_error(src, sv(buf), sv("EIO"));
  buf[1] = 'x';
  EXPECT_EQ(str(src->read_errors[3].path), "/d");
}

TEST_F(SourceTest, ManyRecordedErrorsKeepOneEntryPerPath) {
  Source* src = open(tree.path);
  for (int round = 0; round < 2; round++) {
    for (int i = 0; i < 3000; i++) {
      std::string p = "/sys/devices/system/cpu/cpu" + std::to_string(i) + "/online";
      EXPECT_EQ(source_read(src, p.c_str()).ptr, nullptr);
    }
  }
  ASSERT_EQ(src->read_errors.count, 3000u);
  EXPECT_EQ(str(src->read_errors[2999].path), "/sys/devices/system/cpu/cpu2999/online");
  // An entry appended directly to the list is still seen as recorded.
  list_push(&arena, &src->read_errors, ReadError{sv("/x"), sv("EIO")});
  record_read_error(src, sv("/x"), sv("ENOENT"));
  record_read_error(src, sv("/sys/devices/system/cpu/cpu7/online"), sv("EIO"));
  EXPECT_EQ(src->read_errors.count, 3001u);
  EXPECT_EQ(error_of(src, "/x"), "EIO");
}

TEST_F(SourceTest, PathWithANulByteIsRefused) {
  tree.write("a", "data");
  Source* src = open(tree.path);
  const char raw[] = "/a\0b";
  StrView p = sv_make(raw, sizeof raw - 1);
  EXPECT_EQ(source_read_view(src, p).ptr, nullptr);
  ASSERT_EQ(src->read_errors.count, 1u);
  EXPECT_EQ(str(src->read_errors[0].name), "EINVAL");
}

TEST_F(SourceTest, ExistsFollowsLinksAndRecordsNothing) {
  tree.write("proc/version", "v");
  ASSERT_EQ(symlink("version", tree.file("proc/link").c_str()), 0);
  ASSERT_EQ(symlink("gone", tree.file("proc/dangling").c_str()), 0);
  Source* src = open(tree.path);
  EXPECT_TRUE(source_exists(src, "/proc/version"));
  EXPECT_TRUE(source_exists(src, "/proc"));
  EXPECT_TRUE(source_exists(src, "proc/link"));
  EXPECT_FALSE(source_exists(src, "/proc/dangling"));
  EXPECT_FALSE(source_exists(src, "/proc/missing"));
  EXPECT_TRUE(source_existsf(src, "/proc/%s", "version"));
  EXPECT_FALSE(source_existsf(src, "/proc/%d", 7));
  EXPECT_EQ(src->read_errors.count, 0u);
}

TEST_F(SourceTest, ListIsSortedBytewise) {
  for (const char* n : {"10", "2", "1", "default_smp_affinity", ".hidden", "B", "a"}) {
    tree.write(std::string("proc/irq/") + n, "");
  }
  Source* src = open(tree.path);
  StrList l{};
  source_list(src, "/proc/irq/", &l);
  EXPECT_EQ(strings(l), (std::vector<std::string>{".hidden", "1", "10", "2", "B", "a",
                                                  "default_smp_affinity"}));
  StrList none{};
  source_list(src, "/proc/nothing", &none);
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(error_of(src, "/proc/nothing"), "ENOENT");
  source_list(src, "/proc/irq/10", &none);
  EXPECT_EQ(error_of(src, "/proc/irq/10"), "ENOTDIR");
}

TEST_F(SourceTest, GlobReturnsMachinePathsSortedBytewise) {
  for (const char* n : {"2", "10", "0", "123"}) {
    tree.write(std::string("proc/irq/") + n + "/smp_affinity", "1\n");
  }
  tree.write("proc/irq/default_smp_affinity", "f\n");
  tree.write("proc/irq/.9/smp_affinity", "1\n");
  Source* src = open(tree.path + "/");
  StrList l{};
  source_glob(src, "/proc/irq/[0-9]*/smp_affinity", &l);
  EXPECT_EQ(strings(l), (std::vector<std::string>{
                            "/proc/irq/0/smp_affinity", "/proc/irq/10/smp_affinity",
                            "/proc/irq/123/smp_affinity", "/proc/irq/2/smp_affinity"}));
  StrList hidden{};
  source_glob(src, "/proc/irq/*/smp_affinity", &hidden);
  EXPECT_EQ(hidden.count, 4u);
  StrList none{};
  source_glob(src, "/proc/irq/[a-z]*/nothing", &none);
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(src->read_errors.count, 0u);
}

TEST_F(SourceTest, LiveListAndGlob) {
  Source* src = open("/");
  StrList l{};
  source_list(src, "/proc/sys/kernel", &l);
  EXPECT_TRUE(strlist_contains(&l, sv("hostname")));
  EXPECT_FALSE(strlist_contains(&l, sv(".")));
  for (size_t i = 1; i < l.count; i++) EXPECT_LT(sv_compare(l[i - 1], l[i]), 0);
  StrList g{};
  source_glob(src, "/proc/sys/kernel/host*", &g);
  ASSERT_EQ(g.count, 1u);
  EXPECT_EQ(str(g[0]), "/proc/sys/kernel/hostname");
  EXPECT_EQ(src->read_errors.count, 0u);
}

TEST_F(SourceTest, GlobTreatsWildcardsInTheRootLiterally) {
  TempDir base;
  base.write("box[1]/proc/irq/5/smp_affinity", "1\n");
  base.write("box[1]/proc/a*b", "x\n");
  base.write("box1/proc/irq/6/smp_affinity", "1\n");
  base.write("box1/proc/irq/7/smp_affinity", "1\n");
  Source* src = open(base.file("box[1]"));
  StrList l{};
  source_glob(src, "/proc/irq/*/smp_affinity", &l);
  EXPECT_EQ(strings(l), std::vector<std::string>{"/proc/irq/5/smp_affinity"});
  EXPECT_EQ(str(source_read(src, "/proc/irq/5/smp_affinity")), "1\n");
  StrList lit{};
  source_glob(src, "/proc/a*", &lit);
  EXPECT_EQ(strings(lit), std::vector<std::string>{"/proc/a*b"});

  base.write("q?\\x/proc/f", "y");
  Source* odd = open(base.file("q?\\x"));
  StrList o{};
  source_glob(odd, "/proc/*", &o);
  EXPECT_EQ(strings(o), std::vector<std::string>{"/proc/f"});
}

TEST_F(SourceTest, ReadInt) {
  tree.write("one", "1\n");
  tree.write("empty", "");
  tree.write("blank", " \n\t");
  tree.write("abc", "abc\n");
  tree.write("kb", "  42 kB\n");
  tree.write("tab", "7\t8\n");
  tree.write("hex", "ff\n");
  tree.write("neg", "-3\n");
  Source* src = open(tree.path);
  int64_t v = -99;
  EXPECT_TRUE(source_read_int(src, "/one", 10, &v));
  EXPECT_EQ(v, 1);
  EXPECT_TRUE(source_read_int(src, "/kb", 10, &v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(source_read_int(src, "/tab", 10, &v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(source_read_int(src, "/hex", 16, &v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(source_read_intf(src, &v, "/%s", "neg"));
  EXPECT_EQ(v, -3);
  v = -99;
  for (const char* p : {"/empty", "/blank", "/abc", "/missing"}) {
    EXPECT_FALSE(source_read_int(src, p, 10, &v)) << p;
  }
  EXPECT_FALSE(source_read_int(src, "/hex", 10, &v));
  EXPECT_FALSE(source_read_intf(src, &v, "/%s", "missing2"));
  EXPECT_EQ(v, -99);
}

TEST_F(SourceTest, ReadfBuildsThePathAndTrims) {
  tree.write("sys/devices/system/cpu/cpu3/online", " 1\n");
  Source* src = open(tree.path);
  EXPECT_EQ(str(source_read_trimmedf(src, "/sys/devices/system/cpu/cpu%d/online", 3)), "1");
  EXPECT_EQ(source_read_trimmedf(src, "/sys/devices/system/cpu/cpu%d/online", 4).ptr, nullptr);
  EXPECT_EQ(error_of(src, "/sys/devices/system/cpu/cpu4/online"), "ENOENT");
}

TEST_F(SourceTest, UnreadableFileRecordsEacces) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  tree.write("secret", "x");
  chmod(tree.file("secret").c_str(), 0);
  Source* src = open(tree.path);
  EXPECT_EQ(source_read(src, "/secret").ptr, nullptr);
  EXPECT_EQ(error_of(src, "/secret"), "EACCES");
}
