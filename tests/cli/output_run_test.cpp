// Every output kind against targets it must not write through, a full disk
// and the run's own inputs: refused or failed with exit 2, the file that was
// there left as it was, no temporary file left behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "test_util.h"

namespace {

std::string fixture(const char* name) { return tests_dir() + "/fixtures/" + name; }

const std::string kRich = " --interval 0 --root " + fixture("rich");
const std::string kKinds[] = {
    kRich + " -f json",         kRich + " -f html", kRich + " -f junit",
    kRich + " -f openmetrics",  kRich,              "capture --root " + fixture("rich"),
    "diff " + fixture("rich") + " " + fixture("kernel-rt") + " -f json",
};

void make_socket(const std::string& path) {
  sockaddr_un a{AF_UNIX, {}};
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  int s = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  close(s);
}

TEST(OutputRun, RefusedTargetsAreLeftAlone) {
  TempDir dir;
  dir.write("real", "old");
  ASSERT_EQ(symlink("real", dir.file("link").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
  make_socket(dir.file("sock"));
  const struct {
    std::string target, kind;
  } kTargets[] = {{"link", "a symbolic link"}, {"fifo", "a FIFO"},     {"sock", "a socket"},
                  {".", "a directory"},        {"/dev/zero", "a character device"}};
  for (const std::string& kind : kKinds) {
    for (const auto& t : kTargets) {
      // timeout: opening a FIFO nobody reads would wait for ever.
      RunResult r = run_kelvane(kind + " -o " + t.target, "timeout 10", dir.path);
      EXPECT_EQ(r.status, 2) << kind << " -o " << t.target;
      EXPECT_NE(r.err.find("refusing to write '" + t.target + "': it is " + t.kind + "\n"),
                std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(read_file(dir.file("real")), "old");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
  EXPECT_EQ(files_in(dir.path).size(), 4u);
}

// A tmpfs of 64 KiB filled up: the temporary file cannot take a byte.
TEST(OutputRun, FullDiskKeepsTheOldFile) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  TempDir dir;
  std::string mnt = "mount -t tmpfs -o size=64k kelvane-test " + dir.path + " 2>/dev/null";
  if (std::system(mnt.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  std::string fill = "dd if=/dev/zero of=" + dir.file("fill") + " bs=4k 2>/dev/null";
  for (const std::string& kind : kKinds) {
    dir.write("out", "old");
    std::system(fill.c_str());
    RunResult r = run_kelvane(kind + " -o out", "", dir.path);
    EXPECT_EQ(r.status, 2) << kind;
    EXPECT_NE(r.err.find("cannot write 'out': No space left on device\n"), std::string::npos)
        << kind << ": " << r.err;
    EXPECT_EQ(read_file(dir.file("out")), "old") << kind;
    auto entries = std::filesystem::directory_iterator(dir.path);
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 2) << kind;
    std::filesystem::remove(dir.file("fill"));
  }
  std::system(("umount " + dir.path).c_str());
}

// Compared by device and inode: another name for an input is refused too.
TEST(OutputRun, InputsAreNotOverwritten) {
  TempDir dir;
  ASSERT_EQ(run_kelvane("capture -o b.tgz --root " + fixture("rich"), "", dir.path).status, 0);
  ASSERT_EQ(run_kelvane(kRich + " -f json -o r.json", "", dir.path).status, 0);
  ASSERT_EQ(link(dir.file("b.tgz").c_str(), dir.file("hard").c_str()), 0);
  std::string bundle = read_file(dir.file("b.tgz")), report = read_file(dir.file("r.json"));
  const struct {
    std::string args, target, input;
  } kCases[] = {{"analyze b.tgz", "b.tgz", "b.tgz"},
                {"--root b.tgz -f json", "./b.tgz", "b.tgz"},
                {"diff r.json b.tgz", "hard", "b.tgz"},
                {"diff r.json b.tgz -f json", "r.json", "r.json"}};
  for (const auto& c : kCases) {
    RunResult r = run_kelvane(c.args + " --interval 0 -o " + c.target, "", dir.path);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, "kelvane: refusing to write '" + c.target + "': this run reads it as '" +
                         c.input + "'\n");
  }
  EXPECT_EQ(read_file(dir.file("b.tgz")), bundle);
  EXPECT_EQ(read_file(dir.file("r.json")), report);
}

}  // namespace
