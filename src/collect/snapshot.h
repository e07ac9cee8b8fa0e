// Snapshot: everything kelvane knows about the analysed machine. The
// collectors fill it once from a Source; afterwards the rules and the reports
// only read it.
//
// Conventions: the record starts zero-filled and an unknown value is always
// the zero value (absent text, false flag, empty set, empty list). Texts are
// StrViews whose null pointer means absent. A number or CPU set that may be
// missing is an Opt (OptInt, OptCpuSet, Opt<T>): when has is false, value is
// zero and means nothing. Lists are Arena-grown and keep the order of
// appending.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/list.h"
#include "base/opt.h"
#include "base/str.h"
#include "collect/boot_lines.h"
#include "collect/measurement.h"
#include "collect/persisted_sysctl.h"
#include "collect/tick_stop.h"
#include "collect/timer_list.h"
#include "source/source.h"

// Where each CPU's element sits in a per-CPU list of the Snapshot, so that a
// lookup inside a loop over CPUs costs one step: slot[cpu] is the position of
// the first element for that CPU plus one, 0 for a CPU without one. The
// collector that fills the list builds it once (cpu_positions_build); a list
// whose count differs from the one it was built for is searched linearly.
struct CpuPositions {
  uint32_t* slot;  // kMaxCpus entries; null until built
  size_t count;    // the list's count when it was built
};

// ---- CPU topology ----

struct CpuTopology {
  int32_t cpu;
  CpuSet siblings;  // other hardware threads of the same core, cpu removed
  OptInt core_id;
  OptInt package_id;
  OptInt node;      // NUMA node whose CPU list holds the CPU
  OptInt capacity;  // cpu_capacity: the CPU's relative compute capacity (big.LITTLE)
};

// A cgroup v2 cpuset partition whose state the kernel reports invalid.
struct CgroupPartition {
  StrView path;   // the cgroup's directory, "/sys/fs/cgroup/rt"
  StrView state;  // cpuset.cpus.partition as read: "isolated invalid (reason)"
};

struct NumaNode {
  int32_t node;
  CpuSet cpus;
};

// ---- Frequency ----

struct CpuFreq {
  int32_t cpu;
  StrView governor;
  StrView driver;
  OptInt scaling_min_khz;
  OptInt scaling_max_khz;
  OptInt cur_khz;
  OptInt cpuinfo_max_khz;
  OptInt cpuinfo_min_khz;
  StrView epp;  // energy-performance preference
};

// ---- Idle states ----

struct IdleState {
  int32_t index;  // N of stateN
  StrView name;
  StrView desc;
  OptInt latency_us;    // exit latency
  OptInt residency_us;  // target residency
  bool disabled;
  OptInt usage;        // entry count
  OptInt time_us;      // total time in the state
  OptInt usage_delta;  // entries during the sampling window, never negative
};

struct CpuIdle {
  int32_t cpu;
  List<IdleState> states;  // in the order of their sorted directory paths
};

// ---- Interrupts ----

struct IrqCount {
  int32_t cpu;
  uint64_t count;  // since boot
  uint64_t delta;  // growth over the sampling window; 0 when not sampled
};

struct IrqInfo {
  StrView name;    // "24" for numbered rows, "NMI" for special rows
  StrView chip;    // interrupt controller
  StrView device;  // action names joined by ", ", or "irq %d"; special rows: description
  StrList actions;
  List<IrqCount> per_cpu;  // one per CPU column
  uint64_t total;
  uint64_t delta_total;
  OptCpuSet affinity;
  OptCpuSet effective;
  OptInt node;
  bool managed;  // kernel-managed per-queue interrupt
  bool special;  // the row is not numbered
  bool per_cpu_vector;  // one vector per CPU (GIC SGI or PPI): there is no affinity to move
};

struct SoftirqInfo {
  StrView name;  // "TIMER", "NET_RX" ...
  List<IrqCount> per_cpu;
  uint64_t delta_total;
};

// ---- Threads ----

