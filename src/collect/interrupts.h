// Interrupt collector: /proc/interrupts with the routing of every numbered
// interrupt (/proc/irq/N, /sys/kernel/irq/N), the default affinity and
// /proc/softirqs.
#pragma once

#include "base/list.h"
#include "base/str.h"
#include "collect/snapshot.h"

// Rows kept of /proc/interrupts and of /proc/softirqs. Every interrupt keeps
// a record of a kilobyte (its two CPU sets), and the largest machines show a
// few thousand interrupts: a table beyond this is broken or hostile, and the
// rows past it are dropped (the file recorded as E2BIG) rather than held.
constexpr size_t kMaxIrqRows = 65536;

// Fills the Interrupts group of the Snapshot from its Source and notes, on
// the monotonic clock, when /proc/interrupts was read.
void collect_interrupts(Snapshot* snap);

// Whether an interrupt is a kernel-managed per-queue vector: an MSI chip and
// an action named like a device queue (nvme0q3, eth0-TxRx-2, mlx5_comp4,
// virtio0-input.0, eth0-7 ...).
bool irq_is_managed(StrView chip, const StrList* actions);

// Whether text has the kernel's hexadecimal mask form: comma-separated
// groups of one to eight hexadecimal digits.
bool irq_mask_well_formed(StrView text);
