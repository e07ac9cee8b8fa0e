#include "collect/irq_table.h"

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

// How many words of the row are counts and how many are description words,
// so both lists are allocated once at their final size: a row grows neither
// list while the other is being filled.
void count_words(StrView rest, size_t columns, size_t* counts, size_t* words) {
  *counts = *words = 0;
  StrView cur = rest;
  while (cur.ptr) {
    StrView w = sv_next_token(&cur, kBlanks);
    if (w.len == 0) continue;
    if (*counts < columns && sv_all_digits(w))
      ++*counts;
    else
      ++*words;
  }
}

template <class T>
void reserve(Arena* a, List<T>* l, size_t n) {
  if (n == 0) return;
  l->items = arena_array<T>(a, n);
  l->capacity = n;
}

void parse_row(Arena* a, StrView label, StrView rest, const List<int32_t>* cpus,
               List<IrqRow>* rows) {
  IrqRow* row = list_grow(a, rows);
  row->label = label;
  size_t ncounts, nwords;
  count_words(rest, cpus->count, &ncounts, &nwords);
  reserve(a, &row->counts, ncounts);
  reserve(a, &row->words, nwords);
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

}  // namespace

void parse_interrupt_table(Arena* a, StrView text, List<int32_t>* cpus, List<IrqRow>* rows) {
  if (!text.ptr) return;
  StrView cur = text;
  parse_header(a, sv_next_line(&cur), cpus);
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    StrView label, rest;
    if (!sv_split_once(line, ':', &label, &rest)) continue;
    label = sv_trim(label);
    if (label.len == 0) continue;
    parse_row(a, label, rest, cpus, rows);
  }
}