// The SCHED_DEADLINE parameters of a thread, as sched_getattr gives them.
struct DlParams {
  uint64_t runtime_ns;
  uint64_t deadline_ns;
  uint64_t period_ns;
};

struct RtTask {
  int32_t pid;
  int32_t tid;
  StrView comm;
  StrView cmdline;      // absent or empty for kernel threads
  int32_t policy;       // kSchedFifo ... (collect/sched_policy.h)
  StrView policy_name;  // "SCHED_FIFO" ... or "SCHED_UNKNOWN"
  int32_t rt_priority;
  int32_t nice;
  int32_t last_cpu;  // -1 when unknown
  OptCpuSet affinity;
  bool kthread;
  StrView role;        // what a kernel thread does; absent when not known
  StrView irq_number;  // threaded interrupt handlers: N of irq/N-name
  Opt<DlParams> dl;
  OptInt voluntary_switches;
  OptInt nonvoluntary_switches;
  OptInt minflt;     // minor page faults since the thread started (stat field 10)
  OptInt majflt;     // major page faults (stat field 12)
  OptInt vm_lck_kb;  // its process's locked memory (status VmLck), in kB
  OptInt vm_rss_kb;  // its process's resident memory (status VmRSS), in kB
  // Growth over the live sampling window; has is false when the thread was
  // not sampled, ended, or a counter went down (a new thread with its id).
  OptInt minflt_delta;
  OptInt majflt_delta;
  OptInt nonvoluntary_delta;
};

// A console the kernel prints to, from /proc/consoles.
struct Console {
  StrView name;   // driver name and index, "ttyS0", "tty0"
  bool enabled;   // flag E
  bool nbcon;     // flag N: a console driver that prints from its own thread
};

// A CPU's thermal throttling counters (x86 thermal_throttle directory).
struct ThermalThrottle {
  int32_t cpu;
  OptInt core;
  OptInt package;
  OptInt core_delta;     // growth over the live sampling window
  OptInt package_delta;
};

// A kernel thread kept for where it may run, whatever its policy: the RCU
// callback-offload threads (rcuo*), which the kernel lets user space move.
struct KthreadPlacement {
  int32_t pid;
  int32_t tid;
  StrView comm;
  OptCpuSet affinity;  // Cpus_allowed_list of its status file
};

// One CPU's fair deadline server: the time reserved for normal tasks while
// they wait behind real-time ones, from /sys/kernel/debug/sched/fair_server.
struct FairServer {
  int32_t cpu;
  OptInt runtime_ns;
  OptInt period_ns;
};

// ---- The Snapshot ----

struct Snapshot {
  // Header
  Arena* arena;
  Source* src;
  List<ReadError> read_errors;  // the Source's failed reads when collection ended
  StrView host;          // "unknown" when unreadable
  StrView tool_version;  // set by the run driver
  StrView source;        // the Source's label
  bool live;
  bool privileged;  // set by the run driver

  // Kernel
  StrView proc_version;
  StrView release;
  bool is_rt;
  StrView rt_evidence;
  StrView preempt_model;         // active model; absent when unknown
  StrList preempt_models;        // every model the preempt file lists, unbracketed
  StrView config_preempt_model;  // model the configuration selects
  bool preempt_dynamic;
  OptInt hz;  // CONFIG_HZ; absent unless it is a positive number
  bool config_available;
  StrView config_source;
  KvList config;         // CONFIG_ symbol -> value ("n" for "is not set")
  KvList debug_options;  // enabled debugging option -> description

  // Boot command line
  StrView cmdline;
  KvList cmdline_params;  // value absent for a bare word
  OptCpuSet isolcpus;
  StrList isolcpus_flags;
  OptCpuSet cmdline_nohz_full;
  OptCpuSet rcu_nocbs;
  OptCpuSet irqaffinity;
  OptCpuSet kthread_cpus;
  bool rcu_nocb_poll;
  bool idle_poll;
  OptInt max_cstate;
  StrView intel_pstate_param;
  bool nosoftlockup;
  bool nowatchdog;
  OptInt nmi_watchdog_param;
  bool skew_tick;
  bool nosmt;
  StrView mitigations_param;
  StrView thp_param;
  StrView clocksource_param;
  bool audit_off;
  bool isolcpus_domain;  // isolcpus= takes its CPUs out of the scheduler domains

