#include "source/capture.h"

#include <errno.h>

#include <cstring>
#include <ctime>

#include "base/log.h"
#include "base/parse.h"
#include "source/capture_boot.h"
#include "source/out_file.h"
#include "source/path.h"
#include "source/pm_qos_hold.h"
#include "source/tar_writer.h"

// Everything the analysis reads; entries with "*", "?" or "[" are patterns.
constexpr const char* kCopyList[] = {
    "/proc/version",
    "/proc/cmdline",
    "/proc/uptime",
    "/proc/cpuinfo",
    "/proc/config.gz",
    "/proc/sys/kernel/osrelease",
    "/sys/kernel/realtime",
    "/boot/config-*",
    "/lib/modules/*/build/.config",
    "/sys/kernel/debug/sched/preempt",
    "/sys/kernel/debug/sched/fair_server/cpu[0-9]*/runtime",
    "/sys/kernel/debug/sched/fair_server/cpu[0-9]*/period",
    "/sys/devices/system/cpu/possible",
    "/sys/devices/system/cpu/present",
    "/sys/devices/system/cpu/online",
    "/sys/devices/system/cpu/offline",
    "/sys/devices/system/cpu/isolated",
    "/sys/devices/system/cpu/nohz_full",
    "/sys/devices/system/cpu/smt/*",
    "/sys/devices/system/cpu/cpu[0-9]*/online",
    "/sys/devices/system/cpu/cpu[0-9]*/topology/*",
    "/sys/devices/system/node/node[0-9]*/cpulist",
    "/sys/devices/system/cpu/cpu[0-9]*/cpufreq/*",
    "/sys/devices/system/cpu/cpufreq/boost",
    "/sys/devices/system/cpu/intel_pstate/*",
    "/sys/devices/system/cpu/amd_pstate/*",
    "/sys/devices/system/cpu/cpu[0-9]*/cpuidle/state[0-9]*/*",
    "/sys/devices/system/cpu/cpuidle/*",
    "/proc/interrupts",
    "/proc/softirqs",
    // The hrtimers queued per CPU: what keeps a nohz_full CPU's tick.
    "/proc/timer_list",
    "/proc/irq/default_smp_affinity",
    "/proc/irq/[0-9]*/smp_affinity",
    "/proc/irq/[0-9]*/smp_affinity_list",
    "/proc/irq/[0-9]*/effective_affinity",
    "/proc/irq/[0-9]*/effective_affinity_list",
    "/proc/irq/[0-9]*/node",
    "/sys/kernel/irq/[0-9]*/chip_name",
    "/sys/kernel/irq/[0-9]*/name",
    "/proc/sys/kernel/sched_*",
    "/proc/sys/kernel/timer_migration",
    "/proc/sys/kernel/numa_balancing",
    "/proc/sys/kernel/watchdog",
    "/proc/sys/kernel/watchdog_cpumask",
    "/proc/sys/kernel/nmi_watchdog",
    "/proc/sys/kernel/soft_watchdog",
    "/proc/sys/kernel/hung_task_timeout_secs",
    "/proc/sys/kernel/hostname",
    "/proc/sys/vm/stat_interval",
    "/proc/sys/vm/swappiness",
    "/proc/swaps",
    "/proc/mounts",
    "/sys/fs/cgroup/cgroup.subtree_control",
    "/sys/kernel/mm/transparent_hugepage/enabled",
    "/sys/kernel/mm/transparent_hugepage/defrag",
    "/sys/kernel/mm/ksm/run",
    "/sys/devices/system/machinecheck/machinecheck[0-9]*/check_interval",
    "/sys/devices/virtual/workqueue/cpumask",
    "/sys/bus/workqueue/devices/writeback/cpumask",
    "/sys/devices/system/clocksource/clocksource0/*",
    "/sys/kernel/tracing/available_tracers",
    "/sys/kernel/tracing/current_tracer",
    "/sys/kernel/tracing/tracing_on",
    "/sys/kernel/tracing/osnoise/*",
    "/sys/kernel/debug/tracing/available_tracers",
    "/sys/kernel/debug/tracing/current_tracer",
    "/sys/kernel/debug/tracing/tracing_on",
    // CPU capacities (big.LITTLE) and the cgroup v2 cpuset partitions, as
    // deep as the analysis looks for them.
    "/sys/devices/system/cpu/cpu[0-9]*/cpu_capacity",
    "/sys/fs/cgroup/cpuset.cpus.isolated",
    "/sys/fs/cgroup/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/cpuset.cpus.effective",
    "/sys/fs/cgroup/*/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/*/cpuset.cpus.effective",
    "/sys/fs/cgroup/*/*/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/*/*/cpuset.cpus.effective",
    "/sys/fs/cgroup/*/*/*/*/cpuset.cpus.partition",
    "/sys/fs/cgroup/*/*/*/*/cpuset.cpus.effective",
    // What the next boot runs: boot loader configuration (never grub.cfg,
    // which can hold password hashes), persisted sysctls and TuneD.
    "/etc/default/grub",
    "/etc/default/grub.d/*.cfg",
    "/boot/loader/entries/*.conf",
    "/etc/kernel/cmdline",
    "/boot/grub2/grubenv",
    "/boot/grub/grubenv",
    "/etc/sysctl.d/*.conf",
    "/run/sysctl.d/*.conf",
    "/usr/local/lib/sysctl.d/*.conf",
    "/usr/lib/sysctl.d/*.conf",
    "/lib/sysctl.d/*.conf",
    "/etc/sysctl.conf",
    "/etc/tuned/active_profile",
    "/etc/tuned/*-variables.conf",
    // Consoles, log level, thermal throttling, PCIe link power policy and the
    // sched_ext scheduler class.
    "/proc/consoles",
    "/proc/sys/kernel/printk",
    "/sys/devices/system/cpu/cpu[0-9]*/thermal_throttle/*",
    "/sys/module/pcie_aspm/parameters/policy",
    "/sys/kernel/sched_ext/state",
    "/sys/kernel/sched_ext/root/ops",
};

