#include "cli/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char* default_path(OutputFormat f) {
  switch (f) {
    case OutputFormat::json: return "rt-report.json";
    case OutputFormat::html: return "rt-report.html";
    case OutputFormat::junit: return "rt-report.xml";
    case OutputFormat::openmetrics: return "rt-report.prom";
    case OutputFormat::text: break;
  }
  return nullptr;
}

StrView write_error(Arena* a, const ReportStream* s, int err) {
  return arena_sprintf(a, "cannot write '%s': %s", s->path ? s->path : "-",
                       strerror(err ? err : EIO));
}

// Replaced through a temporary file: a path that does not exist yet or is a
// regular file. Anything else (a device such as /dev/null, a pipe, a
// symbolic link) is written in place, as renaming over it would replace it.
bool replace_atomically(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode);
}

// A hidden name beside the target that does not end in ".prom", so the
// textfile collector never reads it: DIR/.NAME.XXXXXX.
FILE* open_temporary(Arena* a, const char* path, const char** tmp) {
  const char* slash = strrchr(path, '/');
  StrView dir = slash ? sv_make(path, static_cast<size_t>(slash - path + 1)) : sv_lit("");
  StrView name = sv_from_cstr(slash ? slash + 1 : path);
  char* t = const_cast<char*>(arena_sprintf(a, "%.*s.%.*s.XXXXXX", SV_ARG(dir), SV_ARG(name)).ptr);
  int fd = mkostemp(t, O_CLOEXEC);
  if (fd < 0) return nullptr;
  FILE* f = fchmod(fd, 0644) == 0 ? fdopen(fd, "w") : nullptr;
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

}  // namespace

bool output_open(Arena* a, const Options* o, ReportStream* s, StrView* err) {
  *s = ReportStream{stdout, nullptr, nullptr};
  const char* path = o->output ? o->output : default_path(o->format);
  if (!path || strcmp(path, "-") == 0) return true;
  bool atomic = o->format == OutputFormat::openmetrics && replace_atomically(path);
  FILE* f = atomic ? open_temporary(a, path, &s->tmp_path) : fopen(path, "we");
  if (!f) {
    *err = arena_sprintf(a, "cannot write '%s': %s", path, strerror(errno));
    return false;
  }
  s->f = f;
  s->path = path;
  return true;
}

bool output_wants_color(const Options* o, const ReportStream* s) {
  if (o->color_set) return o->text.color;
  if (getenv("NO_COLOR")) return false;
  return isatty(fileno(s->f)) == 1;
}

bool output_close(Arena* a, ReportStream* s, StrView* err) {
  errno = 0;
  bool ok = fflush(s->f) == 0 && !ferror(s->f);
  int saved = errno;
  if (s->path) {
    errno = 0;
    if (fclose(s->f) != 0 && ok) {
      ok = false;
      saved = errno;
    }
  }
  if (s->tmp_path && ok && rename(s->tmp_path, s->path) != 0) {
    ok = false;
    saved = errno;
  }
  if (s->tmp_path && !ok) unlink(s->tmp_path);
  if (!ok) *err = write_error(a, s, saved);
  return ok;
}

int run_error(StrView msg) {
  fprintf(stderr, "kelvane: %.*s\n", SV_ARG(msg));
  return 2;
}