  // CPU topology
  CpuSet possible;
  CpuSet present;
  CpuSet online;
  CpuSet offline;
  CpuSet isolated;
  CpuSet nohz_full;
  CpuSet housekeeping;
  bool isolated_from_sysfs;
  List<CpuTopology> cpus;  // one per online CPU, ascending
  CpuPositions cpus_pos;
  List<NumaNode> nodes;
  bool smt_in_use;
  StrView smt_control;
  uint32_t ncpus;
  // The highest CPU the kernel's lists name when it is past what a CpuSet
  // holds (kMaxCpus - 1); 0 otherwise. Those CPUs are left out everywhere.
  int32_t highest_cpu_named;
  bool nohz_full_ignored;  // nohz_full= given, but the kernel is built without CONFIG_NO_HZ_FULL
  OptCpuSet cgroup_isolated;  // CPUs of isolated cgroup v2 cpuset partitions
  List<CgroupPartition> cgroup_invalid;  // partitions the kernel reports invalid

  // Frequency
  bool cpufreq_available;
  List<CpuFreq> cpufreq;
  CpuPositions cpufreq_pos;
  OptInt boost;
  StrView pstate_status;
  OptInt no_turbo;
  OptInt min_perf_pct;
  List<ThermalThrottle> thermal;  // CPUs with a thermal_throttle directory
  StrView pcie_aspm_policy;       // /sys/module/pcie_aspm/parameters/policy
  bool efi_firmware;              // /sys/firmware/efi exists: booted through EFI

  // Idle states
  bool cpuidle_available;
  StrView cpuidle_driver;
  StrView cpuidle_governor;
  List<CpuIdle> cpuidle;
  CpuPositions cpuidle_pos;
  double cpuidle_read_s;    // monotonic clock at the first reading of the usage counters
  double cpuidle_window_s;  // time between the two readings; 0 when not sampled
  OptInt dma_latency_us;
  Opt<StrView> dma_latency_holder;  // present only when not empty

  // Interrupts
  bool interrupts_available;
  List<IrqInfo> irqs;
  List<IrqInfo> special_irqs;
  List<SoftirqInfo> softirqs;
  OptCpuSet default_affinity;
  bool sampled;
  double sample_window_s;  // time that passed between the two readings
  double interrupts_read_s;  // monotonic clock at the first reading; 0 when not read

  // Threads
  bool tasks_available;
  List<RtTask> rt_tasks;
  int32_t threads_scanned;
  bool sched_getattr_ok;
  StrView sched_getattr_note;
  List<KthreadPlacement> rcuo_threads;  // kernel threads named rcuo*, walk order
  double tasks_read_s;    // monotonic clock at the first reading of the threads
  double tasks_window_s;  // time between the two readings; 0 when not sampled

