#include "measure/measurement.h"

#include "collect/snapshot.h"

PerCpuLatency* per_cpu_entry(Arena* a, Measurement* m, int32_t cpu) {
  for (PerCpuLatency& e : m->per_cpu) {
    if (e.cpu == cpu) return &e;
  }
  PerCpuLatency* e = list_grow(a, &m->per_cpu);
  e->cpu = cpu;
  return e;
}

void add_measure_note(Snapshot* snap, StrView text) {
  if (!text.ptr) return;
  strlist_add(snap->arena, &snap->measure_notes, arena_strndup(snap->arena, text));
}
