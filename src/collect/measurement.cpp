#include "collect/measurement.h"


PerCpuLatency* per_cpu_entry(Arena* a, Measurement* m, int32_t cpu) {
  for (PerCpuLatency& e : m->per_cpu) {
    if (e.cpu == cpu) return &e;
  }
  PerCpuLatency* e = list_grow(a, &m->per_cpu);
  e->cpu = cpu;
  return e;
}

void add_measure_note(Arena* a, StrList* notes, StrView text) {
  if (!text.ptr) return;
  strlist_add(a, notes, arena_strndup(a, text));
}
