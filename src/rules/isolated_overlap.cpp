#include "rules/isolated_overlap.h"

Finding* add_isolated_overlap(Report* r, const char* id, Category c, const CpuSet* overlap,
                              const char* pass_title, const char* warn_title) {
  if (cpuset_empty(overlap)) {
    add_finding(r, id, c, Severity::pass, sv_from_cstr(pass_title));
    return nullptr;
  }
  Arena* a = r->arena;
  StrView cpus = cpuset_format_list(a, overlap);
  return add_finding(r, id, c, Severity::warn, arena_sprintf(a, warn_title, SV_ARG(cpus)));
}
