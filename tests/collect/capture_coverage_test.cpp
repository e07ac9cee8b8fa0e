// A bundle must hold what the analysis reads: the collectors run over the
// rich fixture through a Source that records every successful read, and
// each recorded path must be a member of the bundle captured from the tree.
#include <set>
#include <string>

#include "collect/collect.h"
#include "collect/snapshot.h"
#include "source/capture.h"
#include "source/source.h"
#include "test_util.h"

namespace {

SourceOps g_inner;
std::set<std::string> g_read;

bool recording_read(Source* src, StrView path, StrView* out) {
  bool ok = g_inner.read_raw(src, path, out);
  if (ok) g_read.insert(std::string(path.ptr, path.len));
  return ok;
}

bool recording_read_into(Source* src, StrView path, ReadBuf* buf, StrView* out) {
  bool ok = g_inner.read_into(src, path, buf, out);
  if (ok) g_read.insert(std::string(path.ptr, path.len));
  return ok;
}

class CaptureCoverage : public ArenaTest {};

TEST_F(CaptureCoverage, EveryFileTheAnalysisReadsIsInTheBundle) {
  TempDir out;
  std::string rich = tests_dir() + "/fixtures/rich", bundle_path = out.file("b.tgz");
  Source* src = open_source(rich);
  g_inner = src->ops;
  src->ops.read_raw = recording_read;
  if (src->ops.read_into) src->ops.read_into = recording_read_into;
  collect_snapshot(arena_new<Snapshot>(&arena), &arena, src, 0);
  ASSERT_GT(g_read.size(), 100u);
  StrView err = kNoneView;
  ASSERT_TRUE(capture_bundle(&arena, open_source(rich), bundle_path.c_str(), false, &err));
  Source* bundle = open_source(bundle_path);
  for (const std::string& path : g_read) {
    StrView data;
    EXPECT_TRUE(bundle->ops.read_raw(bundle, sv(path.c_str()), &data)) << path << " is not captured";
  }
}

}  // namespace
