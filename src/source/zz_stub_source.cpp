#include "source/source.h"
Source* source_open(Arena* a, const char* path, StrView* err) {
  if (!path || (path[0] == '/' && path[1] == 0)) { Source* s = arena_new<Source>(a); s->live = true; s->arena = a; s->label = "live system"; return s; }
  *err = arena_sprintf(a, "cannot open '%s': %s", path, "No such file or directory");
  return nullptr;
}
