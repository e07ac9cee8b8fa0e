// Every output kind refuses targets and keeps the old file when the disk is full.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "test_util.h"

namespace {

const std::string kFix = tests_dir() + "/fixtures/", kRoot = " --interval 0 --root " + kFix;
const std::string kKinds[] = {kRoot + "rich -f json", kRoot + "rich -f html",
    kRoot + "rich -f junit", kRoot + "rich -f openmetrics", kRoot + "rich",
    "capture" + kRoot + "rich", "diff " + kFix + "rich " + kFix + "kernel-rt -f json"};

auto dot_too = [](auto d) { return std::distance(std::filesystem::directory_iterator(d), {}); };

TEST(OutputRun, RefusedTargetsAreLeftAlone) {
  TempDir dir;
  std::string make = "cd " + dir.path + " && echo old >real && ln -s real link && mkfifo fifo && "
                     "python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('sock')\"";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::string kTargets[][2] = {{"link", "a symbolic link"}, {"fifo", "a FIFO"},
      {"sock", "a socket"}, {".", "a directory"}, {"/dev/zero", "a character device"}};
  for (const std::string& kind : kKinds)
    for (const auto& [target, what] : kTargets) {  // timeout: a FIFO nobody reads blocks
      RunResult r = run_kelvane(kind + " -o " + target, "timeout 10", dir.path);
      EXPECT_EQ(r.status, 2) << kind << " -o " << target;
      EXPECT_EQ(r.err, "kelvane: refusing to write '" + target + "': it is " + what + "\n");
    }
  EXPECT_EQ(read_file(dir.file("real")), "old\n");
  EXPECT_EQ(dot_too(dir.path), 4);
}

TEST(OutputRun, FullDiskKeepsTheOldFile) {
  TempDir dir;
  std::string mount = "mount -t tmpfs -o size=64k kelvane-test " + dir.path + " 2>/dev/null";
  if (geteuid() != 0 || std::system(mount.c_str()) != 0) GTEST_SKIP() << "cannot mount a tmpfs";
  for (const std::string& kind : kKinds) {
    std::system(("cd " + dir.path + " && rm -f fill && echo old >out; cat /dev/zero>fill").c_str());
    RunResult r = run_kelvane(kind + " -o out", "", dir.path);
    EXPECT_EQ(r.status, 2) << kind;
    EXPECT_NE(r.err.find("write 'out': No space left on device\n"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file("out")), "old\n") << kind;
    EXPECT_EQ(dot_too(dir.path), 2) << kind;
  }
  std::system(("umount " + dir.path).c_str());
}

TEST(OutputRun, InputsAreRefusedByInode) {
  TempDir dir;
  std::string make = "capture -o b.tgz --root " + kFix + "rich && ln b.tgz hard && " + KELVANE_BIN;
  ASSERT_EQ(run_kelvane(make + kRoot + "rich -f json -o r.json", "", dir.path).status, 0);
  std::string bundle = read_file(dir.file("b.tgz")), report = read_file(dir.file("r.json"));
  const std::string kCases[][3] = {{"analyze b.tgz", "b.tgz", "b.tgz"}, {"--root b.tgz", "./b.tgz",
      "b.tgz"}, {"diff r.json b.tgz", "hard", "b.tgz"}, {"diff r.json b.tgz", "r.json", "r.json"}};
  for (const auto& [args, target, input] : kCases) {
    RunResult r = run_kelvane(args + " -f json -o " + target, "", dir.path);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err, "kelvane: refusing to write '" + target + "': this run reads it as '" +
                         input + "'\n");
  }
  EXPECT_EQ(read_file(dir.file("b.tgz")) + read_file(dir.file("r.json")), bundle + report);
}

}  // namespace