  // Sysctls and noise sources
  OptInt sched_rt_period_us;
  OptInt sched_rt_runtime_us;  // -1 means no throttling
  OptInt sched_rr_timeslice_ms;
  OptInt timer_migration;
  OptInt numa_balancing;
  OptInt watchdog;
  OptInt nmi_watchdog;
  OptInt soft_watchdog;
  OptCpuSet watchdog_cpumask;
  OptInt hung_task_timeout_secs;
  OptInt sched_schedstats;
  OptInt stat_interval;
  OptInt swappiness;
  bool swap_active;
  int64_t swap_total_kb;
  StrView swap_devices;
  StrView thp_enabled;
  StrView thp_defrag;
  OptInt console_loglevel;   // kernel.printk's first field
  bool consoles_read;        // /proc/consoles was read
  List<Console> consoles;    // its lines that parsed
  StrView cpu_flags;         // the first flags line of /proc/cpuinfo
  OptInt ksm_run;
  OptInt mce_check_interval;
  OptCpuSet workqueue_cpumask;
  OptCpuSet writeback_cpumask;
  StrView clocksource;
  StrView available_clocksources;
  int32_t cgroup_version;
  bool rt_group_sched;
  StrView cgroup_subtree_control;  // /sys/fs/cgroup/cgroup.subtree_control
  bool fair_server_available;      // the fair_server directory has CPU entries
  List<FairServer> fair_server;    // one per cpuN directory, ascending
  List<CpuTimers> timer_list;      // /proc/timer_list, read only with nohz_full CPUs
  // timer:tick_stop failures traced in kelvane's tracefs instance over the
  // live sampling window, with nohz_full CPUs (tick_trace.h)
  List<TickStopCpu> tick_stops;

  // Tracing and tools
  bool tracefs_available;
  StrView tracefs_path;
  StrView available_tracers;
  StrView current_tracer;
  OptInt tracing_on;
  bool tracing_instances;
  bool osnoise_available;
  bool timerlat_available;
  bool hwlat_available;
  bool irqsoff_available;
  bool wakeup_rt_available;
  StrView which_cyclictest;
  StrView which_rtla;
  StrView which_hwlatdetect;
  StrView which_chrt;
  StrView which_taskset;
  StrView which_tuna;
  StrView which_turbostat;
  StrView sched_ext_state;  // /sys/kernel/sched_ext/state
  StrView sched_ext_ops;    // the loaded scheduler's name, root/ops

  // What the machine is configured to do at the next boot
  BootConfig boot_config;
  SysctlConf sysctl_conf;
  StrView tuned_profile;          // /etc/tuned/active_profile; absent without TuneD
  StrView tuned_variables_file;   // the isolating profile's variables file, when read
  OptCpuSet tuned_isolated_cores; // its isolated_cores, when it could be worked out

  // Measurement
  bool measure_requested;
  Measurement measured;
  TimerlatResult timerlat_result;
  NoiseResult noise_result;
  HwlatResult hwlat_result;
  TimerlatAnalysis timerlat_analysis;
  StrList measure_notes;
};

// Indexes the elements of a per-CPU list by their cpu field (the first
// element wins); an empty list leaves pos unbuilt.
template <class T>
void cpu_positions_build(Arena* a, CpuPositions* pos, const List<T>& list) {
  *pos = CpuPositions{};
  if (list.count == 0) return;
  pos->slot = arena_array<uint32_t>(a, kMaxCpus);
  pos->count = list.count;
  for (size_t i = list.count; i-- > 0;) {
    int32_t cpu = list.items[i].cpu;
    if (cpu >= 0 && cpu < kMaxCpus) pos->slot[cpu] = static_cast<uint32_t>(i + 1);
  }
}

// Lookups by CPU number answering the first element whose cpu matches, or
// null: through the list's CpuPositions when they were built for it, else by
// a linear search. The index variants also give the element's position
// in its list through *index (left untouched when nothing is found); index
// may be null.
const CpuTopology* find_cpu_topology(const Snapshot* s, int32_t cpu);
const CpuFreq* find_cpu_freq(const Snapshot* s, int32_t cpu, size_t* index);
const CpuIdle* find_cpu_idle(const Snapshot* s, int32_t cpu, size_t* index);

// The deepest enabled idle state of a CPU: among its states that are not
// disabled and have a known exit latency, the one with the largest latency_us
// (the first wins a tie); null when there is none.
const IdleState* deepest_idle_state(const Snapshot* s, int32_t cpu);
// The same for a CPU's own row of idle states, when the caller holds it.
const IdleState* cpu_idle_deepest(const CpuIdle* idle);

// The CPU's C-state floor: the exit latency of its deepest_idle_state, or
// absent when there is none.
OptInt cstate_floor_us(const Snapshot* s, int32_t cpu);
