#include "source/file_read.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "test_util.h"

namespace {

class FileReadTest : public ArenaTest {};

TEST_F(FileReadTest, ReadsAFileWhole) {
  TempDir d;
  d.write("r.json", "{\"a\": 1}\n");
  StrView err = kNoneView;
  EXPECT_EQ(str(file_read_whole(&arena, d.file("r.json").c_str(), &err)), "{\"a\": 1}\n");
  EXPECT_FALSE(sv_present(err));
}

// A pipe reports no size: its buffer grows past the first 64 KiB.
TEST_F(FileReadTest, ReadsAPipeToItsEnd) {
  std::string big(200000, 'x');
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    ssize_t n = write(fds[1], big.data(), big.size());
    _exit(n == static_cast<ssize_t>(big.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
  StrView err = kNoneView;
  StrView got = file_read_whole(&arena, path.c_str(), &err);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(got.len, big.size());
  EXPECT_EQ(str(got), big);
}

TEST_F(FileReadTest, MissingFileSaysWhy) {
  StrView err = kNoneView;
  EXPECT_FALSE(sv_present(file_read_whole(&arena, "/nonexistent/kelvane", &err)));
  EXPECT_EQ(str(err), "cannot open '/nonexistent/kelvane': No such file or directory");
}

}  // namespace
