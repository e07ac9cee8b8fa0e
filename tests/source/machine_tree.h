// Test helper: a small captured-machine tree with the kinds of files capture
// and the bundle reader have to handle.
#pragma once

#include <sys/stat.h>

#include <string>

#include "tar_builder.h"
#include "test_util.h"

inline const std::string& long_idle_name() {
  static const std::string n = "state0/" + std::string(80, 'l');
  return n;
}

inline void make_machine_tree(const TempDir& t) {
  t.write("proc/version", "Linux version 6.1.0-rt (gcc) #1 SMP PREEMPT_RT\n");
  t.write("proc/cmdline", "BOOT_IMAGE=/vmlinuz isolcpus=2-3 password=hunter2\n");
  t.write("proc/cpuinfo", "processor\t: 0\nprocessor\t: 1\n");
  t.write("proc/config.gz", gzip_bytes("CONFIG_PREEMPT_RT=y\n"));
  t.write("proc/sys/kernel/hostname", "myhost\n");
  t.write("proc/sys/kernel/sched_rt_runtime_us", "950000\n");
  t.write("proc/interrupts", "           CPU0       CPU1\n 17:  1  2  IO-APIC  eth0\n");
  t.write("proc/irq/default_smp_affinity", "f\n");
  t.write("proc/irq/17/smp_affinity", "3\n");
  t.write("proc/irq/17/node", "0\n");
  mkdir(t.file("proc/irq/17/eth0").c_str(), 0755);
  t.write("proc/irq/abc/smp_affinity", "1\n");
  t.write("proc/1/cmdline", std::string("/sbin/init\0--token=s3cret\0", 26));
  t.write("proc/1/task/1/stat", "1 (init) S 0\n");
  t.write("proc/1/task/1/status", "Name:\tinit\n");
  t.write("proc/1/task/7/stat", "7 (kworker) S 2\n");
  t.write("proc/1/task/7/status", "Name:\tkworker\n");
  t.write("proc/1/environ", "SECRET=1");
  t.write("proc/self/cmdline", "no");
  t.write("boot/config-6.1.0-rt", "CONFIG_PREEMPT_RT=y\n");
  t.write("sys/devices/system/cpu/online", "0-1\n");
  t.write("sys/devices/system/cpu/cpu0/topology/core_id", "0\n");
  t.write("sys/devices/system/cpu/cpu0/cpuidle/" + long_idle_name(), "long\n");
  t.write("sys/devices/system/cpu/cpu0/cpuidle/state0/latency", "0\n");
  t.write("sys/kernel/tracing/.hidden", "x");
  t.write("usr/bin/chrt", "#!");
  t.write("usr/local/sbin/tuna", "#!");
  t.write("sbin/tuna", "#!");
}
