// libFuzzer harness for /proc/softirqs: the bytes before the first NUL are
// the first reading, those after it the second, applied as the sample.
#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "collect/irq_sample.h"
#include "collect/irq_table.h"
#include "two_readings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_two_readings(data, size, [](Snapshot* s, TwoReadings in) {
    List<int32_t> cpus{};
    List<IrqRow> rows{};
    parse_interrupt_table(s->arena, in.first, &cpus, &rows);
    for (const IrqRow& row : rows) {
      SoftirqInfo* info = list_grow(s->arena, &s->softirqs);
      info->name = row.label;
      info->per_cpu = row.counts;
    }
    apply_interrupt_sample(s, StrView{"", 0}, in.second, 1.0);
  });
}
