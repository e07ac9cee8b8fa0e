#include "source/dir_entries.h"

#include <dirent.h>
#include <fcntl.h>

namespace {

// One getdents64 call fills this much; a directory of 20,000 processes is a
// few dozen calls.
constexpr size_t kListBuffer = 32768;

bool is_dot_entry(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Hands out the entries of one getdents64 answer of n bytes.
void visit_entries(const char* buf, ssize_t n, DirEntryFn fn, void* ctx) {
  for (ssize_t off = 0; off < n;) {
    const dirent64* e = reinterpret_cast<const dirent64*>(buf + off);
    off += e->d_reclen;
    if (!is_dot_entry(e->d_name)) fn(ctx, DirEntry{sv_from_cstr(e->d_name), e->d_type});
  }
}

}  // namespace

// getdents64 on a descriptor of our own instead of readdir, whose opendir
// also asks fstat for a buffer size: a capture lists thousands of directories.
bool dir_each_entry(int fd, DirEntryFn fn, void* ctx) {
  alignas(dirent64) char buf[kListBuffer];
  ssize_t n;
  while ((n = getdents64(fd, buf, sizeof buf)) > 0) visit_entries(buf, n, fn, ctx);
  return n == 0;
}
