// Test helper: collects a Snapshot from a fixture tree or from a temporary
// tree written by the test.
#pragma once

#include <string>

#include "base/cpuset.h"
#include "collect/collect.h"
#include "source/source.h"
#include "test_util.h"

class CollectTreeTest : public ArenaTest {
 protected:
  Snapshot* collect(const std::string& path) {
    src = open_source(path);
    Snapshot* snap = arena_new<Snapshot>(&arena);
    collect_snapshot(snap, &arena, src, 0);
    return snap;
  }
  Snapshot* collect(const TempDir& d) { return collect(d.path); }
  std::string cpus(const CpuSet& s) { return str(cpuset_format_list(&arena, &s)); }
  Source* src = nullptr;
};
