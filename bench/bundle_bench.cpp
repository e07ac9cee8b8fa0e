// Benchmark helper for bundles on a large machine (not part of the build).
//   bundle_bench tree DIR [CPUS THREADS IRQS]  writes a machine tree
//   bundle_bench capture DIR OUT               captures DIR into OUT
//   bundle_bench load BUNDLE                   loads OUT and walks it the way
//                                              the collectors do
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "base/arena.h"
#include "base/list.h"
#include "source/capture.h"
#include "source/source_open.h"

namespace {

void put(const std::string& path, const std::string& content) {
  for (size_t i = 1; i < path.size(); i++)
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  FILE* f = fopen(path.c_str(), "w");
  if (!f) {
    perror(path.c_str());
    exit(1);
  }
  fwrite(content.data(), 1, content.size(), f);
  fclose(f);
}

std::string cpu_mask(int cpus, int only) {  // the kernel's mask text; only < 0: every CPU
  std::string out;
  for (int g = (cpus - 1) / 32; g >= 0; g--) {
    uint32_t bits = 0;
    for (int c = g * 32; c < g * 32 + 32 && c < cpus; c++)
      if (only < 0 || c == only) bits |= 1u << (c - g * 32);
    char word[16];
    snprintf(word, sizeof word, "%08x", bits);
    out += word;
    if (g > 0) out += ",";
  }
  return out;
}

// A stat line as the kernel prints it: 52 fields, the name in parentheses.
std::string stat_line(int tid, const std::string& comm, int ppid, long flags, int cpu, int prio,
                      int policy) {
  char buf[512];
  int kprio = policy == 1 || policy == 2 ? -1 - prio : 20;
  snprintf(buf, sizeof buf,
           "%d (%s) S %d %d %d 0 -1 %ld 1245 0 3 0 %d %d 0 0 %d 0 %d 0 %d 226357248 3349 "
           "18446744073709551615 94537165910016 94537166012645 140722938519088 0 0 0 0 4096 "
           "16386 0 0 0 -1 %d %d %d 0 0 0 94537166047536 94537166050432 94537181495296 "
           "140722938523401 140722938523431 140722938523431 140722938527717 0\n",
           tid, comm.c_str(), ppid, ppid, ppid, flags, tid % 997, tid % 331, kprio, 1 + tid % 10,
           1000 + tid, cpu, prio, policy);
  return buf;
}

// A status file as the kernel prints it for a thread (about 1.3 KiB).
std::string status_file(int pid, int tid, const std::string& comm, bool kthread,
                        const std::string& allowed_mask, const std::string& allowed_list) {
  std::string s = "Name:\t" + comm + "\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t" +
                  std::to_string(pid) + "\nNgid:\t0\nPid:\t" + std::to_string(tid) +
                  "\nPPid:\t1\nTracerPid:\t0\nUid:\t0\t0\t0\t0\nGid:\t0\t0\t0\t0\nFDSize:\t64\n"
                  "Groups:\t \nNStgid:\t" + std::to_string(pid) + "\nNSpid:\t" + std::to_string(tid) +
                  "\nNSpgid:\t" + std::to_string(pid) + "\nNSsid:\t" + std::to_string(pid) + "\n";
  if (!kthread)
    s += "VmPeak:\t  221056 kB\nVmSize:\t  221056 kB\nVmLck:\t       0 kB\nVmPin:\t       0 kB\n"
         "VmHWM:\t   13396 kB\nVmRSS:\t   13396 kB\nRssAnon:\t    4800 kB\nRssFile:\t    8596 kB\n"
         "RssShmem:\t       0 kB\nVmData:\t   19124 kB\nVmStk:\t     132 kB\nVmExe:\t     100 kB\n"
         "VmLib:\t   10068 kB\nVmPTE:\t      88 kB\nVmSwap:\t       0 kB\nHugetlbPages:\t       0 kB\n"
         "CoreDumping:\t0\nTHP_enabled:\t1\n";
  s += "Threads:\t10\nSigQ:\t1/254611\nSigPnd:\t0000000000000000\nShdPnd:\t0000000000000000\n"
       "SigBlk:\t0000000000000000\nSigIgn:\t0000000000001000\nSigCgt:\t0000000180004a02\n"
       "CapInh:\t0000000000000000\nCapPrm:\t000001ffffffffff\nCapEff:\t000001ffffffffff\n"
       "CapBnd:\t000001ffffffffff\nCapAmb:\t0000000000000000\nNoNewPrivs:\t0\nSeccomp:\t0\n"
       "Seccomp_filters:\t0\nSpeculation_Store_Bypass:\tthread vulnerable\n"
       "SpeculationIndirectBranch:\tconditional enabled\nCpus_allowed:\t" + allowed_mask +
       "\nCpus_allowed_list:\t" + allowed_list +
       "\nMems_allowed:\t00000000,00000003\nMems_allowed_list:\t0-1\n"
       "voluntary_ctxt_switches:\t" + std::to_string(tid * 7 % 100003) +
       "\nnonvoluntary_ctxt_switches:\t" + std::to_string(tid % 211) + "\n";
  return s;
}

struct Thread {
  int tid;
  std::string comm;
  long flags;
  int cpu, prio, policy;
  int pin;  // the one allowed CPU, or -1 for every CPU
};

void put_process(const std::string& d, int cpus, int pid, const std::string& cmdline,
                 const std::vector<Thread>& threads) {
  std::string base = d + "/proc/" + std::to_string(pid);
  put(base + "/cmdline", cmdline);
  std::string all_mask = cpu_mask(cpus, -1), all_list = "0-" + std::to_string(cpus - 1);
  for (const Thread& t : threads) {
    std::string tb = base + "/task/" + std::to_string(t.tid);
    bool kthread = (t.flags & 0x00200000) != 0;
    put(tb + "/stat", stat_line(t.tid, t.comm, kthread ? 2 : 1, t.flags, t.cpu, t.prio, t.policy));
    put(tb + "/status", status_file(pid, t.tid, t.comm, kthread,
                                    t.pin < 0 ? all_mask : cpu_mask(cpus, t.pin),
                                    t.pin < 0 ? all_list : std::to_string(t.pin)));
  }
}

// /proc/interrupts, /proc/softirqs and every interrupt's directories: one
// MSI queue vector per row, firing on one CPU.
void make_interrupts(const std::string& d, int cpus, int irqs) {
  std::string table = "      ";
  for (int c = 0; c < cpus; c++) {
    char col[16];
    snprintf(col, sizeof col, "  CPU%-7d", c);
    table += col;
  }
  table += "\n";
  char num[16];
  for (int i = 0; i < irqs; i++) {
    int n = 24 + i, cpu = i % cpus;
    std::string action = "ens" + std::to_string(i / 64) + "f0-TxRx-" + std::to_string(i % 64);
    snprintf(num, sizeof num, "%4d:", n);
    table += num;
    for (int c = 0; c < cpus; c++) {
      snprintf(num, sizeof num, " %10u", c == cpu ? 123457u + i : 0u);
      table += num;
    }
    table += "  IR-PCI-MSI " + std::to_string(1572864 + i) + "-edge      " + action + "\n";
    std::string base = d + "/proc/irq/" + std::to_string(n) + "/";
    put(base + "smp_affinity", cpu_mask(cpus, cpu) + "\n");
    put(base + "smp_affinity_list", std::to_string(cpu) + "\n");
    put(base + "effective_affinity", cpu_mask(cpus, cpu) + "\n");
    put(base + "effective_affinity_list", std::to_string(cpu) + "\n");
    put(base + "affinity_hint", cpu_mask(cpus, -2) + "\n");
    put(base + "node", std::to_string(cpu * 2 / cpus) + "\n");
    put(base + "spurious", "count 0\nunhandled 0\nlast_unhandled 0 ms\n");
    mkdir((base + action).c_str(), 0755);
    std::string sys = d + "/sys/kernel/irq/" + std::to_string(n) + "/";
    std::string per_cpu;
    for (int c = 0; c < cpus; c++) per_cpu += (c ? "," : "") + std::to_string(c == cpu ? 123457 + i : 0);
    put(sys + "actions", action + "\n");
    put(sys + "chip_name", "IR-PCI-MSI\n");
    put(sys + "hwirq", std::to_string(1572864 + i) + "\n");
    put(sys + "name", "edge\n");
    put(sys + "per_cpu_count", per_cpu + "\n");
    put(sys + "type", "edge\n");
    put(sys + "wakeup", "disabled\n");
  }
  for (const char* row : {"NMI", "LOC", "SPU", "PMI", "IWI", "RTR", "RES", "CAL", "TLB", "TRM",
                          "THR", "DFR", "MCE", "MCP"}) {
    table += " " + std::string(row) + ":";
    for (int c = 0; c < cpus; c++) {
      snprintf(num, sizeof num, " %10u", 35121877u + c);
      table += num;
    }
    table += "   Local timer interrupts\n";
  }
  table += " ERR:          0\n MIS:          0\n";
  put(d + "/proc/interrupts", table);
  put(d + "/proc/irq/default_smp_affinity", cpu_mask(cpus, -1) + "\n");
  std::string soft = "                ";
  for (int c = 0; c < cpus; c++) soft += "  CPU" + std::to_string(c);
  soft += "\n";
  for (const char* row : {"HI", "TIMER", "NET_TX", "NET_RX", "BLOCK", "IRQ_POLL", "TASKLET",
                          "SCHED", "HRTIMER", "RCU"}) {
    soft += "  " + std::string(row) + ":";
    for (int c = 0; c < cpus; c++) soft += " " + std::to_string(812340 + c);
    soft += "\n";
  }
  put(d + "/proc/softirqs", soft);
}

// Topology, cpufreq and four idle states for every CPU.
void make_cpus(const std::string& d, int cpus) {
  std::string cpu_list = "0-" + std::to_string(cpus - 1), sys = d + "/sys/devices/system/cpu";
  for (const char* f : {"online", "possible", "present"}) put(sys + "/" + f, cpu_list + "\n");
  put(sys + "/offline", "\n");
  put(sys + "/isolated", "4-" + std::to_string(cpus - 1) + "\n");
  put(sys + "/nohz_full", "4-" + std::to_string(cpus - 1) + "\n");
  put(sys + "/smt/control", "on\n");
  put(sys + "/smt/active", "1\n");
  put(sys + "/cpuidle/current_driver", "intel_idle\n");
  put(sys + "/cpuidle/current_governor", "menu\n");
  put(sys + "/intel_pstate/status", "active\n");
  put(sys + "/intel_pstate/no_turbo", "0\n");
  put(sys + "/intel_pstate/min_perf_pct", "24\n");
  int half = cpus / 2;
  for (int n = 0; n < 2; n++)
    put(d + "/sys/devices/system/node/node" + std::to_string(n) + "/cpulist",
        std::to_string(n * half / 2) + "-" + std::to_string(n * half / 2 + half / 2 - 1) + "," +
            std::to_string(half + n * half / 2) + "-" + std::to_string(half + n * half / 2 + half / 2 - 1) + "\n");
  const char* states[][4] = {{"POLL", "CPUIDLE CORE POLL IDLE", "0", "0"},
                             {"C1", "MWAIT 0x00", "2", "2"},
                             {"C1E", "MWAIT 0x01", "10", "20"},
                             {"C6", "MWAIT 0x20", "133", "600"}};
  for (int c = 0; c < cpus; c++) {
    std::string base = sys + "/cpu" + std::to_string(c), sib = std::to_string(c % half) + "," + std::to_string(c % half + half);
    put(base + "/topology/core_id", std::to_string(c % half) + "\n");
    put(base + "/topology/physical_package_id", std::to_string(c % half * 2 / half) + "\n");
    put(base + "/topology/die_id", "0\n");
    put(base + "/topology/thread_siblings_list", sib + "\n");
    put(base + "/topology/core_cpus_list", sib + "\n");
    put(base + "/topology/core_siblings_list", cpu_list + "\n");
    put(base + "/topology/package_cpus_list", cpu_list + "\n");
    const char* freq[][2] = {{"scaling_governor", "performance"}, {"scaling_driver", "intel_pstate"},
                             {"scaling_cur_freq", "3400012"}, {"scaling_min_freq", "800000"},
                             {"scaling_max_freq", "3400000"}, {"cpuinfo_min_freq", "800000"},
                             {"cpuinfo_max_freq", "3400000"},
                             {"energy_performance_preference", "performance"}};
    for (const auto& f : freq) put(base + "/cpufreq/" + f[0], std::string(f[1]) + "\n");
    for (int s = 0; s < 4; s++) {
      std::string st = base + "/cpuidle/state" + std::to_string(s) + "/";
      put(st + "name", std::string(states[s][0]) + "\n");
      put(st + "desc", std::string(states[s][1]) + "\n");
      put(st + "latency", std::string(states[s][2]) + "\n");
      put(st + "residency", std::string(states[s][3]) + "\n");
      put(st + "disable", s == 3 ? "1\n" : "0\n");
      put(st + "usage", std::to_string(1000 + 37 * c + s) + "\n");
      put(st + "time", std::to_string(91234567 + c) + "\n");
      put(st + "default_status", "enabled\n");
    }
  }
}

// The threads: per-CPU kernel threads, one threaded handler per interrupt,
// then worker processes of ten threads, every twentieth with two RT threads.
void make_threads(const std::string& d, int cpus, int threads, int irqs) {
  constexpr long kBound = 69238848, kKthread = 2129984, kUser = 4194560;
  int made = 0, pid = 2;
  auto kernel = [&](const std::string& comm, long flags, int cpu, int prio, int policy, int pin) {
    if (made >= threads) return;
    put_process(d, cpus, pid, "", {{pid, comm, flags, cpu, prio, policy, pin}});
    pid++;
    made++;
  };
  for (int c = 0; c < cpus; c++) {
    kernel("migration/" + std::to_string(c), kBound, c, 99, 1, c);
    kernel("ksoftirqd/" + std::to_string(c), kBound, c, 0, 0, c);
    kernel("cpuhp/" + std::to_string(c), kBound, c, 0, 0, c);
    kernel("kworker/" + std::to_string(c) + ":0H", kKthread, c, 0, 0, c);
  }
  for (int i = 0; i < irqs; i++) {
    std::string comm = "irq/" + std::to_string(24 + i) + "-ens" + std::to_string(i / 64) + "f0-Tx";
    kernel(comm.substr(0, 15), kKthread, i % cpus, 50, 1, i % cpus);
  }
  for (int proc = 0; made < threads; proc++, pid += 10) {
    std::vector<Thread> ts;
    for (int k = 0; k < 10 && made < threads; k++, made++) {
      bool rt = proc % 20 == 0 && k >= 8;
      ts.push_back({pid + k, k ? "worker-" + std::to_string(k) : "worker", kUser, (pid + k) % cpus,
                    rt ? 80 : 0, rt ? 1 : 0, rt ? 4 + (pid + k) % (cpus - 4) : -1});
    }
    put_process(d, cpus, pid, std::string("/usr/bin/worker\0--id\0", 21) + std::to_string(pid), ts);
  }
}

int make_tree(const std::string& d, int cpus, int threads, int irqs) {
  put(d + "/proc/version",
      "Linux version 6.1.0-rt (gcc) #1 SMP PREEMPT_RT Debian 6.1.0-rt (2026-11-26)\n");
  put(d + "/proc/sys/kernel/osrelease", "6.1.0-rt\n");
  put(d + "/proc/cmdline", "BOOT_IMAGE=/vmlinuz isolcpus=managed_irq,domain,4-" +
                               std::to_string(cpus - 1) + " nohz_full=4-" + std::to_string(cpus - 1) + "\n");
  put(d + "/proc/sys/kernel/hostname", "bigbox\n");
  put(d + "/sys/kernel/realtime", "1\n");
  // A distribution-sized kernel configuration: about 6,400 symbols, 260 KB.
  std::string config = "#\n# Automatically generated file; DO NOT EDIT.\n#\n";
  for (int i = 0; i < 6400; i++) {
    std::string sym = "CONFIG_GENERATED_OPTION_WITH_A_LONG_NAME_" + std::to_string(i);
    config += i % 5 == 0 ? "# " + sym + " is not set\n" : sym + "=y\n";
  }
  config += "CONFIG_HZ=1000\nCONFIG_PREEMPT_RT=y\nCONFIG_HIGH_RES_TIMERS=y\n";
  put(d + "/boot/config-6.1.0-rt", config);
  make_interrupts(d, cpus, irqs);
  make_cpus(d, cpus);
  make_threads(d, cpus, threads, irqs);
  return 0;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int capture(const char* tree, const char* out) {
  Arena a;
  arena_init(&a);
  StrView err{};
  Source* src = source_open(&a, tree, &err);
  bool ok = src && capture_bundle(&a, src, out, false, &err);
  if (!ok) fprintf(stderr, "capture failed: %.*s\n", SV_ARG(err));
  arena_release(&a);
  return ok ? 0 : 1;
}

// Loads the bundle and reads what the collectors read: every thread's stat
// and status through the list walk, every IRQ directory, every CPU's files.
int load(const char* path) {
  double t0 = now();
  Arena a;
  arena_init(&a);
  StrView err{};
  Source* src = source_open(&a, path, &err);
  if (!src) {
    fprintf(stderr, "%.*s\n", SV_ARG(err));
    return 1;
  }
  double t1 = now();
  uint64_t loaded = a.total;
  size_t files = 0, bytes = 0;
  StrList pids{};
  source_list(src, "/proc", &pids);
  for (StrView p : pids) {
    StrList tids{};
    std::string dir = "/proc/" + std::string(p.ptr, p.len) + "/task";
    source_list(src, dir.c_str(), &tids);
    for (StrView t : tids)
      for (const char* f : {"/stat", "/status"}) {
        std::string file = dir + "/" + std::string(t.ptr, t.len) + f;
        bytes += source_read(src, file.c_str()).len;
        files++;
      }
  }
  for (const char* pattern :
       {"/proc/irq/[0-9]*/smp_affinity", "/proc/irq/[0-9]*/effective_affinity_list",
        "/sys/devices/system/cpu/cpu[0-9]*/cpuidle/state[0-9]*/latency",
        "/sys/devices/system/cpu/cpu[0-9]*/cpufreq/scaling_governor"}) {
    StrList g{};
    source_glob(src, pattern, &g);
    for (StrView m : g) {
      std::string file(m.ptr, m.len);
      bytes += source_read(src, file.c_str()).len;
      files++;
    }
  }
  StrList irqs{};
  source_list(src, "/proc/irq", &irqs);
  for (StrView i : irqs) {
    StrList actions{};
    std::string dir = "/proc/irq/" + std::string(i.ptr, i.len);
    source_list(src, dir.c_str(), &actions);
  }
  double t2 = now();
  printf("load %.3f s, walk %.3f s (%zu files, %zu bytes)\n", t1 - t0, t2 - t1, files, bytes);
  // The Arena never gives memory back, so its total is the peak it held.
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  printf("arena %llu bytes after loading, %llu after the walk; max resident %llu bytes\n",
         static_cast<unsigned long long>(loaded), static_cast<unsigned long long>(a.total),
         static_cast<unsigned long long>(ru.ru_maxrss) * 1024);
  arena_release(&a);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && strcmp(argv[1], "tree") == 0)
    return make_tree(argv[2], argc > 3 ? atoi(argv[3]) : 256, argc > 4 ? atoi(argv[4]) : 20000,
                     argc > 5 ? atoi(argv[5]) : 1500);
  if (argc == 4 && strcmp(argv[1], "capture") == 0) return capture(argv[2], argv[3]);
  if (argc == 3 && strcmp(argv[1], "load") == 0) return load(argv[2]);
  fprintf(stderr,
          "usage: bundle_bench tree DIR [CPUS THREADS IRQS] | capture DIR OUT | load BUNDLE\n");
  return 2;
}
