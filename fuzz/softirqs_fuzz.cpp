// libFuzzer harness for /proc/softirqs: the bytes before the first NUL are
// the first reading, those after it the second, applied as the sample.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/arena.h"
#include "collect/irq_sample.h"
#include "collect/irq_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  const char* text = reinterpret_cast<const char*>(data);
  const char* nul = static_cast<const char*>(memchr(text, 0, size));
  size_t first = nul ? static_cast<size_t>(nul - text) : size;
  Snapshot* s = arena_new<Snapshot>(&a);
  s->arena = &a;
  List<int32_t> cpus{};
  List<IrqRow> rows{};
  parse_interrupt_table(&a, StrView{text, first}, &cpus, &rows);
  for (const IrqRow& row : rows) {
    SoftirqInfo* info = list_grow(&a, &s->softirqs);
    info->name = row.label;
    info->per_cpu = row.counts;
  }
  StrView second = nul ? StrView{nul + 1, size - first - 1} : StrView{text, size};
  apply_interrupt_sample(s, StrView{"", 0}, second, 1.0);
  arena_release(&a);
  return 0;
}
