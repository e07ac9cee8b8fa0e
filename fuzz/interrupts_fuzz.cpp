// libFuzzer harness for /proc/interrupts: the bytes before the first NUL are
// the first reading, those after it the second. The first is parsed into the
// interrupt lists as collection keeps them; the second is applied as the
// sample taken after the window.
#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "collect/interrupts.h"
#include "collect/irq_sample.h"
#include "collect/irq_table.h"
#include "two_readings.h"

namespace {

void keep_rows(Snapshot* s, StrView text) {
  List<int32_t> cpus{};
  List<IrqRow> rows{};
  parse_interrupt_table(s->arena, text, &cpus, &rows);
  for (const IrqRow& row : rows) {
    IrqInfo info{};
    info.name = row.label;
    info.per_cpu = row.counts;
    info.total = row.total;
    bool numbered = row.label.len > 0 && row.label.ptr[0] >= '0' && row.label.ptr[0] <= '9';
    StrList actions{};
    for (StrView w : row.words) strlist_add(s->arena, &actions, w);
    if (row.words.count > 0) info.managed = irq_is_managed(row.words[0], &actions);
    list_push(s->arena, numbered ? &s->irqs : &s->special_irqs, info);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzz_two_readings(data, size, [](Snapshot* s, TwoReadings in) {
    keep_rows(s, in.first);
    apply_interrupt_sample(s, in.second, kNoneView, 1.0);
    irq_mask_well_formed(in.first);
  });
}
