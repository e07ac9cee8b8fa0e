#include "rules/lockup_watchdog.h"

#include "collect/snapshot.h"

bool soft_lockup_watchdog_runs(const Snapshot* s) {
  if (!s->has_watchdog || s->watchdog == 0) return false;
  if (s->has_soft_watchdog) return s->soft_watchdog != 0;
  return !s->nosoftlockup;
}
