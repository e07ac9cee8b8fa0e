// Shared helpers for the tests: an Arena per test, temporary directories and
// running the kelvane binary.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/arena.h"
#include "base/str.h"

struct Source;

class ArenaTest : public ::testing::Test {
 protected:
  void SetUp() override { arena_init(&arena); }
  void TearDown() override { arena_release(&arena); }
  StrView sv(const char* s) { return sv_from_cstr(s); }
  std::string str(StrView v) { return v.ptr ? std::string(v.ptr, v.len) : std::string("<none>"); }
  // The tree at path (the live machine when path is empty) as a Source; when
  // it cannot be opened the test fails, naming why, and the answer is null.
  Source* open_source(const std::string& path);
  Arena arena;
};

// A fresh directory under $TMPDIR, removed with its contents on destruction.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
  // Writes a file below the directory, creating parent directories.
  void write(const std::string& rel, const std::string& content) const;
  std::string file(const std::string& rel) const { return path + "/" + rel; }
};

struct RunResult {
  int status;  // exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs build/kelvane with the given arguments (a shell-quoted word list) and
// environment prefix, capturing both streams; in cwd when it is given.
RunResult run_kelvane(const std::string& args, const std::string& env = "",
                      const std::string& cwd = "");

std::string read_file(const std::string& path);
// The paths of the entries of dir but its dot files; none when dir is absent.
std::vector<std::string> files_in(const std::string& dir);
std::string tests_dir();
