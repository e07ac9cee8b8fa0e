#include "base/boot_params_read.h"

#include "base/cpuset.h"


StrView boot_name_canonical(Arena* a, StrView name) {
  char* p = arena_cstr(a, name);
  for (size_t i = 0; i < name.len; i++) p[i] = boot_name_byte(p[i]);
  return StrView{p, name.len};
}

bool boot_name_eq(StrView a, StrView b) {
  if (a.len != b.len) return false;
  for (size_t i = 0; i < a.len; i++) {
    if (boot_name_byte(a.ptr[i]) != boot_name_byte(b.ptr[i])) return false;
  }
  return true;
}

const BootParamRead* boot_param_read_find(StrView name) {
  for (size_t i = 0; i < kBootParamsReadCount; i++) {
    if (boot_name_eq(name, sv_from_cstr(kBootParamsRead[i].name))) return &kBootParamsRead[i];
  }
  return nullptr;
}

StrView boot_params_get(const KvList* params, StrView name, bool* found) {
  for (size_t i = params->count; i-- > 0;) {
    if (!boot_name_eq((*params)[i].key, name)) continue;
    *found = true;
    return (*params)[i].value;
  }
  *found = false;
  return kNoneView;
}

namespace {

void read_isolcpus(Arena* a, StrView v, int32_t last_cpu, CpuSet* cpus, StrList* flags) {
  parse_isolcpus(a, cpuset_resolve_boot_list(a, v, last_cpu), cpus, flags);
  if (flags->count == 0) strlist_add(a, flags, sv_lit("domain"));
}

bool same_flag_set(const StrList* x, const StrList* y) {
  for (StrView f : *x) {
    if (!strlist_contains(y, f)) return false;
  }
  for (StrView f : *y) {
    if (!strlist_contains(x, f)) return false;
  }
  return true;
}

}  // namespace

bool boot_values_same(Arena* a, BootValueKind kind, BootValue x, BootValue y, int32_t last_cpu) {
  if (x.found != y.found) return false;
  if (!x.found || kind == BootValueKind::flag) return true;
  if (kind == BootValueKind::text || !x.value.ptr || !y.value.ptr) return sv_eq(x.value, y.value);
  CpuSet cx, cy;
  if (kind == BootValueKind::cpulist) {
    cpuset_parse_list(&cx, cpuset_resolve_boot_list(a, x.value, last_cpu));
    cpuset_parse_list(&cy, cpuset_resolve_boot_list(a, y.value, last_cpu));
    return cpuset_equal(&cx, &cy);
  }
  StrList fx{}, fy{};
  read_isolcpus(a, x.value, last_cpu, &cx, &fx);
  read_isolcpus(a, y.value, last_cpu, &cy, &fy);
  return cpuset_equal(&cx, &cy) && same_flag_set(&fx, &fy);
}
