#include "collect/irq_table.h"

#include <cstring>

#include "base/parse.h"

namespace {

constexpr const char kBlanks[] = " \t";

// Header words "CPU<n>" in order; any other word is ignored.
void parse_header(Arena* a, StrView line, List<int32_t>* cpus) {
  StrView cur = line;
  while (cur.ptr) {
    StrView w = sv_trim(sv_next_token(&cur, kBlanks));
    int32_t cpu;
    if (sv_consume_prefix(&w, sv_lit("CPU")) && parse_i32(w, &cpu)) list_push(a, cpus, cpu);
  }
}

template <class T>
void reserve(Arena* a, List<T>* l, size_t n) {
  if (n > l->capacity) list_reserve(a, l, n);
}

// Fills row (its lists emptied, their room kept) from one line's label and
// the text after its ":".
void parse_row(Arena* a, StrView label, StrView rest, const List<int32_t>* cpus, IrqRow* row) {
  row->label = label;
  row->counts.count = 0;
  row->words.count = 0;
  row->total = 0;
  StrView cur = rest;
  while (cur.ptr) {
    StrView w = sv_next_token(&cur, kBlanks);
    if (w.len == 0) continue;
    if (row->counts.count < cpus->count && sv_all_digits(w)) {
      IrqCount* c = list_grow(a, &row->counts);
      c->cpu = (*cpus)[row->counts.count - 1];
      int64_t v = 0;
      c->count = parse_i64(w, &v) ? static_cast<uint64_t>(v) : 0;
      row->total += c->count;
    } else {
      list_push(a, &row->words, w);
    }
  }
}

template <class T>
List<T> copy_list(Arena* a, const List<T>* from) {
  List<T> to{};
  if (from->count == 0) return to;
  to.items = arena_array<T>(a, from->count);
  memcpy(static_cast<void*>(to.items), from->items, from->count * sizeof(T));
  to.count = to.capacity = from->count;
  return to;
}

struct RowSink {
  Arena* arena;
  List<IrqRow>* rows;
};

bool keep_row(void* ctx, const IrqRow* row) {
  RowSink* sink = static_cast<RowSink*>(ctx);
  IrqRow* kept = list_grow(sink->arena, sink->rows);
  kept->label = row->label;
  kept->counts = copy_list(sink->arena, &row->counts);
  kept->words = copy_list(sink->arena, &row->words);
  kept->total = row->total;
  return true;
}

}  // namespace

List<IrqCount> irq_row_keep_counts(Arena* a, const IrqRow* row) {
  return copy_list(a, &row->counts);
}

void parse_interrupt_rows(Arena* a, StrView text, List<int32_t>* cpus, IrqRowFn fn, void* ctx) {
  if (!text.ptr) return;
  StrView cur = text;
  parse_header(a, sv_next_line(&cur), cpus);
  IrqRow row{};
  reserve(a, &row.counts, cpus->count);
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    StrView label, rest;
    if (!sv_split_once(line, ':', &label, &rest)) continue;
    label = sv_trim(label);
    if (label.len == 0) continue;
    parse_row(a, label, rest, cpus, &row);
    if (!fn(ctx, &row)) return;
  }
}

void parse_interrupt_table(Arena* a, StrView text, List<int32_t>* cpus, List<IrqRow>* rows) {
  RowSink sink{a, rows};
  parse_interrupt_rows(a, text, cpus, keep_row, &sink);
}
