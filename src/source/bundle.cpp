#include "source/bundle.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "base/log.h"
#include "source/bundle_ops.h"
#include "source/file_read.h"
#include "source/path.h"
#include "source/tar_reader.h"

namespace {

// A real archive shares its directories among many members; a hostile one
// can make every member add up to 255 new ancestors. Beyond this many
// synthesized directories per accepted member the load is refused.
constexpr uint64_t kDirsPerMember = 32;
constexpr uint64_t kDirsSlack = 1024;

Source* fail(Arena* a, StrView* err, const char* fmt, const char* label) {
  *err = arena_sprintf(a, fmt, label);
  return nullptr;
}

// Every ancestor directory of every member becomes a member itself. False
// when the archive asks for implausibly many directories.
bool synthesize_dirs(Arena* a, BundleIndex* idx) {
  size_t accepted = idx->members.count;
  uint64_t budget = accepted * kDirsPerMember + kDirsSlack;
  for (size_t i = 0; i < accepted; i++) {
    for (StrView anc = path_parent(idx->members[i].name); !path_is_root(anc);
         anc = path_parent(anc)) {
      auto next = static_cast<uint32_t>(idx->members.count);
      if (!strindex_add(&idx->names, a, anc, next, nullptr)) break;
      if (idx->members.count - accepted >= budget) return false;
      list_push(a, &idx->members, bundle_dir(anc));
    }
  }
  return true;
}

// Links every member that is the one its name resolves to (the last of equal
// names) into the entry chain of its parent directory.
void link_tree(Arena* a, BundleIndex* idx) {
  size_t n = idx->members.count;
  idx->first_child = arena_array<int32_t>(a, n);
  memset(idx->first_child, 0xff, n * sizeof(int32_t));
  idx->root_first = -1;
  for (size_t i = 0; i < n; i++) {
    int32_t m = static_cast<int32_t>(i);
    if (bundle_lookup(idx, idx->members[i].name) != m) continue;
    StrView parent = path_parent(idx->members[i].name);
    int32_t* head = &idx->root_first;
    if (!path_is_root(parent)) {
      int32_t p = bundle_lookup(idx, parent);  // present: every ancestor was synthesized
      if (p < 0) continue;
      head = &idx->first_child[p];
    }
    idx->members[i].next_sibling = *head;
    *head = m;
  }
}

// The index is sized once, for the room the member list was given.
BundleIndex* build_index(Arena* a, List<BundleMember> members) {
  BundleIndex* idx = arena_new<BundleIndex>(a);
  idx->members = members;
  strindex_init(&idx->names, a, members.capacity);
  // From the last member back: the index keeps the first name it is given.
  for (size_t m = members.count; m-- > 0;)
    strindex_add(&idx->names, a, members[m].name, static_cast<uint32_t>(m), nullptr);
  if (!synthesize_dirs(a, idx)) return nullptr;
  link_tree(a, idx);
  return idx;
}

bool starts_gzip(StrView bytes) {
  return bytes.len >= 2 && static_cast<unsigned char>(bytes.ptr[0]) == 0x1f &&
         static_cast<unsigned char>(bytes.ptr[1]) == 0x8b;
}

bool file_starts_gzip(int fd) {
  char magic[2];
  return pread(fd, magic, 2, 0) == 2 && starts_gzip(sv_make(magic, 2));
}

}  // namespace

Source* bundle_load(Arena* a, const char* label, StrView bytes, uint64_t inflate_limit,
                    StrView* err) {
  const char* no_members = "'%s' contains no readable members";
  if (bytes.len < 2) return fail(a, err, no_members, label);
  StrView archive = bytes;
  bool gzip = starts_gzip(bytes);
  if (gzip && !gunzip_limited(a, bytes, &archive, inflate_limit))
    return fail(a, err, "'%s' is not a readable gzip bundle", label);
  if (archive.len < kTarBlock) return fail(a, err, no_members, label);
  // Room for every member and for the directories the index adds: a
  // capture stores files, about one directory for every three of them.
  List<BundleMember> members{};
  size_t headers = tar_count_headers(archive);
  list_reserve(a, &members, headers + headers / 2 + 8);
  if (!tar_walk(a, archive, &members, err)) return nullptr;
  if (members.count == 0) return fail(a, err, no_members, label);
  // Member indices are 32-bit; a plain archive this large is not a bundle.
  if (members.count > INT32_MAX / (2 * kDirsPerMember + 2)) return fail(a, err, no_members, label);
  BundleIndex* idx = build_index(a, members);
  if (!idx) {
    *err = sv_lit("bundle is corrupt: implausible member names");
    return nullptr;
  }

  Source* src = arena_new<Source>(a);
  src->arena = a;
  src->live = false;
  src->label = arena_cstr(a, sv_from_cstr(label));
  src->root = sv_lit("");
  src->ops = bundle_source_ops();
  src->ctx = idx;
  log_progress("bundle %s: %zu members", label, idx->members.count);
  return src;
}

Source* bundle_load_fd(Arena* a, const char* path, int fd, uint64_t size, StrView* err) {
  // The compressed bytes of a gzip bundle are needed only until they are
  // inflated: they are read into an Arena of their own, released right
  // after. A plain bundle is read into the run's Arena, as its members are
  // views into it.
  Arena scratch;
  arena_init(&scratch);
  bool gzip = file_starts_gzip(fd);
  char* buf = static_cast<char*>(arena_alloc(gzip ? &scratch : a, size));
  // A file that shrinks meanwhile reads short, which the load refuses like
  // any cut-off bundle.
  ssize_t got = file_read_fully(fd, buf, size);
  Source* src = nullptr;
  StrView bytes = sv_make(buf, got < 0 ? 0 : static_cast<size_t>(got));
  if (got < 0)
    *err = arena_sprintf(a, "reading '%s': %s", path, strerror(errno));
  else if (gzip && !starts_gzip(bytes))  // rewritten since the look: not loaded from scratch
    *err = arena_sprintf(a, "'%s' is not a readable gzip bundle", path);
  else
    src = bundle_load(a, path, bytes, kBundleInflateLimit, err);
  arena_release(&scratch);
  return src;
}

Source* bundle_open(Arena* a, const char* path, StrView* err) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = arena_sprintf(a, "cannot open '%s': %s", path, strerror(errno));
    return nullptr;
  }
  struct stat st;
  Source* src = nullptr;
  if (fstat(fd, &st) != 0 || st.st_size < 1)
    *err = arena_sprintf(a, "'%s' is empty or unreadable", path);
  else
    src = bundle_load_fd(a, path, fd, static_cast<uint64_t>(st.st_size), err);
  close(fd);
  return src;
}
