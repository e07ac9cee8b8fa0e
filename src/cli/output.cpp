#include "cli/output.h"

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
    case OutputFormat::text: break;
  }
  return nullptr;
}

StrView write_error(Arena* a, const ReportStream* s, int err) {
  return arena_sprintf(a, "cannot write '%s': %s", s->path ? s->path : "-",
                       strerror(err ? err : EIO));
}

}  // namespace

bool output_open(Arena* a, const Options* o, ReportStream* s, StrView* err) {
  s->f = stdout;
  s->path = nullptr;
  const char* path = o->output ? o->output : default_path(o->format);
  if (!path || strcmp(path, "-") == 0) return true;
  FILE* f = fopen(path, "we");
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
  if (!ok) *err = write_error(a, s, saved);
  return ok;
}

int run_error(StrView msg) {
  fprintf(stderr, "kelvane: %.*s\n", SV_ARG(msg));
  return 2;
}
