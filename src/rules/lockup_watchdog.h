// Whether the soft-lockup watchdog runs, as the isolation and noise rules
// both need to know.
#pragma once

struct Snapshot;

// The soft-lockup watchdog runs when kernel.watchdog.value was read and is non-zero
// and kernel.soft_watchdog.value is non-zero. kernel.watchdog.value alone stays 1 while the
// NMI watchdog runs, even after nosoftlockup cleared soft_watchdog; when
// soft_watchdog was not read, a nosoftlockup boot parameter stands for 0.
bool soft_lockup_watchdog_runs(const Snapshot* s);
