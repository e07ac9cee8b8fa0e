#include "source/root_open.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// As the kernel allows (MAXSYMLINKS, Documentation/filesystems/path-lookup.rst).
constexpr int kMaxLinks = 40;
// Normalised paths keep 256 names; links can add more below them.
constexpr size_t kMaxDepth = 512;
// A name and a link's text together: what is left to walk never exceeds it.
constexpr size_t kRestMax = 2 * PATH_MAX;
// openat2 asks for a retry (EAGAIN) when a rename raced a confined lookup.
constexpr int kRetries = 8;

uint64_t resolve_flags(RootWalk mode) {
  switch (mode) {
    case RootWalk::in_root: return RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    case RootWalk::beneath: return RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    case RootWalk::no_links: return RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  }
  return RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
}

int call_openat2(int at, const char* name, int flags, RootWalk mode) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags);
  how.resolve = resolve_flags(mode);
  long fd = -1;
  for (int i = 0; i < kRetries; i++) {
    fd = syscall(SYS_openat2, at, name, &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN) break;
  }
  return static_cast<int>(fd);
}

// The walk's state: the directories entered below the start (each held open
// so that ".." goes back without a lookup) and the names left to walk.
struct Walk {
  int start;
  int dirs[kMaxDepth];
  size_t depth;
  char rest[kRestMax];
  size_t pos, len;
  int links;
};

int here(const Walk* w) { return w->depth ? w->dirs[w->depth - 1] : w->start; }

void back_to_start(Walk* w) {
  while (w->depth) close(w->dirs[--w->depth]);
}

int walk_fail(Walk* w, int err) {
  back_to_start(w);
  errno = err;
  return -1;
}

// Takes the next name of the rest into name, skipping empty and "." names;
// *last tells whether it ends the path. False at the end or when the name is
// too long (errno set).
bool next_name(Walk* w, char* name, bool* last) {
  while (true) {
    while (w->pos < w->len && w->rest[w->pos] == '/') w->pos++;
    size_t start = w->pos;
    while (w->pos < w->len && w->rest[w->pos] != '/') w->pos++;
    size_t n = w->pos - start;
    if (n == 0) {
      errno = 0;
      return false;
    }
    if (n > NAME_MAX) {
      errno = ENAMETOOLONG;
      return false;
    }
    memcpy(name, w->rest + start, n);
    name[n] = 0;
    if (n == 1 && name[0] == '.') continue;
    size_t after = w->pos;
    while (after < w->len && w->rest[after] == '/') after++;
    *last = after == w->len;
    return true;
  }
}

// Puts the link's text in place of its name: an absolute one starts again
// at the start. 0, or the error that ends the walk.
int follow(Walk* w, const char* target, size_t n, RootWalk mode) {
  if (mode == RootWalk::no_links || ++w->links > kMaxLinks) return ELOOP;
  if (n == 0) return ENOENT;
  if (target[0] == '/') {
    if (mode == RootWalk::beneath) return EXDEV;
    back_to_start(w);
  }
  size_t tail = w->len - w->pos;
  if (n + 1 + tail > kRestMax) return ENAMETOOLONG;
  memmove(w->rest + n + 1, w->rest + w->pos, tail);
  memcpy(w->rest, target, n);
  w->rest[n] = '/';
  w->pos = 0;
  w->len = n + 1 + tail;
  return 0;
}

// The text of the link name in the directory at, or -1 when it is none.
ssize_t link_text(int at, const char* name, char* buf) {
  return readlinkat(at, name, buf, PATH_MAX);
}

// Opens the last name. A link there is followed unless flags ask not to:
// *followed tells that the walk goes on with the link's text.
int open_last(Walk* w, const char* name, int flags, RootWalk mode, bool* followed) {
  *followed = false;
  int fd = openat(here(w), name, flags | O_NOFOLLOW);
  int err = errno;
  if (flags & O_NOFOLLOW) return fd;
  char target[PATH_MAX];
  ssize_t n = -1;
  if (fd >= 0 && (flags & O_PATH)) {
    // O_PATH opens the link itself: asked about, it is followed here.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISLNK(st.st_mode)) return fd;
    n = readlinkat(fd, "", target, PATH_MAX);
    err = errno;
    close(fd);
    if (n < 0) return walk_fail(w, err);
  } else if (fd < 0 && (err == ELOOP || err == ENOTDIR)) {
    n = link_text(here(w), name, target);
  }
  if (n < 0) {
    if (fd < 0) errno = err;
    return fd;
  }
  int why = follow(w, target, static_cast<size_t>(n), mode);
  if (why) return walk_fail(w, why);
  *followed = true;
  return -1;
}

// Enters the directory name, following a link found there. 0, or the error
// that ends the walk.
int enter(Walk* w, const char* name, RootWalk mode) {
  if (strcmp(name, "..") == 0) {
    if (w->depth) {
      close(w->dirs[--w->depth]);
      return 0;
    }
    return mode == RootWalk::in_root ? 0 : EXDEV;
  }
  int fd = openat(here(w), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    char target[PATH_MAX];
    ssize_t n = err == ENOTDIR ? link_text(here(w), name, target) : -1;
    return n < 0 ? err : follow(w, target, static_cast<size_t>(n), mode);
  }
  if (w->depth == kMaxDepth) {
    close(fd);
    return ENAMETOOLONG;
  }
  w->dirs[w->depth++] = fd;
  return 0;
}

}  // namespace

int root_walk_open(int at, const char* name, int flags, RootWalk mode) {
  Walk w;
  size_t n = strlen(name);
  if (n >= kRestMax) {
    errno = ENAMETOOLONG;
    return -1;
  }
  w.start = at;
  w.depth = 0;
  w.links = 0;
  w.pos = 0;
  w.len = n;
  memcpy(w.rest, name, n);
  if (n && name[0] == '/') {
    if (mode != RootWalk::in_root) return walk_fail(&w, EXDEV);
  }
  char c[NAME_MAX + 1];
  bool last = false;
  while (next_name(&w, c, &last)) {
    bool followed = false;
    if (!last || strcmp(c, "..") == 0) {
      int err = enter(&w, c, mode);
      if (err) return walk_fail(&w, err);
      if (!last) continue;
      strcpy(c, ".");  // the path ends with ".." : open where it leads
    }
    int fd = open_last(&w, c, flags, mode, &followed);
    if (followed) continue;
    int err = errno;
    back_to_start(&w);
    errno = err;
    return fd;
  }
  if (errno) return walk_fail(&w, errno);
  // Nothing but "." and separators: the start itself.
  return openat(at, ".", flags);
}

RootDir root_dir_open(const char* dir, bool confined) {
  RootDir r{};
  r.fd = open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
  r.confined = confined;
  return r;
}

int root_openat(RootDir* root, int at, const char* name, int flags, RootWalk mode) {
  if (!root->confined) return openat(at, name, flags);
  if (!root->no_openat2) {
    int fd = call_openat2(at, name, flags, mode);
    if (fd >= 0 || errno != ENOSYS) return fd;
    root->no_openat2 = true;
  }
  return root_walk_open(at, name, flags, mode);
}
