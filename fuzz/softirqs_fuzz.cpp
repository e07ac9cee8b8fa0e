// libFuzzer harness for /proc/softirqs: the bytes before the first NUL are
// the first reading, those after it the second, applied as the sample.
#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "collect/irq_sample.h"
#include "collect/irq_table.h"
#include "two_readings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  TwoReadings in = split_readings(reinterpret_cast<const char*>(data), size);
  Snapshot* s = arena_new<Snapshot>(&a);
  s->arena = &a;
  List<int32_t> cpus{};
  List<IrqRow> rows{};
  parse_interrupt_table(&a, in.first, &cpus, &rows);
  for (const IrqRow& row : rows) {
    SoftirqInfo* info = list_grow(&a, &s->softirqs);
    info->name = row.label;
    info->per_cpu = row.counts;
  }
  apply_interrupt_sample(s, StrView{"", 0}, in.second, 1.0);
  arena_release(&a);
  return 0;
}
