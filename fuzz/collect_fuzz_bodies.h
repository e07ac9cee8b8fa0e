// Bodies of the libFuzzer targets for the CPU, sysctl and mount parsers (the
// CPU target also reads cgroup partitions and proposes a CPU partition),
// shared with the unit test that feeds the kept inputs through them. Each
// takes raw bytes and must neither crash nor misbehave on any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/arena.h"
#include "base/cpuset.h"
#include "collect/collect.h"
#include "collect/consoles.h"
#include "collect/platform.h"
#include "collect/cpuidle.h"
#include "collect/kernel.h"
#include "collect/sysctl.h"
#include "rules/partition.h"
#include "source/bundle.h"
#include "source/source.h"
#include "source/tar_writer.h"

inline StrView fuzz_view(const uint8_t* data, size_t size) {
  return StrView{reinterpret_cast<const char*>(data), size};
}

// sysfs cpulists and masks, and the boot-parameter spellings: a parsed list
// formats into a text that parses back to the same set.
inline void fuzz_cpulist(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView text = fuzz_view(data, size);
  CpuSet s, again;
  cpuset_parse_list(&s, text);
  cpuset_parse_list(&again, cpuset_format_list(&a, &s));
  if (!cpuset_equal(&s, &again)) abort();
  cpuset_parse_mask(&again, cpuset_format_mask(&a, &s));
  if (!cpuset_equal(&s, &again)) abort();
  cpuset_parse_mask(&s, text);
  int32_t last = size > 0 ? data[0] * 16 : -1;
  StrList flags{};
  parse_isolcpus(&a, cpuset_resolve_boot_list(&a, text, last), &s, &flags);
  cpuset_parse_list(&s, cpuset_resolve_boot_list(&a, text, last));
  arena_release(&a);
}

inline void fuzz_swaps(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  SwapSummary sw;
  parse_swaps(&a, fuzz_view(data, size), &sw);
  if (sw.total_kb < 0 || !sw.devices.ptr || (sw.devices.len > 0 && !sw.active)) abort();
  arena_release(&a);
}

// /proc/consoles: every console kept has a name; nbcon only in the layout
// that can say it. The cpuinfo flags are a part of their line.
inline void fuzz_consoles(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  List<Console> out{};
  StrView text = fuzz_view(data, size);
  parse_consoles(&a, text, &out);
  for (const Console& c : out)
    if (c.name.len == 0 || memchr(c.name.ptr, '\n', c.name.len)) abort();
  StrView flags = parse_cpuinfo_flags(text);
  if (flags.ptr && (flags.ptr < text.ptr || flags.ptr + flags.len > text.ptr + text.len)) abort();
  arena_release(&a);
}

// The scheduler's preempt file: the active model is one of the listed words.
inline void fuzz_preempt(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrList models{};
  StrView active = parse_preempt_file(&a, fuzz_view(data, size), &models);
  if (active.ptr && !strlist_contains(&models, active)) abort();
  arena_release(&a);
}

inline void fuzz_mounts(const uint8_t* data, size_t size) {
  int32_t v = parse_cgroup_version(fuzz_view(data, size));
  if (v < 0 || v > 2) abort();
}

// The files of a small machine that the CPU, frequency, idle-state and
// sysctl collectors read; the input is cut at NUL bytes and the pieces go to
// these files in turn.
constexpr const char* kFuzzCpuFiles[] = {
    "/sys/devices/system/cpu/online",
    "/sys/devices/system/cpu/possible",
    "/sys/devices/system/cpu/isolated",
    "/sys/devices/system/cpu/nohz_full",
    "/proc/cmdline",
    "/sys/devices/system/cpu/cpu0/topology/thread_siblings_list",
    "/sys/devices/system/cpu/cpu0/topology/core_id",
    "/sys/devices/system/node/node0/cpulist",
    "/sys/devices/system/cpu/smt/active",
    "/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor",
    "/sys/devices/system/cpu/cpu0/cpufreq/scaling_min_freq",
    "/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq",
    "/sys/devices/system/cpu/cpu1/cpufreq/cpuinfo_max_freq",
    "/sys/devices/system/cpu/intel_pstate/no_turbo",
    "/sys/devices/system/cpu/cpu0/cpuidle/state0/name",
    "/sys/devices/system/cpu/cpu0/cpuidle/state0/latency",
    "/sys/devices/system/cpu/cpu0/cpuidle/state0/usage",
    "/sys/devices/system/cpu/cpu0/cpuidle/state0/disable",
    "/sys/devices/system/cpu/cpu1/cpuidle/state1/residency",
    "/sys/devices/system/cpu/cpu1/cpuidle/state1/time",
    "/proc/sys/kernel/watchdog_cpumask",
    "/proc/swaps",
    "/proc/mounts",
    "/sys/devices/virtual/workqueue/cpumask",
    "/sys/kernel/tracing/available_tracers",
    "/sys/devices/system/cpu/cpu1/cpu_capacity",
    "/sys/fs/cgroup/rt/cpuset.cpus.partition",
    "/sys/fs/cgroup/rt/cpuset.cpus.effective",
    "/sys/fs/cgroup/cpuset.cpus.isolated",
};

inline void fuzz_cpu_collect(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  constexpr size_t kFiles = sizeof kFuzzCpuFiles / sizeof kFuzzCpuFiles[0];
  StrBuf tar;
  sb_init(&tar, &a);
  StrView rest = fuzz_view(data, size);
  for (size_t i = 0; i < kFiles && rest.ptr; i++) {
    StrView piece, after;
    if (!sv_split_once(rest, '\0', &piece, &after)) after = kNoneView;
    char block[512];
    if (!tar_header_fill(block, sv_from_cstr(kFuzzCpuFiles[i]), piece.len, false, 0)) abort();
    sb_append(&tar, block, sizeof block);
    sb_append(&tar, piece.ptr, piece.len);
    static const char zeros[1024] = {};
    sb_append(&tar, zeros, (512 - piece.len % 512) % 512);
    rest = after;
  }
  static const char end[1024] = {};
  sb_append(&tar, end, sizeof end);
  StrView err{};
  Source* src = bundle_load(&a, "fuzz", sb_view(&tar), uint64_t{1} << 20, &err);
  if (!src) abort();
  Snapshot* snap = arena_new<Snapshot>(&a);
  collect_snapshot(snap, &a, src, 0);
  sample_cpuidle_usage(snap);
  if (snap->ncpus != static_cast<uint32_t>(cpuset_count(&snap->online))) abort();
  if (snap->cpus.count != snap->ncpus) abort();
  for (const CpuIdle& idle : snap->cpuidle) {
    for (const IdleState& st : idle.states) {
      if (st.usage_delta.has && st.usage_delta.value < 0) abort();
    }
  }
  // A proposed partition names only CPUs the machine has and never splits a
  // core.
  Partition part = partition_propose(&a, snap);
  for (int32_t c : CpuIter{&part.isolate}) {
    if (!cpuset_has(&snap->possible, c) && !cpuset_has(&snap->online, c)) abort();
    bool proposed = part.kind == PartitionKind::proposed;
    const CpuTopology* t = proposed ? find_cpu_topology(snap, c) : nullptr;
    if (t) {
      CpuSet outside = t->siblings;
      cpuset_andnot(&outside, &part.isolate);
      if (!cpuset_empty(&outside)) abort();
    }
  }
  arena_release(&a);
}
