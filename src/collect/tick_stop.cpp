#include "collect/tick_stop.h"

#include "base/cpuset.h"
#include "base/parse.h"

namespace {

// TICK_DEP_NAMES in include/trace/events/timer.h, in TickDep order.
constexpr const char* kDepNames[] = {"NONE",           "POSIX_TIMER", "PERF_EVENTS", "SCHED",
                                     "CLOCK_UNSTABLE", "RCU",         "RCU_EXP",     "other"};
static_assert(sizeof kDepNames / sizeof *kDepNames == static_cast<size_t>(TickDep::count));

TickDep dep_of(StrView name) {
  for (size_t i = 0; i + 1 < static_cast<size_t>(TickDep::count); i++) {
    if (sv_eq_cstr(name, kDepNames[i])) return static_cast<TickDep>(i);
  }
  return TickDep::other;
}

// The CPU of "comm-PID  [003] d..2.  12.345678: ": the last "[...]" before
// the event (the task name comes first and may hold brackets itself).
bool cpu_field(StrView head, int32_t* cpu) {
  size_t end = head.len;
  while (end > 0 && head.ptr[end - 1] != ']') end--;
  size_t begin = end > 0 ? end - 1 : 0;
  while (begin > 0 && head.ptr[begin - 1] != '[') begin--;
  if (begin == 0) return false;
  StrView digits = sv_slice(head, begin, end - 1);
  int64_t v = 0;
  if (!sv_all_digits(digits) || !parse_i64(digits, &v) || v >= kMaxCpus) return false;
  *cpu = static_cast<int32_t>(v);
  return true;
}

// "success=0 dependency=SCHED": true for a failure, with its dependency.
bool failed_stop(StrView args, TickDep* dep) {
  bool failed = false, named = false;
  for (StrView w = sv_next_token(&args, " "); w.ptr; w = sv_next_token(&args, " ")) {
    if (sv_consume_prefix(&w, sv_lit("success="))) failed = sv_eq_cstr(w, "0");
    if (sv_consume_prefix(&w, sv_lit("dependency="))) {
      *dep = dep_of(w);
      named = true;
    }
  }
  return failed && named;
}

}  // namespace

const char* tick_dep_name(TickDep dep) {
  size_t i = static_cast<size_t>(dep);
  return i < static_cast<size_t>(TickDep::count) ? kDepNames[i] : "other";
}

bool parse_tick_stop(Arena* a, StrView text, List<TickStopCpu>* out) {
  if (!text.ptr) return false;
  if (text.len > kTickTraceMax) text.len = kTickTraceMax;
  constexpr StrView kEvent = sv_lit(" tick_stop: ");
  // Where each CPU's entry stands in out, plus one.
  size_t* at = arena_array<size_t>(a, kMaxCpus);
  for (size_t i = 0; i < out->count; i++) at[(*out)[i].cpu] = i + 1;
  bool any = false;
  for (StrView line = sv_next_line(&text); line.ptr; line = sv_next_line(&text)) {
    if (sv_starts_with(line, "#")) continue;
    size_t pos = 0;
    while (pos + kEvent.len <= line.len && !sv_eq(sv_slice(line, pos, pos + kEvent.len), kEvent))
      pos++;
    if (pos + kEvent.len > line.len) continue;
    int32_t cpu = 0;
    TickDep dep = TickDep::other;
    if (!cpu_field(sv_slice(line, 0, pos), &cpu)) continue;
    if (!failed_stop(sv_slice(line, pos + kEvent.len, line.len), &dep)) continue;
    if (!at[cpu]) {
      list_push(a, out, TickStopCpu{cpu, 0, 0});
      at[cpu] = out->count;
    }
    TickStopCpu* c = &(*out)[at[cpu] - 1];
    c->failures++;
    c->deps |= 1u << static_cast<unsigned>(dep);
    any = true;
  }
  return any;
}

const TickStopCpu* tick_stop_of_cpu(const List<TickStopCpu>* list, int32_t cpu) {
  for (const TickStopCpu& c : *list)
    if (c.cpu == cpu) return &c;
  return nullptr;
}
