#include "source/file_read.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

ssize_t file_read_fully(int fd, char* buf, size_t len) {
  size_t got = 0;
  while (got < len) {
    ssize_t r = read(fd, buf + got, len - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

StrView file_read_whole(Arena* a, const char* path, StrView* err) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    *err = arena_sprintf(a, "cannot open '%s': %s", path, strerror(errno));
    if (fd >= 0) close(fd);
    return kNoneView;
  }
  // One byte over a reported size: the read that finds the end needs no
  // larger buffer.
  size_t cap = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536;
  char* buf = static_cast<char*>(arena_alloc(a, cap));
  size_t got = 0;
  for (;;) {
    if (got == cap) {
      buf = static_cast<char*>(arena_realloc(a, buf, cap, cap * 2));
      cap *= 2;
    }
    ssize_t r = file_read_fully(fd, buf + got, cap - got);
    if (r < 0) {
      *err = arena_sprintf(a, "reading '%s': %s", path, strerror(errno));
      close(fd);
      return kNoneView;
    }
    got += static_cast<size_t>(r);
    if (got < cap) break;  // the file ended before the buffer filled
  }
  close(fd);
  return sv_make(buf, got);
}
