// Test helpers shared by the bundle and capture tests.
#pragma once

#include <string>
#include <vector>

#include "source/bundle.h"
#include "source/source_open.h"
#include "test_util.h"

class BundleTest : public ArenaTest {
 protected:
  // Loads bytes as a bundle labelled "b.tar"; null with err_text set on failure.
  Source* load(const std::string& bytes, uint64_t limit = kBundleInflateLimit) {
    StrView copy = arena_strndup(&arena, StrView{bytes.data(), bytes.size()});
    StrView err{};
    Source* s = bundle_load(&arena, "b.tar", copy, limit, &err);
    err_text = s ? "" : str(err);
    return s;
  }
  Source* open(const std::string& path) {
    StrView err{};
    Source* s = source_open(&arena, path.c_str(), &err);
    err_text = s ? "" : str(err);
    return s;
  }
  std::vector<std::string> list(Source* s, const char* dir) {
    StrList l{};
    source_list(s, dir, &l);
    return strings(l);
  }
  std::vector<std::string> glob(Source* s, const char* pattern) {
    StrList l{};
    source_glob(s, pattern, &l);
    return strings(l);
  }
  std::string read(Source* s, const char* path) { return str(source_read(s, path)); }
  std::vector<std::string> errors(Source* s) {
    std::vector<std::string> v;
    for (const ReadError& e : s->read_errors) v.push_back(str(e.path) + "=" + str(e.name));
    return v;
  }
  std::vector<std::string> strings(const StrList& l) {
    std::vector<std::string> v;
    for (StrView x : l) v.push_back(str(x));
    return v;
  }
  std::string err_text;
};

using Strings = std::vector<std::string>;
