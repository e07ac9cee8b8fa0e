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
#include <string>

#include "base/arena.h"
#include "base/list.h"
#include "source/capture.h"
#include "source/source.h"

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

int make_tree(const std::string& d, int cpus, int threads, int irqs) {
  std::string cpu_list = "0-" + std::to_string(cpus - 1);
  put(d + "/proc/version", "Linux version 6.6.0-rt (gcc) #1 SMP PREEMPT_RT\n");
  put(d + "/proc/cmdline", "BOOT_IMAGE=/vmlinuz isolcpus=4-" + std::to_string(cpus - 1) + "\n");
  put(d + "/proc/sys/kernel/hostname", "bigbox\n");
  put(d + "/proc/sys/kernel/osrelease", "6.6.0-rt\n");
  // A distribution-sized kernel configuration: about 6,400 symbols, 260 KB.
  std::string config = "#\n# Automatically generated file; DO NOT EDIT.\n#\n";
  for (int i = 0; i < 6400; i++) {
    std::string sym = "CONFIG_GENERATED_OPTION_WITH_A_LONG_NAME_" + std::to_string(i);
    config += i % 5 == 0 ? "# " + sym + " is not set\n" : sym + "=y\n";
  }
  config += "CONFIG_HZ=1000\nCONFIG_PREEMPT_RT=y\nCONFIG_HIGH_RES_TIMERS=y\n";
  put(d + "/boot/config-6.6.0-rt", config);
  std::string interrupts = "      ";
  for (int c = 0; c < cpus; c++) interrupts += " CPU" + std::to_string(c);
  interrupts += "\n";
  for (int i = 0; i < irqs; i++) {
    std::string n = std::to_string(i), base = d + "/proc/irq/" + n;
    interrupts += " " + n + ":";
    for (int c = 0; c < cpus; c++) interrupts += " 12345";
    interrupts += " PCI-MSI eth" + n + "\n";
    for (const char* f : {"smp_affinity", "smp_affinity_list", "effective_affinity",
                          "effective_affinity_list", "node"})
      put(base + "/" + f, "0-3\n");
    mkdir((base + "/eth" + n).c_str(), 0755);
    put(d + "/sys/kernel/irq/" + n + "/chip_name", "PCI-MSI\n");
    put(d + "/sys/kernel/irq/" + n + "/name", "edge\n");
  }
  put(d + "/proc/interrupts", interrupts);
  for (int c = 0; c < cpus; c++) {
    std::string base = d + "/sys/devices/system/cpu/cpu" + std::to_string(c);
    for (const char* f :
         {"core_id", "physical_package_id", "thread_siblings_list", "core_cpus_list", "die_id"})
      put(base + "/topology/" + f, std::to_string(c) + "\n");
    for (const char* f :
         {"scaling_governor", "scaling_cur_freq", "scaling_min_freq", "scaling_max_freq",
          "cpuinfo_min_freq", "cpuinfo_max_freq", "scaling_driver"})
      put(base + "/cpufreq/" + f, "performance\n");
    for (int s = 0; s < 4; s++)
      for (const char* f : {"name", "latency", "disable", "usage", "time", "residency"})
        put(base + "/cpuidle/state" + std::to_string(s) + "/" + f, "1\n");
  }
  put(d + "/sys/devices/system/cpu/online", cpu_list + "\n");
  int per_proc = 10;
  for (int t = 0, pid = 1; t < threads; pid++) {
    std::string base = d + "/proc/" + std::to_string(pid);
    put(base + "/cmdline", std::string("/usr/bin/worker\0--id\0", 21) + std::to_string(pid));
    for (int k = 0; k < per_proc && t < threads; k++, t++) {
      std::string tid = std::to_string(pid * 100 + k), tb = base + "/task/" + tid;
      put(tb + "/stat", tid + " (worker) S 1 1 1 0 -1 4194560 0 0 0 0 0 0 0 0 -51 0 1 0 0 0 0\n");
      put(tb + "/status", "Name:\tworker\nCpus_allowed_list:\t" + cpu_list + "\n");
    }
  }
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
