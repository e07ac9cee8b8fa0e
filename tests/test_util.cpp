#include "test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "source/source_open.h"

namespace fs = std::filesystem;

Source* ArenaTest::open_source(const std::string& path) {
  StrView err = kNoneView;
  Source* src = source_open(&arena, path.empty() ? nullptr : path.c_str(), &err);
  EXPECT_NE(src, nullptr) << str(err);
  return src;
}

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kelvane-test-XXXXXX";
  char* p = mkdtemp(tmpl.data());
  path = p ? p : "";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path.empty()) fs::remove_all(path, ec);
}

void TempDir::write(const std::string& rel, const std::string& content) const {
  fs::path p = fs::path(path) / rel;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    if (e.path().filename().string()[0] != '.') out.push_back(e.path().string());
  }
  return out;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string tests_dir() { return KELVANE_TESTS_DIR; }

RunResult run_kelvane(const std::string& args, const std::string& env, const std::string& cwd) {
  TempDir tmp;
  std::string out = tmp.file("out"), err = tmp.file("err");
  std::string cd = cwd.empty() ? "" : "cd '" + cwd + "' && ";
  std::string cmd = cd + env + " " + KELVANE_BIN + " " + args + " >" + out + " 2>" + err + " </dev/null";
  int rc = system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}
