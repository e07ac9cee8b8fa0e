#include "collect/cpufreq.h"

#include "base/cpuset.h"
#include "collect/sysfs.h"
#include "source/source.h"

namespace {

// Text files of a CPU's cpufreq directory.
struct FreqText {
  const char* file;
  StrView CpuFreq::*field;
};

constexpr FreqText kFreqTexts[] = {
    {"scaling_governor", &CpuFreq::governor},
    {"scaling_driver", &CpuFreq::driver},
    {"energy_performance_preference", &CpuFreq::epp},
};

// Frequencies in kHz, as the kernel gives them.
struct FreqInt {
  const char* file;
  OptInt CpuFreq::*value;
};

constexpr FreqInt kFreqInts[] = {
    {"scaling_min_freq", &CpuFreq::scaling_min_khz},
    {"scaling_max_freq", &CpuFreq::scaling_max_khz},
    {"scaling_cur_freq", &CpuFreq::cur_khz},
    {"cpuinfo_max_freq", &CpuFreq::cpuinfo_max_khz},
    {"cpuinfo_min_freq", &CpuFreq::cpuinfo_min_khz},
};

// Machine-wide settings of the frequency drivers.
struct GlobalInt {
  const char* path;
  OptInt Snapshot::*value;
};

constexpr GlobalInt kGlobalInts[] = {
    {"/sys/devices/system/cpu/cpufreq/boost", &Snapshot::boost},
    {"/sys/devices/system/cpu/intel_pstate/no_turbo", &Snapshot::no_turbo},
    {"/sys/devices/system/cpu/intel_pstate/min_perf_pct", &Snapshot::min_perf_pct},
};

void read_cpu(Snapshot* snap, int32_t cpu) {
  Source* src = snap->src;
  CpuFreq* f = list_grow(snap->arena, &snap->cpufreq);
  f->cpu = cpu;
  for (const FreqText& t : kFreqTexts) {
    f->*t.field = source_read_trimmedf(src, "/sys/devices/system/cpu/cpu%d/cpufreq/%s", cpu, t.file);
  }
  for (const FreqInt& i : kFreqInts) {
    OptInt* v = &(f->*i.value);
    v->has =
        source_read_intf(src, &v->value, "/sys/devices/system/cpu/cpu%d/cpufreq/%s", cpu, i.file);
  }
}

}  // namespace

void collect_cpufreq(Snapshot* snap) {
  for (int32_t cpu : CpuIter{&snap->online}) {
    if (!source_existsf(snap->src, "/sys/devices/system/cpu/cpu%d/cpufreq", cpu)) continue;
    read_cpu(snap, cpu);
    snap->cpufreq_available = true;
  }
  cpu_positions_build(snap->arena, &snap->cpufreq_pos, snap->cpufreq);
  for (const GlobalInt& g : kGlobalInts) {
    read_opt_int(snap->src, g.path, &(snap->*g.value));
  }
  snap->pstate_status = source_read_trimmed(snap->src, "/sys/devices/system/cpu/intel_pstate/status");
  if (!snap->pstate_status.ptr) {
    snap->pstate_status = source_read_trimmed(snap->src, "/sys/devices/system/cpu/amd_pstate/status");
  }
}
