#include "source/dir_entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// One getdents64 call fills this much; a directory of 20,000 processes is a
// few dozen calls.
constexpr size_t kListBuffer = 32768;

bool is_dot_entry(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

bool wanted(const char* name, const char* match) {
  return !is_dot_entry(name) &&
         (!match || fnmatch(match, name, FNM_PATHNAME | FNM_PERIOD) == 0);
}

// Adds the entries of one getdents64 answer of n bytes.
void add_entries(Arena* a, const char* buf, ssize_t n, const char* match, List<DirEntry>* out) {
  for (ssize_t off = 0; off < n;) {
    const dirent64* e = reinterpret_cast<const dirent64*>(buf + off);
    off += e->d_reclen;
    if (wanted(e->d_name, match))
      list_push(a, out, DirEntry{arena_strndup(a, sv_from_cstr(e->d_name)), e->d_type});
  }
}

}  // namespace

// getdents64 on a descriptor of our own instead of opendir, which also asks
// fstat for a buffer size: a capture lists thousands of directories.
bool dir_entries(Arena* a, const char* path, const char* match, List<DirEntry>* out) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  alignas(dirent64) char buf[kListBuffer];
  ssize_t n;
  while ((n = getdents64(fd, buf, sizeof buf)) > 0) add_entries(a, buf, n, match, out);
  int err = errno;
  close(fd);
  errno = err;
  return n == 0;
}
