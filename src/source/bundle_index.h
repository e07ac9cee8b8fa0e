// The members of a loaded bundle and the index the bundle Source serves
// them through: shared by the loader that builds it and the Source
// operations that read it.
#pragma once

#include <cstdint>

#include "base/list.h"
#include "base/str.h"
#include "base/str_index.h"

// One archive member, named by its absolute path on the captured machine.
// A loaded bundle holds one per file and directory (about 100,000 for a
// large machine), so it is kept to 32 bytes: a directory is the member
// without data, and the sibling link of the directory tree sits here too.
struct BundleMember {
  StrView name;          // normalised absolute path, never "/"
  const char* data;      // start in the inflated archive; null for a directory
  uint32_t data_len;     // members beyond 4 GiB are refused as implausible
  int32_t next_sibling;  // next entry of the same directory, -1 = none
};
static_assert(sizeof(BundleMember) == 32, "a bundle member stays four words");

inline BundleMember bundle_file(StrView name, StrView data) {
  return BundleMember{name, data.ptr, static_cast<uint32_t>(data.len), -1};
}
inline BundleMember bundle_dir(StrView name) { return BundleMember{name, nullptr, 0, -1}; }
inline bool bundle_is_dir(const BundleMember& m) { return m.data == nullptr; }
inline StrView bundle_data(const BundleMember& m) { return StrView{m.data, m.data_len}; }

// The bundle Source's ctx: the members, an index over their names and, per
// member, its place in the directory tree so that listing a directory costs
// only its own entries.
struct BundleIndex {
  List<BundleMember> members;  // archive order, synthesized directories after
  StrIndex names;              // name -> the last member of that name
  int32_t* first_child;        // per member: first entry below it, -1 = none
  int32_t root_first;          // first entry of "/"
};

// The index of the last member named name, or -1.
inline int32_t bundle_lookup(const BundleIndex* idx, StrView name) {
  uint32_t m;
  return strindex_find(&idx->names, name, &m) ? static_cast<int32_t>(m) : -1;
}
