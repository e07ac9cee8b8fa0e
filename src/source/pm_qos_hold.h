// Who holds the CPU latency PM QoS request on the live system: the
// processes with /dev/cpu_dma_latency open, and the value in force.
// Documentation/power/pm_qos_interface.rst: a request lives as long as its
// file descriptor; reading the device gives the aggregated value as a
// 32-bit integer, the smallest request in force.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/str.h"

struct PmQosHolder {
  bool held;         // some process other than this one has the device open
  int32_t pid;       // the lowest such pid
  StrView comm;      // its /proc/PID/comm, at most 16 bytes
  bool value_known;  // the device was read
  int32_t value_us;
};

// Looks through proc (normally "/proc") for an fd linked to device (normally
// "/dev/cpu_dma_latency"), skipping this process, and reads the device's
// value when someone holds it. Answers out->held.
bool pm_qos_find_holder(Arena* a, const char* proc, const char* device, PmQosHolder* out);

// "pid 812 (ctrl)"; control bytes of the name replaced by '?'.
StrView pm_qos_holder_text(Arena* a, const PmQosHolder* h);
