// A bundle must hold what the analysis reads: the collectors run over the
// rich fixture through a Source that records every successful read, and
// each recorded path must be a member of the bundle captured from the tree.
#include <set>
#include <string>
#include <vector>

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
  // The rich machine, and one tree for each place a kernel configuration
  // may be found when /proc/config.gz is absent.
  std::vector<std::string> roots = {tests_dir() + "/fixtures/rich"};
  for (const char* config : {"boot/config-6.1.0-x", "lib/modules/6.1.0-x/build/.config",
                             "boot/config-6.0.0-y"}) {
    std::string dir = std::to_string(roots.size());
    out.write(dir + "/proc/sys/kernel/osrelease", "6.1.0-x\n");
    out.write(dir + "/" + config, "CONFIG_HZ=1000\n");
    roots.push_back(out.file(dir));
  }
  std::string bundle_path = out.file("bundle.tgz");
  for (const std::string& root : roots) {
    g_read.clear();
    Source* src = open_source(root);
    g_inner = src->ops;
    src->ops.read_raw = recording_read;
    if (src->ops.read_into) src->ops.read_into = recording_read_into;
    collect_snapshot(arena_new<Snapshot>(&arena), &arena, src, 0);
    ASSERT_GT(g_read.size(), 1u) << root;
    StrView err = kNoneView;
    ASSERT_TRUE(capture_bundle(&arena, open_source(root), bundle_path.c_str(), false, &err));
    Source* bundle = open_source(bundle_path);
    for (const std::string& path : g_read) {
      StrView data;
      EXPECT_TRUE(bundle->ops.read_raw(bundle, sv(path.c_str()), &data))
          << path << " of " << root << " is not captured";
    }
  }
}

}  // namespace
