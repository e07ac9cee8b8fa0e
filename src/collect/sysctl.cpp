#include "collect/sysctl.h"

#include "base/cpuset.h"
#include "base/parse.h"
#include "collect/fair_server.h"
#include "collect/sysfs.h"
#include "source/source.h"

namespace {

// Integer settings, read in this order.
struct IntSetting {
  const char* path;
  OptInt Snapshot::*value;
};

constexpr IntSetting kIntSettings[] = {
    {"/proc/sys/kernel/sched_rt_period_us", &Snapshot::sched_rt_period_us},
    {"/proc/sys/kernel/sched_rt_runtime_us", &Snapshot::sched_rt_runtime_us},
    {"/proc/sys/kernel/sched_rr_timeslice_ms", &Snapshot::sched_rr_timeslice_ms},
    {"/proc/sys/kernel/timer_migration", &Snapshot::timer_migration},
    {"/proc/sys/kernel/numa_balancing", &Snapshot::numa_balancing},
    {"/proc/sys/kernel/watchdog", &Snapshot::watchdog},
    {"/proc/sys/kernel/nmi_watchdog", &Snapshot::nmi_watchdog},
    {"/proc/sys/kernel/soft_watchdog", &Snapshot::soft_watchdog},
    {"/proc/sys/kernel/hung_task_timeout_secs", &Snapshot::hung_task_timeout_secs},
    {"/proc/sys/kernel/sched_schedstats", &Snapshot::sched_schedstats},
    {"/proc/sys/vm/stat_interval", &Snapshot::stat_interval},
    {"/proc/sys/vm/swappiness", &Snapshot::swappiness},
    {"/sys/kernel/mm/ksm/run", &Snapshot::ksm_run},
};

// Texts kept whole, as the kernel prints them.
struct TextFile {
  const char* path;
  StrView Snapshot::*field;
};

constexpr TextFile kThpTexts[] = {
    {"/sys/kernel/mm/transparent_hugepage/enabled", &Snapshot::thp_enabled},
    {"/sys/kernel/mm/transparent_hugepage/defrag", &Snapshot::thp_defrag},
};

constexpr TextFile kClockTexts[] = {
    {"/sys/devices/system/clocksource/clocksource0/current_clocksource", &Snapshot::clocksource},
    {"/sys/devices/system/clocksource/clocksource0/available_clocksource",
     &Snapshot::available_clocksources},
};

constexpr char kFieldSeps[] = " \t";

// The next non-empty word of *cur, or absent at the end.
StrView next_word(StrView* cur) {
  while (cur->ptr) {
    StrView w = sv_next_token(cur, kFieldSeps);
    if (w.len > 0) return w;
  }
  return kNoneView;
}

void add_swap_line(StrView line, StrBuf* names, SwapSummary* out) {
  StrView cur = line;
  StrView name = next_word(&cur);
  out->active = true;
  if (names->len > 0) sb_append_cstr(names, ", ");
  sb_append_view(names, name);
  next_word(&cur);  // Type
  int64_t kb, sum;
  // A size that is not a whole number of KiB, or would overflow the total,
  // adds nothing; the device still counts as in use.
  if (!parse_i64(next_word(&cur), &kb) || kb < 0) return;
  if (__builtin_add_overflow(out->total_kb, kb, &sum)) return;
  out->total_kb = sum;
}

// One /proc/mounts line split into its first three fields.
struct MountLine {
  StrView device, dir, type;
};

MountLine split_mount(StrView line) {
  StrView cur = line;
  MountLine m;
  m.device = next_word(&cur);
  m.dir = next_word(&cur);
  m.type = next_word(&cur);
  return m;
}

void read_mce_interval(Snapshot* snap) {
  StrList files{};
  source_glob(snap->src, "/sys/devices/system/machinecheck/machinecheck[0-9]*/check_interval",
              &files);
  for (StrView f : files) {
    int64_t v;
    if (!source_read_intf(snap->src, &v, "%.*s", SV_ARG(f))) continue;
    snap->mce_check_interval.has = true;
    snap->mce_check_interval.value = v;
    return;
  }
}

void read_swaps(Snapshot* snap) {
  StrView text = source_read(snap->src, "/proc/swaps");
  if (!text.ptr) return;
  SwapSummary sw{};
  parse_swaps(snap->arena, text, &sw);
  snap->swap_active = sw.active;
  snap->swap_total_kb = sw.total_kb;
  snap->swap_devices = sw.devices;
}

template <size_t N>
void read_texts(Snapshot* snap, const TextFile (&files)[N]) {
  for (const TextFile& t : files) snap->*t.field = source_read_trimmed(snap->src, t.path);
}

}  // namespace

void parse_swaps(Arena* a, StrView text, SwapSummary* out) {
  *out = SwapSummary{};
  StrBuf names;
  sb_init(&names, a);
  StrView cur = text;
  sv_next_line(&cur);  // the column header
  while (cur.ptr) {
    StrView line = sv_trim(sv_next_line(&cur));
    if (line.len > 0) add_swap_line(line, &names, out);
  }
  out->devices = sb_view(&names);
}

int32_t parse_cgroup_version(StrView mounts) {
  bool root_v2 = false, any_v1 = false, any_v2 = false;
  StrView cur = mounts;
  while (cur.ptr) {
    MountLine m = split_mount(sv_next_line(&cur));
    bool v2 = sv_eq_cstr(m.type, "cgroup2");
    // A later mount on the same directory hides the earlier one.
    if (sv_eq_cstr(m.dir, "/sys/fs/cgroup")) root_v2 = v2;
    any_v1 = any_v1 || sv_eq_cstr(m.type, "cgroup");
    any_v2 = any_v2 || v2;
  }
  if (root_v2) return 2;
  if (any_v1) return 1;
  return any_v2 ? 2 : 0;
}

void collect_sysctl(Snapshot* snap) {
  Source* src = snap->src;
  for (const IntSetting& s : kIntSettings) read_opt_int(src, s.path, &(snap->*s.value));
  StrView wd = source_read_trimmed(src, "/proc/sys/kernel/watchdog_cpumask");
  if (wd.ptr) {
    snap->watchdog_cpumask.has = true;
    cpuset_parse_list(&snap->watchdog_cpumask.value, wd);
  }
  read_swaps(snap);
  read_texts(snap, kThpTexts);
  read_mce_interval(snap);
  // The flag is set whenever the text was read, even when the mask is
  // malformed (it then holds no CPU).
  for (const WorkqueueMask& m : kWorkqueueMasks) {
    StrView text = source_read(src, m.path);
    if (!text.ptr) continue;
    OptCpuSet* set = &(snap->*m.set);
    set->has = true;
    cpuset_parse_mask(&set->value, text);
  }
  read_texts(snap, kClockTexts);
  StrView mounts = source_read(src, "/proc/mounts");
  if (mounts.ptr) snap->cgroup_version = parse_cgroup_version(mounts);
  snap->rt_group_sched = kv_is_enabled(&snap->config, "CONFIG_RT_GROUP_SCHED");
  // Only the unified hierarchy has the file; elsewhere it is not looked for.
  if (snap->cgroup_version == 2)
    snap->cgroup_subtree_control =
        source_read_trimmed(src, "/sys/fs/cgroup/cgroup.subtree_control");
  collect_fair_server(snap);
}
