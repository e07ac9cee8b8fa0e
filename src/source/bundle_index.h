// The members of a loaded bundle and the index the bundle Source serves
// them through: shared by the loader that builds it and the Source
// operations that read it.
#pragma once

#include <cstdint>

#include "base/list.h"
#include "base/str.h"
#include "base/str_index.h"

// One archive member, named by its absolute path on the captured machine.
struct BundleMember {
  StrView name;  // normalised absolute path, never "/"
  StrView data;  // view into the inflated archive; "" for a directory
  bool is_dir;
};

// The bundle Source's ctx: the members, an index over their names and, per
// member, its place in the directory tree so that listing a directory costs
// only its own entries.
struct BundleIndex {
  List<BundleMember> members;  // archive order, synthesized directories after
  StrIndex names;              // name -> the last member of that name
  int32_t* first_child;        // per member: first entry below it, -1 = none
  int32_t* next_sibling;       // per member: next entry of the same directory
  int32_t root_first;          // first entry of "/"
};

// The index of the last member named name, or -1.
inline int32_t bundle_lookup(const BundleIndex* idx, StrView name) {
  uint32_t m;
  return strindex_find(&idx->names, name, &m) ? static_cast<int32_t>(m) : -1;
}
