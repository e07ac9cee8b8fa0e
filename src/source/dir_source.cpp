// Directory kind of Source: files are read below root with POSIX calls. A
// tree given with --root is another machine's data: every path is resolved
// inside it (a link to "/etc/shadow" names the tree's own etc/shadow), and
// only regular files are read: a FIFO must not block the run and a device
// node must not be read (or even opened) as if it were a file.
#include "source/dir_source.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "source/dir_entries.h"
#include "source/dir_glob.h"
#include "source/root_open.h"

namespace {

constexpr uint64_t kMinReadBuffer = 8192;
constexpr size_t kMaxReadChunk = size_t{1} << 30;

struct DirCtx {
  // The tree's root (or the live system's "/"), held open: every name is
  // looked up from it, inside it for a tree.
  RootDir root;
  // The matches of the tree's latest glob that its listings showed to be
  // regular files, not links: the caller reads them next.
  StrIndex regular;
  // The directory listed last stays open (-1: none), so that the files a
  // caller reads below it next -- a process's threads -- are looked up from
  // there rather than walked to from the root each time.
  int held_fd;
  StrView held_path;
  // The held directory's entries that its listing showed to be directories
  // themselves, not links.
  StrIndex held_dirs;
};

DirCtx* dir_ctx(const Source* src) { return static_cast<DirCtx*>(src->ctx); }

void let_go(DirCtx* ctx) {
  if (ctx->held_fd >= 0) close(ctx->held_fd);
  ctx->held_fd = -1;
}

void let_go_at_release(void* ctx) {
  DirCtx* c = static_cast<DirCtx*>(ctx);
  let_go(c);
  if (c->root.fd >= 0) close(c->root.fd);
  c->root.fd = -1;
}

bool is_below_held(const DirCtx* ctx, StrView path) {
  StrView held = ctx->held_path;
  return ctx->held_fd >= 0 && path.len > held.len + 1 && path.ptr[held.len] == '/' &&
         memcmp(path.ptr, held.ptr, held.len) == 0;
}

// Opens path (name: the same relative to the root) with flags. Below the held
// directory it is looked up from there; a lookup that would leave that
// directory (a link to "/..." or up through "..") is made from the root.
int open_at_root(DirCtx* ctx, StrView path, const char* name, int flags) {
  RootDir* root = &ctx->root;
  if (is_below_held(ctx, path)) {
    const char* below = name + ctx->held_path.len;
    int fd = root_openat(root, ctx->held_fd, below, flags, RootWalk::beneath);
    if (fd >= 0 || errno != EXDEV || !root->confined) return fd;
  }
  return root_openat(root, root->fd, name, flags, RootWalk::in_root);
}

bool has_nul(StrView v) { return v.len && memchr(v.ptr, 0, v.len) != nullptr; }

// path relative to the root ("." for "/") as a NUL-terminated text, in the
// caller's buffer when it fits (no allocation per read), else in the Arena;
// null when the path holds a NUL byte, which no file name can contain.
const char* root_name(Source* src, StrView path, char* local, size_t size) {
  if (has_nul(path)) return nullptr;
  StrView rel = path.len > 1 ? sv_slice(path, 1, path.len) : sv_lit(".");
  char* name = rel.len < size ? local : static_cast<char*>(arena_alloc(src->arena, rel.len + 1));
  memcpy(name, rel.ptr, rel.len);
  name[rel.len] = 0;
  return name;
}

// Records why a file that exists cannot be read as one: a directory is
// EISDIR, anything else but a regular file (FIFO, device, socket) EINVAL.
bool is_readable_kind(Source* src, StrView path, mode_t mode) {
  if (S_ISREG(mode)) return true;
  record_read_errno(src, path, S_ISDIR(mode) ? EISDIR : EINVAL);
  return false;
}

bool fail_errno(Source* src, StrView path, int err, int fd) {
  if (fd >= 0) close(fd);
  record_read_errno(src, path, err);
  return false;
}

// The room a full read buffer of cap bytes grows to: doubled, up to one
// byte past the largest file (and its terminating zero), which shows a file
// to be larger; 0 once a buffer that large is full.
uint64_t grown_room(uint64_t cap) {
  constexpr uint64_t kMost = kMaxFileSize + 2;
  if (cap >= kMost) return 0;
  return cap * 2 < kMost ? cap * 2 : kMost;
}

bool too_big(Source* src, StrView path, int fd) { return fail_errno(src, path, EFBIG, fd); }

// Reads fd to its end into one Arena buffer, sized from the reported size
// (procfs and sysfs report 0 and start at 8 KiB), doubling when full. A file
// that reports or reads more than kMaxFileSize bytes is refused.
bool read_fd(Source* src, StrView path, int fd, uint64_t size, StrView* out) {
  if (size > kMaxFileSize) return too_big(src, path, fd);
  uint64_t cap = size + 1 > kMinReadBuffer ? size + 1 : kMinReadBuffer;
  char* buf = static_cast<char*>(arena_alloc(src->arena, cap));
  uint64_t len = 0;
  while (true) {
    if (len == cap) {
      uint64_t grown = grown_room(cap);
      if (grown == 0) {
        arena_trim(src->arena, buf, cap, 0);
        return too_big(src, path, fd);
      }
      buf = static_cast<char*>(arena_realloc(src->arena, buf, cap, grown));
      cap = grown;
    }
    uint64_t room = cap - len;
    ssize_t n = read(fd, buf + len, room < kMaxReadChunk ? room : kMaxReadChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail_errno(src, path, errno, fd);
    if (n == 0) break;
    len += static_cast<uint64_t>(n);
    if (len > kMaxFileSize) {
      arena_trim(src->arena, buf, cap, 0);
      return too_big(src, path, fd);
    }
    // A file that reports its size ends there: no read just to see the end.
    // Pseudo-files report 0 (procfs) or a page (sysfs) and hold less.
    if (size > 0 && len == size) break;
  }
  close(fd);
  // Pseudo-files start with 8 KiB and mostly hold a line: keep only what was
  // read (and its terminating zero) so a walk over thousands of them costs
  // what they hold.
  arena_trim(src->arena, buf, cap, len + 1);
  *out = StrView{buf, len};
  return true;
}

// fail_errno for the openers below, which answer a descriptor or -1.
int fail_open(Source* src, StrView path, int err, int fd) {
  fail_errno(src, path, err, fd);
  return -1;
}

// Whether the rest of path below the held directory meets no link: a name in
// it, or a name in one of its directories that its listing showed to be one.
// Most reads of a tree are such (a process's thread files, an interrupt's).
bool is_plain_below_held(const DirCtx* ctx, StrView path, const char** below) {
  if (!ctx->root.confined || !is_below_held(ctx, path)) return false;
  StrView rest = sv_slice(path, ctx->held_path.len + 1, path.len);
  const char* slash = static_cast<const char*>(memchr(rest.ptr, '/', rest.len));
  uint32_t seen;
  if (slash && (memchr(slash + 1, '/', rest.ptr + rest.len - slash - 1) ||
                !strindex_find(&ctx->held_dirs, sv_make(rest.ptr, slash - rest.ptr), &seen)))
    return false;
  *below = rest.ptr;
  return true;
}

// Looks at the entry below the held directory without following its last
// name: true when it is a link (which the walk from the root follows), else
// *st filled and errno 0, or errno why there is nothing to look at.
bool is_link_below_held(const DirCtx* ctx, const char* below, struct stat* st) {
  errno = 0;
  if (fstatat(ctx->held_fd, below, st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return S_ISLNK(st->st_mode);
}

// The kind of the entry at path (name relative to the root) in *st, looked
// at where the root resolves it without opening it (O_PATH); false with the
// reason recorded when it cannot be read as a file.
bool look_at(Source* src, StrView path, const char* name, struct stat* st) {
  int fd = open_at_root(dir_ctx(src), path, name, O_PATH | O_CLOEXEC);
  if (fd < 0) return fail_errno(src, path, errno, -1);
  if (fstat(fd, st) != 0) return fail_errno(src, path, errno, fd);
  close(fd);
  return is_readable_kind(src, path, st->st_mode);
}

// Opens path (name relative to the root) for reading after the checks every
// read makes; -1 when it cannot be read as a file, the reason recorded.
int open_checked(Source* src, StrView path, const char* name, struct stat* st) {
  if (!name) return fail_open(src, path, EINVAL, -1);
  // In a tree the entry is looked at before it is opened: opening a device
  // node can have effects of its own, and opening a FIFO releases a writer
  // waiting at its other end. The open file is asked again, so an entry
  // swapped between the look and the open is still refused. A match of the
  // latest glob that its listing showed as a regular file needs no look of
  // its own: it is opened without following a link, so that a link put in
  // its place since is refused too.
  //
  // Below the held directory, a path that meets no link on the way is looked
  // at with one stat that does not follow its last name, and opened refusing
  // any link: the look and the open see the same entry without a walk.
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  DirCtx* ctx = dir_ctx(src);
  const char* below;
  uint32_t seen;
  int fd;
  if (!src->live && strindex_find(&ctx->regular, path, &seen)) {
    fd = open_at_root(ctx, path, name, flags | O_NOFOLLOW);
  } else if (is_plain_below_held(ctx, path, &below) && !is_link_below_held(ctx, below, st)) {
    if (errno) return fail_open(src, path, errno, -1);
    if (!is_readable_kind(src, path, st->st_mode)) return -1;
    fd = root_openat(&ctx->root, ctx->held_fd, below, flags, RootWalk::no_links);
  } else if (!src->live && !look_at(src, path, name, st)) {
    return -1;
  } else {
    fd = open_at_root(ctx, path, name, flags);
  }
  if (fd < 0) return fail_open(src, path, errno, -1);
  if (fstat(fd, st) != 0) return fail_open(src, path, errno, fd);
  if (!is_readable_kind(src, path, st->st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool dir_read_raw(Source* src, StrView path, StrView* out) {
  char local[PATH_MAX];
  struct stat st;
  int fd = open_checked(src, path, root_name(src, path, local, sizeof local), &st);
  if (fd < 0) return false;
  return read_fd(src, path, fd, static_cast<uint64_t>(st.st_size), out);
}

// Reads fd to its end into buf, which keeps its storage for the next read and
// doubles (from the Arena) when a file does not fit. Like read_fd, a file
// ends at its reported size without a read to find the end.
bool read_fd_into(Source* src, StrView path, int fd, uint64_t size, ReadBuf* buf, StrView* out) {
  if (size > kMaxFileSize) return too_big(src, path, fd);
  if (buf->cap < kMinReadBuffer) {
    buf->data = static_cast<char*>(arena_alloc(src->arena, kMinReadBuffer));
    buf->cap = kMinReadBuffer;
  }
  size_t len = 0;
  while (true) {
    if (len == buf->cap - 1) {
      uint64_t grown = grown_room(buf->cap);
      if (grown == 0) return too_big(src, path, fd);
      buf->data = static_cast<char*>(arena_realloc(src->arena, buf->data, buf->cap, grown));
      buf->cap = grown;
    }
    size_t room = buf->cap - 1 - len;
    ssize_t n = read(fd, buf->data + len, room < kMaxReadChunk ? room : kMaxReadChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail_errno(src, path, errno, fd);
    if (n == 0) break;
    len += static_cast<size_t>(n);
    if (len > kMaxFileSize) return too_big(src, path, fd);
    if (size > 0 && len == size) break;
  }
  close(fd);
  buf->data[len] = 0;
  *out = StrView{buf->data, len};
  return true;
}

bool dir_read_into(Source* src, StrView path, ReadBuf* buf, StrView* out) {
  char local[PATH_MAX];
  struct stat st;
  int fd = open_checked(src, path, root_name(src, path, local, sizeof local), &st);
  if (fd < 0) return false;
  return read_fd_into(src, path, fd, static_cast<uint64_t>(st.st_size), buf, out);
}

bool dir_exists(Source* src, StrView path) {
  char local[PATH_MAX];
  const char* name = root_name(src, path, local, sizeof local);
  int fd = name ? open_at_root(dir_ctx(src), path, name, O_PATH | O_CLOEXEC) : -1;
  if (fd >= 0) close(fd);
  return fd >= 0;
}

struct NameSink {
  Arena* arena;
  StrList* out;
  StrList dirs;  // the entries listed as directories
};

void add_name(void* ctx, DirEntry e) {
  NameSink* sink = static_cast<NameSink*>(ctx);
  StrView name = arena_strndup(sink->arena, e.name);
  strlist_add(sink->arena, sink->out, name);
  if (e.type == DT_DIR) strlist_add(sink->arena, &sink->dirs, name);
}

void hold_dirs(DirCtx* ctx, Arena* a, const StrList* dirs) {
  strindex_init(&ctx->held_dirs, a, dirs->count);
  for (StrView d : *dirs) strindex_add(&ctx->held_dirs, a, d, 0, nullptr);
}

// The listed directory is held in place of the one before.
void dir_list(Source* src, StrView path, StrList* out) {
  char local[PATH_MAX];
  const char* name = root_name(src, path, local, sizeof local);
  if (!name) {
    record_read_errno(src, path, EINVAL);
    return;
  }
  DirCtx* ctx = dir_ctx(src);
  int fd = open_at_root(ctx, path, name, kDirOpenFlags);
  NameSink sink{src->arena, out, {}};
  let_go(ctx);
  if (fd < 0 || !dir_each_entry(fd, add_name, &sink)) {
    record_read_errno(src, path, errno);
    if (fd >= 0) close(fd);
  } else {
    ctx->held_fd = fd;
    ctx->held_path = arena_strndup(src->arena, path);
    if (ctx->root.confined) hold_dirs(ctx, src->arena, &sink.dirs);
  }
  strlist_sort(out);
}

// A tree remembers which matches of its latest glob the walk saw to be
// regular files, so that reading them, as a caller does next, needs no
// second look. Only the latest: a look stays as fresh as the listing.
void dir_glob(Source* src, StrView pattern, bool dot_names, StrList* out) {
  if (has_nul(pattern)) return;
  DirCtx* ctx = dir_ctx(src);
  StrList regular{};
  int flags = FNM_PATHNAME | (dot_names ? 0 : FNM_PERIOD);
  dir_glob_expand(src->arena, &ctx->root, pattern, flags, out, src->live ? nullptr : &regular);
  strlist_sort(out);
  if (src->live) return;
  strindex_init(&ctx->regular, src->arena, regular.count);
  for (StrView m : regular) strindex_add(&ctx->regular, src->arena, m, 0, nullptr);
}

constexpr SourceOps kDirOps = {dir_read_raw, dir_exists, dir_list, dir_glob, dir_read_into};

}  // namespace

Source* dir_source_new(Arena* a, StrView root, const char* label, bool live) {
  Source* src = arena_new<Source>(a);
  DirCtx* ctx = arena_new<DirCtx>(a);
  // A tree named by a relative path is found from the working directory.
  ctx->root = root_dir_open(root.len ? root.ptr : "/", !live);
  ctx->held_fd = -1;
  arena_on_release(a, let_go_at_release, ctx);
  src->arena = a;
  src->live = live;
  src->label = label;
  src->root = root;
  src->ops = kDirOps;
  src->ctx = ctx;
  return src;
}
