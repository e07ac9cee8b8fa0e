#include "collect/timer_list.h"

#include "base/parse.h"
#include "base/cpuset.h"

namespace {

bool cpu_header(StrView line, int32_t* cpu) {
  if (!sv_consume_prefix(&line, sv_lit("cpu: "))) return false;
  int64_t v = 0;
  if (!parse_i64(sv_trim(line), &v) || v < 0 || v >= kMaxCpus) return false;
  *cpu = static_cast<int32_t>(v);
  return true;
}

// " #0: <000000008f5e6464>, tick_nohz_handler, S:01": the function.
bool timer_line(StrView line, StrView* fn) {
  line = sv_trim(line);
  if (!sv_consume_prefix(&line, sv_lit("#"))) return false;
  StrView cur = line;
  sv_next_token(&cur, ",");  // "0: <addr>"
  if (!cur.ptr) return false;
  *fn = sv_trim(sv_next_token(&cur, ","));
  if (!cur.ptr || fn->len == 0 || fn->len > 64) return false;
  for (size_t i = 0; i < fn->len; i++) {
    char c = fn->ptr[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

void add_function(Arena* a, CpuTimers* t, StrView fn) {
  for (StrView f : t->functions)
    if (sv_eq(f, fn)) return;
  if (t->functions.count < kTimerFunctionsMax) list_push(a, &t->functions, arena_strndup(a, fn));
}

}  // namespace

bool parse_timer_list(Arena* a, StrView text, List<CpuTimers>* out) {
  if (!text.ptr) return false;
  if (text.len > kTimerListMax) text.len = kTimerListMax;
  CpuTimers* cur = nullptr;
  bool any = false;
  // Where each CPU's entry stands in out, plus one: a CPU seen again (a
  // malformed file) adds to its first entry.
  size_t* at = arena_array<size_t>(a, kMaxCpus);
  for (size_t i = 0; i < out->count; i++) at[(*out)[i].cpu] = i + 1;
  for (StrView line = sv_next_line(&text); line.ptr; line = sv_next_line(&text)) {
    int32_t cpu = 0;
    if (cpu_header(line, &cpu)) {
      if (!at[cpu]) {
        list_push(a, out, CpuTimers{cpu, {}});
        at[cpu] = out->count;
      }
      cur = &(*out)[at[cpu] - 1];
      any = true;
      continue;
    }
    if (sv_starts_with(line, "Tick Device:")) cur = nullptr;  // the per-device part follows
    StrView fn = kNoneView;
    if (cur && timer_line(line, &fn)) add_function(a, cur, fn);
  }
  return any;
}

const CpuTimers* timers_of_cpu(const List<CpuTimers>* list, int32_t cpu) {
  for (const CpuTimers& t : *list)
    if (t.cpu == cpu) return &t;
  return nullptr;
}
