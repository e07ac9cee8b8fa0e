#include "collect/platform.h"

#include "collect/sysfs.h"
#include "collect/task_sample.h"
#include "source/source.h"

namespace {

// Per-CPU event counts of the x86 thermal interrupt: how often the core and
// its package were throttled since boot
// (Documentation/ABI/testing/sysfs-devices-system-cpu, thermal_throttle).
constexpr const char kCoreCount[] = "/sys/devices/system/cpu/cpu%d/thermal_throttle/core_throttle_count";
constexpr const char kPackageCount[] =
    "/sys/devices/system/cpu/cpu%d/thermal_throttle/package_throttle_count";

void read_throttle(Source* src, int32_t cpu, OptInt* core, OptInt* package) {
  core->has = source_read_intf(src, &core->value, kCoreCount, cpu);
  package->has = source_read_intf(src, &package->value, kPackageCount, cpu);
}

void collect_thermal(Snapshot* snap) {
  for (int32_t cpu : CpuIter{&snap->online}) {
    if (!source_existsf(snap->src, "/sys/devices/system/cpu/cpu%d/thermal_throttle", cpu)) continue;
    OptInt core{}, package{};
    read_throttle(snap->src, cpu, &core, &package);
    if (!core.has && !package.has) continue;
    ThermalThrottle* t = list_grow(snap->arena, &snap->thermal);
    t->cpu = cpu;
    t->core = core;
    t->package = package;
  }
}

}  // namespace

StrView parse_cpuinfo_flags(StrView cpuinfo) {
  StrView cur = cpuinfo;
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    StrView key, value;
    if (!sv_split_once(line, ':', &key, &value)) continue;
    if (sv_eq_cstr(sv_trim(key), "flags")) return sv_trim(value);
  }
  return kNoneView;
}

bool word_list_has(StrView list, const char* word) {
  StrView cur = list;
  while (cur.ptr) {
    if (sv_eq_cstr(sv_next_token(&cur, " \t"), word)) return true;
  }
  return false;
}

void collect_platform(Snapshot* snap) {
  Source* src = snap->src;
  collect_thermal(snap);
  snap->pcie_aspm_policy = sv_trim(read_if_present(src, "/sys/module/pcie_aspm/parameters/policy"));
  snap->efi_firmware = source_exists(src, "/sys/firmware/efi");
  StrView cpuinfo = read_if_present(src, "/proc/cpuinfo");
  StrView flags = parse_cpuinfo_flags(cpuinfo);
  if (flags.ptr) snap->cpu_flags = arena_strndup(snap->arena, flags);
  // Documentation/scheduler/sched-ext.rst: state reads "enabled" while a BPF
  // scheduler is loaded, and root/ops names it.
  snap->sched_ext_state = sv_trim(read_if_present(src, "/sys/kernel/sched_ext/state"));
  snap->sched_ext_ops = sv_trim(read_if_present(src, "/sys/kernel/sched_ext/root/ops"));
}

bool sched_ext_enabled(const Snapshot* snap) {
  return sv_eq_cstr(snap->sched_ext_state, "enabled");
}

void sample_thermal(Snapshot* snap) {
  if (snap->thermal.count == 0) return;
  for (ThermalThrottle& t : snap->thermal) {
    OptInt core{}, package{};
    read_throttle(snap->src, t.cpu, &core, &package);
    t.core_delta = counter_growth(t.core, core);
    t.package_delta = counter_growth(t.package, package);
  }
}
