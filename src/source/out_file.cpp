#include "source/out_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// What a target may not be: writing through a link or into a device, pipe
// or socket reaches something other than the file named, and a directory
// cannot be replaced by a file.
struct RefusedKind {
  mode_t type;
  const char* what;
};

constexpr RefusedKind kRefused[] = {
    {S_IFLNK, "a symbolic link"},    {S_IFIFO, "a FIFO"},
    {S_IFSOCK, "a socket"},          {S_IFBLK, "a block device"},
    {S_IFCHR, "a character device"}, {S_IFDIR, "a directory"},
};

// The kind of file at path when it is one that is refused, else null. A
// path that cannot be examined is left to the open to report.
const char* refused_kind(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return nullptr;
  for (const RefusedKind& k : kRefused)
    if ((st.st_mode & S_IFMT) == k.type) return k.what;
  return nullptr;
}

// The input that path names, or null.
const char* same_as_input(const char* path, const char* const* inputs, size_t n) {
  struct stat out, in;
  if (stat(path, &out) != 0) return nullptr;
  for (size_t i = 0; i < n; i++)
    if (stat(inputs[i], &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
      return inputs[i];
  return nullptr;
}

StrView write_error(Arena* a, const OutFile* o, int err) {
  return arena_sprintf(a, "cannot write '%s': %s", o->path ? o->path : "-",
                       strerror(err ? err : EIO));
}

// Creates DIR/.NAME.XXXXXX exclusively with the given mode; null with errno
// set when it cannot.
FILE* open_temporary(Arena* a, const char* path, mode_t mode, const char** tmp) {
  const char* slash = strrchr(path, '/');
  StrView dir = slash ? sv_make(path, static_cast<size_t>(slash - path + 1)) : sv_lit("");
  StrView name = sv_from_cstr(slash ? slash + 1 : path);
  char* t = const_cast<char*>(arena_sprintf(a, "%.*s.%.*s.XXXXXX", SV_ARG(dir), SV_ARG(name)).ptr);
  int fd = mkostemp(t, O_CLOEXEC);
  if (fd < 0) return nullptr;
  FILE* f = fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
  if (!f) {
    int saved = errno;
    close(fd);
    unlink(t);
    errno = saved;
    return nullptr;
  }
  *tmp = t;
  return f;
}

bool written_in_place(const char* path) {
  return strcmp(path, "/dev/null") == 0;
}

}  // namespace

bool out_file_is_stdout(const char* path) {
  return strcmp(path, "-") == 0 || strcmp(path, "/dev/stdout") == 0;
}

StrView out_file_refusal(Arena* a, const char* path, const char* const* inputs, size_t n) {
  if (out_file_is_stdout(path) || written_in_place(path)) return kNoneView;
  if (const char* in = same_as_input(path, inputs, n))
    return arena_sprintf(a, "refusing to write '%s': this run reads it as '%s'", path, in);
  if (const char* kind = refused_kind(path))
    return arena_sprintf(a, "refusing to write '%s': it is %s", path, kind);
  return kNoneView;
}

bool out_file_open(Arena* a, const char* path, mode_t mode, const char* const* inputs,
                   size_t n_inputs, OutFile* out, StrView* err) {
  *out = OutFile{stdout, nullptr, nullptr};
  if (out_file_is_stdout(path)) return true;
  StrView refused = out_file_refusal(a, path, inputs, n_inputs);
  if (sv_present(refused)) {
    *err = refused;
    return false;
  }
  FILE* f =
      written_in_place(path) ? fopen(path, "we") : open_temporary(a, path, mode, &out->tmp_path);
  if (!f) {
    *err = arena_sprintf(a, "cannot write '%s': %s", path, strerror(errno));
    return false;
  }
  out->f = f;
  out->path = path;
  return true;
}

// The rename replaces whatever the path names by then, a symbolic link
// included, and never writes through it.
bool out_file_close(Arena* a, OutFile* out, StrView* err) {
  errno = 0;
  bool ok = fflush(out->f) == 0 && !ferror(out->f);
  int saved = errno;
  if (ok && out->tmp_path && fsync(fileno(out->f)) != 0) {
    ok = false;
    saved = errno;
  }
  if (out->path) {
    errno = 0;
    if (fclose(out->f) != 0 && ok) {
      ok = false;
      saved = errno;
    }
  }
  if (out->tmp_path && ok && rename(out->tmp_path, out->path) != 0) {
    ok = false;
    saved = errno;
  }
  if (out->tmp_path && !ok) unlink(out->tmp_path);
  if (!ok) *err = write_error(a, out, saved);
  return ok;
}

void out_file_abandon(Arena* a, OutFile* out, int errno_value, StrView* err) {
  if (out->path) fclose(out->f);
  if (out->tmp_path) unlink(out->tmp_path);
  *err = write_error(a, out, errno_value);
}