size_t capture_copy_count() { return sizeof kCopyList / sizeof kCopyList[0]; }

const char* capture_copy_entry(size_t i) { return i < capture_copy_count() ? kCopyList[i] : nullptr; }

namespace {

// Names in a /proc/irq/N directory that are files; every other name there is
// an interrupt action (handler) directory.
constexpr const char* kIrqFiles[] = {
    "smp_affinity",       "smp_affinity_list",
    "effective_affinity", "effective_affinity_list",
    "affinity_hint",      "node",
    "spurious",
};

constexpr const char* kTools[] = {
    "cyclictest", "rtla", "hwlatdetect", "chrt", "taskset", "tuna", "turbostat",
};

constexpr const char* kToolDirs[] = {
    "/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/local/bin/", "/usr/local/sbin/",
};

struct CaptureState {
  TarWriter writer;
  ReadBuf buf;  // every file is read here, then copied into the archive
  Source* source;
  Arena* arena;
  bool redact;
  uint64_t files;
  uint64_t dirs;
  StrIndex written;  // every path stored, so that each goes in once
};

bool is_irq_file(StrView name) {
  for (const char* f : kIrqFiles)
    if (sv_eq_cstr(name, f)) return true;
  return false;
}

// What a redacted capture stores instead of path's content. The boot line
// keeps the parameters the analysis reads; process command lines go whole.
StrView redacted_content(Arena* a, StrView path, StrView data) {
  if (sv_eq_cstr(path, "/proc/cmdline")) return boot_line_redact(a, data);
  if (sv_starts_with(path, "/proc/") && sv_ends_with(path, "/cmdline")) return sv_lit("");
  if (sv_eq_cstr(path, "/proc/sys/kernel/hostname")) return sv_lit("redacted\n");
  return data;
}

// The bytes of path as the system provides them (".gz" files stay
// compressed). A file goes into the archive right after its read, so a tree
// is read through one reused buffer and its contents are held only in the
// archive; a bundle hands out views of its members.
bool read_as_stored(CaptureState* st, StrView path, StrView* data) {
  Source* src = st->source;
  if (src->ops.read_into) return src->ops.read_into(src, path, &st->buf, data);
  return src->ops.read_raw(src, path, data);
}

// Paths are Arena texts or literals, which outlive the index.
bool mark_written(CaptureState* st, StrView path) {
  return strindex_add(&st->written, st->arena, path, 0, nullptr);
}

// Reads path and stores it; the caller has made sure it goes in once.
void store_file(CaptureState* st, StrView path) {
  StrView data;
  if (!read_as_stored(st, path, &data)) return;
  if (st->redact) data = redacted_content(st->arena, path, data);
  BootFileKind kind = boot_file_kind(path);
  if (kind != BootFileKind::none) data = boot_file_keep(st->arena, kind, data, st->redact);
  if (tar_write_entry(&st->writer, path, data, false)) st->files++;
}

// A path is marked before it is read: one that cannot be read fails the same
// way when asked again, so it is not tried twice.
void capture_file(CaptureState* st, StrView path) {
  if (mark_written(st, path)) store_file(st, path);
}

void capture_dir(CaptureState* st, StrView path) {
  if (!mark_written(st, path)) return;
  if (tar_write_entry(&st->writer, path, sv_lit(""), true)) st->dirs++;
}

void capture_copy_list(CaptureState* st) {
  for (const char* entry : kCopyList) {
    if (!path_has_wildcard(sv_from_cstr(entry))) {
      capture_file(st, sv_from_cstr(entry));
      continue;
    }
    StrList matches{};
    // Cgroups are named by their creators, a leading "." included: they are
    // copied as the analysis walks them (collect/cgroup.cpp).
    if (sv_starts_with(sv_from_cstr(entry), "/sys/fs/cgroup/"))
      source_glob_dot_names(st->source, entry, &matches);
    else
      source_glob(st->source, entry, &matches);
    for (StrView m : matches) capture_file(st, m);
  }
}

// Directories whose presence the analysis reads even when the files in them
// cannot be read (the fair server's per-CPU directories sit in debugfs,
// which often refuses its files to the capturing user).
constexpr const char* kDirList[] = {
    "/sys/kernel/debug/sched/fair_server/cpu[0-9]*",
    // The EFI firmware directory says the machine booted through EFI; its
    // contents are not needed.
    "/sys/firmware/efi",
};

void capture_dir_list(CaptureState* st) {
  for (const char* pattern : kDirList) {
    StrList matches{};
    if (!path_has_wildcard(sv_from_cstr(pattern))) {
      if (source_exists(st->source, pattern)) capture_dir(st, sv_from_cstr(pattern));
      continue;
    }
    source_glob(st->source, pattern, &matches);
    for (StrView m : matches) capture_dir(st, m);
  }
}

// Interrupt action directories are stored empty: their names are what the
// analysis needs.
void capture_irq_actions(CaptureState* st) {
  StrList irqs{};
  source_list(st->source, "/proc/irq", &irqs);
  for (StrView irq : irqs) {
    if (!sv_all_digits(irq)) continue;
    StrView dir = arena_sprintf(st->arena, "/proc/irq/%.*s", SV_ARG(irq));
    capture_dir(st, dir);
    StrList names{};
    source_list(st->source, dir.ptr, &names);
    for (StrView name : names)
      if (!is_irq_file(name))
        capture_dir(st, arena_sprintf(st->arena, "%.*s/%.*s", SV_ARG(dir), SV_ARG(name)));
  }
}

// A process or thread id as the kernel names its directory: digits without
// a leading zero. Another spelling ("012") names no other process: its files
// are read under the id's own name, where that name's entry stores them.
bool is_id_name(StrView name) {
  int32_t id;
  return parse_id(name, &id) && (name.len == 1 || name.ptr[0] != '0');
}

// A path under /proc built from listed names in a buffer of its own: the
// process files are most of a capture, and each path is needed only until
// its file is stored. Ids have at most ten digits, so every path fits.
struct ProcPath {
  char text[64];
  size_t len;
};

void proc_path_set(ProcPath* p, StrView pid, StrView tail) {
  p->len = 0;
  const StrView parts[] = {sv_lit("/proc/"), pid, tail};
  for (StrView part : parts) {
    memcpy(p->text + p->len, part.ptr, part.len);
    p->len += part.len;
  }
  p->text[p->len] = 0;
}

StrView proc_path_view(const ProcPath* p) { return StrView{p->text, p->len}; }

constexpr StrView kThreadFiles[] = {sv_lit("/stat"), sv_lit("/status")};

// Each directory lists a name once and the copy list holds no process
// files, so every path built here is new: they skip the written index,
// which would otherwise be asked for each of tens of thousands of files.
void capture_threads(CaptureState* st, StrView pid) {
  ProcPath path;
  proc_path_set(&path, pid, sv_lit("/task"));
  StrList tids{};
  source_list(st->source, path.text, &tids);
  for (StrView t : tids) {
    if (!is_id_name(t)) continue;
    for (StrView file : kThreadFiles) {
      proc_path_set(&path, pid, sv_lit("/task/"));
      memcpy(path.text + path.len, t.ptr, t.len);
      memcpy(path.text + path.len + t.len, file.ptr, file.len + 1);
      path.len += t.len + file.len;
      store_file(st, proc_path_view(&path));
    }
  }
}

void capture_processes(CaptureState* st) {
  StrList pids{};
  source_list(st->source, "/proc", &pids);
  for (StrView p : pids) {
    if (!is_id_name(p)) continue;
    ProcPath path;
    proc_path_set(&path, p, sv_lit("/cmdline"));
    store_file(st, proc_path_view(&path));
    capture_threads(st, p);
  }
}

void capture_tools(CaptureState* st) {
  Arena* a = st->arena;
  for (const char* tool : kTools) {
    for (const char* dir : kToolDirs) {
      StrView candidate = arena_sprintf(a, "%s%s", dir, tool);
      if (!source_exists(st->source, candidate.ptr)) continue;
      StrView member = arena_sprintf(a, "/.kelvane/cmd/which_%s", tool);
      mark_written(st, member);
      if (tar_write_entry(&st->writer, member, candidate, false)) st->files++;
      break;
    }
  }
}

void write_member(CaptureState* st, StrView member, StrView content) {
  mark_written(st, member);
  if (tar_write_entry(&st->writer, member, content, false)) st->files++;
}

// Who holds /dev/cpu_dma_latency and the value in force, where the analysis
// of a bundle reads them (collect/cpuidle.cpp). Only the live system has
// processes to look through; --redact keeps the pid and drops the name.
void capture_pm_qos(CaptureState* st) {
  if (!st->source->live) return;
  PmQosHolder h = {};
  if (!pm_qos_find_holder(st->arena, "/proc", "/dev/cpu_dma_latency", &h)) return;
  if (st->redact) h.comm = sv_lit("redacted");
  write_member(st, sv_lit("/.kelvane/cmd/cpu_dma_latency_holder"),
               arena_sprintf(st->arena, "%.*s\n", SV_ARG(pm_qos_holder_text(st->arena, &h))));
  if (h.value_known)
    write_member(st, sv_lit("/.kelvane/cmd/cpu_dma_latency_value"),
                 arena_sprintf(st->arena, "%d\n", h.value_us));
}

StrView utc_now(Arena* a) {
  time_t now = time(nullptr);
  struct tm tm;
  char buf[32];
  if (!gmtime_r(&now, &tm) || strftime(buf, sizeof(buf), "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
    buf[0] = 0;
  return arena_strndup(a, sv_from_cstr(buf));
}

void capture_meta(CaptureState* st) {
  Arena* a = st->arena;
  StrView host = source_read_trimmed(st->source, "/proc/sys/kernel/hostname");
  if (st->redact) host = sv_lit("redacted");
  StrView meta =
      arena_sprintf(a, "tool=kelvane\nformat=1\ncaptured_at=%s\nhost=%.*s\nredacted=%s\n",
                    utc_now(a).ptr, SV_ARG(host), st->redact ? "yes" : "no");
  capture_dir(st, sv_lit("/.kelvane/derived"));
  if (tar_write_entry(&st->writer, sv_lit("/.kelvane/derived/meta"), meta, false))
    st->files++;
}

}  // namespace

bool capture_bundle(Arena* a, Source* src, const char* path, bool redact, StrView* err) {
  CaptureState st{};
  st.writer.arena = a;
  st.source = src;
  st.arena = a;
  st.redact = redact;
  strindex_init(&st.written, a, 1024);

  capture_copy_list(&st);
  capture_dir_list(&st);
  capture_irq_actions(&st);
  capture_processes(&st);
  capture_dir(&st, sv_lit("/.kelvane"));
  capture_dir(&st, sv_lit("/.kelvane/cmd"));
  capture_tools(&st);
  capture_pm_qos(&st);
  capture_meta(&st);
  tar_write_end(&st.writer);
  // Opened once the archive is whole, so that an interrupted capture leaves
  // no temporary file behind. The bundle holds every command line, which
  // can carry secrets: it is readable and writable by its owner only.
  OutFile out;
  if (!out_file_open(a, path, 0600, nullptr, 0, &out, err)) return false;
  if (!tar_write_gzip(&st.writer, fileno(out.f))) {
    out_file_abandon(a, &out, errno, err);
    return false;
  }
  if (!out_file_close(a, &out, err)) return false;
  log_progress("captured %zu files, %zu directories", static_cast<size_t>(st.files),
               static_cast<size_t>(st.dirs));
  return true;
}
