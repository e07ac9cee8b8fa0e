#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

int32_t verbosity = 0;

void fatal(const char* fmt, ...) {
  fputs("kelvane: fatal: ", stderr);
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fputc('\n', stderr);
  exit(2);
}

void log_progress(const char* fmt, ...) {
  if (verbosity < 1) return;
  fputs("kelvane: ", stderr);
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fputc('\n', stderr);
}
