#include "collect/irq_sample.h"

#include <ctime>

#include "base/cpuset.h"
#include "base/stop_signals.h"
#include "base/str_index.h"
#include "collect/clock.h"
#include "collect/irq_table.h"
#include "source/source.h"

namespace {

constexpr uint64_t kCounterSpan = uint64_t{1} << 32;
constexpr uint64_t kMaxCounter32 = kCounterSpan - 1;

// The column of each CPU in the second reading's header (-1 for a CPU it
// does not show), so matching a row's counts is one step per count.
int32_t* column_of_cpu(Arena* a, const List<int32_t>* cpus) {
  int32_t* col = arena_array<int32_t>(a, kMaxCpus);
  for (int32_t c = 0; c < kMaxCpus; c++) col[c] = -1;
  for (size_t k = 0; k < cpus->count; k++) {
    int32_t cpu = (*cpus)[k];
    if (cpu >= 0 && cpu < kMaxCpus && col[cpu] < 0) col[cpu] = static_cast<int32_t>(k);
  }
  return col;
}

// Names of a list's elements to their positions; the first of equal names
// is the one found.
template <class T>
StrIndex index_by_name(Arena* a, const List<T>* items) {
  StrIndex ix{};
  strindex_init(&ix, a, items->count);
  for (size_t i = 0; i < items->count; i++)
    strindex_add(&ix, a, (*items)[i].name, static_cast<uint32_t>(i), nullptr);
  return ix;
}

// Sets the delta of every old count the new row has a count for (same CPU)
// and answers their sum.
uint64_t apply_counts(List<IrqCount>* old, const IrqRow* row, const int32_t* col) {
  uint64_t total = 0;
  for (IrqCount& c : *old) {
    if (c.cpu < 0 || c.cpu >= kMaxCpus) continue;
    int32_t k = col[c.cpu];
    if (k < 0 || static_cast<size_t>(k) >= row->counts.count) continue;
    c.delta = irq_counter_delta(c.count, row->counts[static_cast<size_t>(k)].count);
    total += c.delta;
  }
  return total;
}

// The second reading of a table, applied row by row as it is parsed: the
// first reading's records by name (numbered interrupts, named ones or
// softirqs), and the column of each CPU of the second reading, found once
// its header is read.
struct Reading {
  Snapshot* snap;
  StrIndex numbered, named;
  List<int32_t> cpus;
  const int32_t* col;
};

const int32_t* columns(Reading* r) {
  if (!r->col) r->col = column_of_cpu(r->snap->arena, &r->cpus);
  return r->col;
}

bool apply_interrupt_row(void* ctx, const IrqRow* row) {
  Reading* r = static_cast<Reading*>(ctx);
  bool is_numbered = sv_all_digits(row->label);
  uint32_t at;
  if (!strindex_find(is_numbered ? &r->numbered : &r->named, row->label, &at)) return true;
  IrqInfo* info = is_numbered ? &r->snap->irqs[at] : &r->snap->special_irqs[at];
  info->delta_total = apply_counts(&info->per_cpu, row, columns(r));
  return true;
}

bool apply_softirq_row(void* ctx, const IrqRow* row) {
  Reading* r = static_cast<Reading*>(ctx);
  uint32_t at;
  if (!strindex_find(&r->named, row->label, &at)) return true;
  SoftirqInfo* info = &r->snap->softirqs[at];
  info->delta_total = apply_counts(&info->per_cpu, row, columns(r));
  return true;
}

void apply_interrupts(Snapshot* s, StrView text) {
  Reading r{s, index_by_name(s->arena, &s->irqs), index_by_name(s->arena, &s->special_irqs), {},
            nullptr};
  parse_interrupt_rows(s->arena, text, &r.cpus, apply_interrupt_row, &r);
}

void apply_softirqs(Snapshot* s, StrView text) {
  Reading r{s, {}, index_by_name(s->arena, &s->softirqs), {}, nullptr};
  parse_interrupt_rows(s->arena, text, &r.cpus, apply_softirq_row, &r);
}

}  // namespace

uint64_t irq_counter_delta(uint64_t before, uint64_t after) {
  if (after >= before) return after - before;
  if (before <= kMaxCounter32) return after + kCounterSpan - before;
  return 0;
}

void apply_interrupt_sample(Snapshot* snap, StrView interrupts, StrView softirqs, double window_s) {
  apply_interrupts(snap, interrupts);
  if (softirqs.ptr) apply_softirqs(snap, softirqs);
  snap->sampled = true;
  snap->sample_window_s = window_s;
}

void sample_interrupts(Snapshot* snap, int32_t interval_ms) {
  if (!snap->interrupts_available) return;
  stop_signals_sleep_ms(interval_ms);  // cut short by SIGINT, SIGTERM, SIGHUP
  ReadBuf interrupts_buf{}, softirqs_buf{};
  StrView interrupts = source_read_reuse(snap->src, sv_lit("/proc/interrupts"), &interrupts_buf);
  double now = monotonic_seconds();
  if (!interrupts.ptr) return;
  StrView softirqs = source_read_reuse(snap->src, sv_lit("/proc/softirqs"), &softirqs_buf);
  // The window runs from the first reading, taken during collection, to
  // this one: it holds the later collection steps as well as the wait.
  double window = snap->interrupts_read_s > 0 ? now - snap->interrupts_read_s : interval_ms / 1000.0;
  apply_interrupt_sample(snap, interrupts, softirqs, window);
}
