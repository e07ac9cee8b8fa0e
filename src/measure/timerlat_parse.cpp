// rtla timerlat hist output: a header line "Index   IRQ-000   Thr-000 ..."
// naming the columns, histogram rows, then the summary rows "count:",
// "min:", "avg:" and "max:" with one value per column ("-" when a column has
// no sample).
#include <cstdint>

#include "base/cpuset.h"
#include "measure/tool_parsers.h"
#include "measure/tool_text.h"

namespace {

// Every CPU can have an IRQ, a thread and a user-thread column.
constexpr int32_t kMaxColumns = 3 * kMaxCpus;

struct TimerlatState {
  bool* is_irq;  // per column
  int32_t ncols;
  double irq_max, thread_max, irq_avg, thread_avg;
};

void header_line(Arena* a, TimerlatState* st, StrView rest) {
  st->is_irq = arena_array<bool>(a, kMaxColumns);
  for (StrView tok = tool_next_token(&rest); tok.ptr && st->ncols < kMaxColumns;
       tok = tool_next_token(&rest)) {
    st->is_irq[st->ncols++] = sv_starts_with(tok, "IRQ");
  }
}

void raise(double* slot, double v) {
  if (v > *slot) *slot = v;
}

// A "max:" or "avg:" row: each value raises the running figure of its
// column's kind.
void summary_row(TimerlatState* st, StrView rest, double* irq, double* thread) {
  int32_t col = 0;
  for (StrView tok = tool_next_token(&rest); tok.ptr && col < st->ncols;
       tok = tool_next_token(&rest), col++) {
    double v = 0;
    if (tool_number(tok, &v)) raise(st->is_irq[col] ? irq : thread, v);
  }
}

}  // namespace

bool parse_timerlat_hist(Arena* a, StrView out, TimerlatResult* r) {
  if (!out.ptr || out.len == 0) return false;
  TimerlatState st = {nullptr, 0, -1, -1, -1, -1};
  bool header = false;
  for (StrView line = tool_next_line(&out); line.ptr; line = tool_next_line(&out)) {
    if (!header) {
      if (sv_consume_prefix(&line, sv_lit("Index"))) {
        header_line(a, &st, line);
        header = true;
      }
    } else if (sv_consume_prefix(&line, sv_lit("max:"))) {
      summary_row(&st, line, &st.irq_max, &st.thread_max);
    } else if (sv_consume_prefix(&line, sv_lit("avg:"))) {
      summary_row(&st, line, &st.irq_avg, &st.thread_avg);
    }
  }
  if (st.irq_max < 0 && st.thread_max < 0) return false;
  r->valid = true;
  struct Out {
    double v;
    Opt<double>* slot;
  };
  const Out outs[] = {{st.irq_max, &r->irq_max_us},
                      {st.thread_max, &r->thread_max_us},
                      {st.irq_avg, &r->irq_avg_us},
                      {st.thread_avg, &r->thread_avg_us}};
  for (const Out& o : outs) {
    if (o.v >= 0) *o.slot = opt_some(o.v);
  }
  return true;
}
