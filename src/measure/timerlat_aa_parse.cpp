// rtla timerlat auto-analysis (tools/tracing/rtla/src/timerlat_aa.c): after
// "## CPU N hit stop tracing, analyzing it ##", one line per part of the
// latency, "Label:   12.34 us (5.6 %)", and under "Blocking thread:" and the
// interference labels one line per culprit, "comm:pid   12.34 us" or
// "name:vector   12.34 us".
#include <cstdint>
#include <cstring>

#include "measure/tool_parsers.h"
#include "measure/tool_text.h"

namespace {

constexpr size_t kMaxName = 64;

enum class Under { nothing, blocking, irq };

// The first number on the rest of a label line.
bool first_number(StrView rest, double* v) {
  for (StrView tok = tool_next_token(&rest); tok.ptr; tok = tool_next_token(&rest))
    if (tool_number(tok, v)) return true;
  return false;
}

// A culprit line: its first token holds a colon that does not end it, and it
// ends in "T us". The name is everything before T.
bool culprit_line(StrView line, StrView* name, double* us) {
  StrView cur = line;
  StrView first = tool_next_token(&cur);
  const char* colon = first.ptr ? static_cast<const char*>(memchr(first.ptr, ':', first.len)) : nullptr;
  if (!colon || colon == first.ptr + first.len - 1) return false;
  StrView prev = kNoneView, last = kNoneView;
  for (StrView tok = first; tok.ptr; tok = tool_next_token(&cur)) {
    prev = last;
    last = tok;
  }
  if (!prev.ptr || !sv_eq_cstr(last, "us") || !tool_number(prev, us)) return false;
  *name = sv_trim(sv_make(line.ptr, static_cast<size_t>(prev.ptr - line.ptr)));
  return name->len > 0;
}

void set_name(Arena* a, StrView* slot, Opt<double>* us_slot, StrView name, double us) {
  if (us_slot->has && !(us > us_slot->value)) return;
  if (name.len > kMaxName) name.len = kMaxName;
  *slot = arena_strndup(a, name);
  *us_slot = opt_some(us);
}

bool cpu_line(StrView line, int32_t* cpu) {
  if (!sv_consume_prefix(&line, sv_lit("## CPU "))) return false;
  StrView tok = tool_next_token(&line);
  int64_t v = 0;
  if (!tool_integer(tok, &v) || v < 0 || v > INT32_MAX) return false;
  *cpu = static_cast<int32_t>(v);
  return true;
}

}  // namespace

bool parse_timerlat_analysis(Arena* a, StrView out, TimerlatAnalysis* r) {
  if (!out.ptr || out.len == 0) return false;
  TimerlatAnalysis t = {};
  bool in = false;
  Under under = Under::nothing;
  StrView name = kNoneView;
  double v = 0;
  for (StrView line = tool_next_line(&out); line.ptr; line = tool_next_line(&out)) {
    int32_t cpu = 0;
    if (cpu_line(line, &cpu)) {
      if (in) break;  // the first analysis only
      in = true;
      t.cpu = cpu;
      continue;
    }
    if (!in) continue;
    if (under != Under::nothing && culprit_line(line, &name, &v)) {
      if (under == Under::blocking) set_name(a, &t.blocking_thread, &t.blocking_us, name, v);
      if (under == Under::irq) set_name(a, &t.irq, &t.irq_us, name, v);
      continue;
    }
    under = Under::nothing;
    if (sv_consume_prefix(&line, sv_lit("IRQ handler delay:"))) {
      if (first_number(line, &v)) t.irq_delay_us = opt_some(v);
    } else if (sv_consume_prefix(&line, sv_lit("Thread latency:"))) {
      if (first_number(line, &v)) t.thread_latency_us = opt_some(v);
    } else if (sv_starts_with(line, "Blocking thread:")) {
      under = Under::blocking;
    } else if (sv_starts_with(line, "IRQ interference")) {
      under = Under::irq;
    }
  }
  t.valid = in && (t.irq_delay_us.has || t.thread_latency_us.has || t.blocking_thread.ptr ||
                   t.irq.ptr);
  if (!t.valid) return false;
  *r = t;
  return true;
}
