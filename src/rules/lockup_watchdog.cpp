#include "rules/lockup_watchdog.h"

#include "collect/snapshot.h"

bool soft_lockup_watchdog_runs(const Snapshot* s) {
  if (!s->watchdog.has || s->watchdog.value == 0) return false;
  if (s->soft_watchdog.has) return s->soft_watchdog.value != 0;
  return !s->nosoftlockup;
}
