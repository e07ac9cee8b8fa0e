// cyclictest output: one "T:" summary line per thread, or (with -q and -h)
// the histogram, its footer of per-thread minimum, average and maximum, and
// the overflow counts.
#include <cstdint>

#include "base/list.h"
#include "measure/tool_parsers.h"
#include "measure/tool_text.h"

namespace {

constexpr double kNoMin = 1e18;

// The measured CPUs in ascending order (thread i ran on cpus[i]) and, per CPU
// number, the position + 1 of its entry in m->per_cpu, so that thousands of
// threads and histogram rows stay linear.
struct CyclicState {
  Arena* arena;
  Measurement* m;
  int32_t* cpus;
  int32_t ncpus;
  uint32_t* slot;  // kMaxCpus entries; 0 = no entry yet
  double best_min;
  double worst_max;
  double avg_sum;
  int64_t avg_count;
};

// The CPU of thread (or histogram column) i: its entry in the CPU list, or
// the number itself past the end of the list.
int32_t thread_cpu(const CyclicState* st, int64_t i) {
  if (i >= 0 && i < st->ncpus) return st->cpus[i];
  return i >= 0 && i < kMaxCpus ? static_cast<int32_t>(i) : -1;
}

PerCpuLatency* entry(CyclicState* st, int32_t cpu) {
  uint32_t s = st->slot[cpu];
  if (s) return &st->m->per_cpu[s - 1];
  PerCpuLatency* e = list_grow(st->arena, &st->m->per_cpu);
  e->cpu = cpu;
  st->slot[cpu] = static_cast<uint32_t>(st->m->per_cpu.count);
  return e;
}

// The entry when the CPU has one already; histogram rows never add CPUs.
PerCpuLatency* existing_entry(const CyclicState* st, int32_t cpu) {
  if (cpu < 0) return nullptr;
  uint32_t s = st->slot[cpu];
  return s ? &st->m->per_cpu[s - 1] : nullptr;
}

enum class Stat { min, avg, max };

// Records one value for one CPU, with the running totals.
void record(CyclicState* st, int32_t cpu, Stat kind, double v) {
  PerCpuLatency* e = entry(st, cpu);
  switch (kind) {
    case Stat::min:
      e->min_us.has = true;
      e->min_us.value = v;
      if (v < st->best_min) st->best_min = v;
      break;
    case Stat::avg:
      e->avg_us.has = true;
      e->avg_us.value = v;
      st->avg_sum += v;
      st->avg_count++;
      break;
    case Stat::max:
      e->max_us.has = true;
      e->max_us.value = v;
      if (v > st->worst_max) st->worst_max = v;
      break;
  }
}

struct StatKey {
  const char* key;
  Stat kind;
};

constexpr StatKey kSummaryKeys[] = {{"Min:", Stat::min}, {"Avg:", Stat::avg}, {"Max:", Stat::max}};

// One "T:" line: "T: 0 (15378) P:99 I:200 C: 14924 Min: 9 Act: 15 Avg: 23
// Max: 3953". A value is the rest of its key's token or, when that is empty,
// the next token. Returns whether the line was accepted (it had a Max).
bool summary_line(CyclicState* st, StrView rest) {
  int64_t thread = -1;
  StrView first = tool_next_token(&rest);
  if (!first.ptr || !tool_integer(first, &thread)) thread = -1;
  double vals[3] = {-1, -1, -1};
  for (StrView tok = tool_next_token(&rest); tok.ptr; tok = tool_next_token(&rest)) {
    for (const StatKey& k : kSummaryKeys) {
      if (!sv_starts_with(tok, k.key)) continue;
      StrView num = sv_slice(tok, 4, tok.len);
      if (num.len == 0) num = tool_next_token(&rest);
      double v = 0;
      if (num.ptr && tool_number(num, &v)) vals[static_cast<int>(k.kind)] = v;
    }
  }
  if (vals[2] < 0) return false;
  // A thread that is not a number has no CPU; neither has a CPU number that
  // no CPU set can hold.
  int32_t cpu = thread < 0 ? -1 : thread_cpu(st, thread);
  if (cpu < 0) return false;
  if (vals[0] >= 0) record(st, cpu, Stat::min, vals[0]);
  if (vals[1] >= 0) record(st, cpu, Stat::avg, vals[1]);
  record(st, cpu, Stat::max, vals[2]);
  return true;
}

constexpr StatKey kFooterKeys[] = {
    {"# Min Latencies:", Stat::min}, {"# Avg Latencies:", Stat::avg}, {"# Max Latencies:", Stat::max}};

// "# Max Latencies: 00465 00595": column i belongs to thread i. Answers
// whether any value was read.
bool footer_line(CyclicState* st, StrView line) {
  for (const StatKey& k : kFooterKeys) {
    StrView rest = line;
    if (!sv_consume_prefix(&rest, sv_from_cstr(k.key))) continue;
    bool read = false;
    int64_t col = 0;
    for (StrView tok = tool_next_token(&rest); tok.ptr; tok = tool_next_token(&rest), col++) {
      double v = 0;
      int32_t cpu = thread_cpu(st, col);
      if (cpu < 0 || !tool_number(tok, &v)) continue;
      record(st, cpu, k.kind, v);
      read = true;
    }
    return read;
  }
  return false;
}

// A histogram row "000017 001047 000784": the bin in microseconds, then one
// count per thread. Non-zero counts of CPUs with an entry are kept.
void histogram_row(CyclicState* st, StrView line) {
  int64_t bin = 0;
  StrView tok = tool_next_token(&line);
  if (!tool_integer(tok, &bin) || bin < 0 || bin > INT32_MAX) return;
  int64_t col = 0;
  for (tok = tool_next_token(&line); tok.ptr; tok = tool_next_token(&line), col++) {
    int64_t count = 0;
    PerCpuLatency* e = existing_entry(st, thread_cpu(st, col));
    if (!e || !tool_integer(tok, &count) || count <= 0) continue;
    list_push(st->arena, &e->histogram, HistBin{static_cast<int32_t>(bin), static_cast<uint64_t>(count)});
  }
}

// "# Histogram Overflows: 00002 00002": samples beyond the last bin.
void overflow_line(CyclicState* st, StrView rest) {
  int64_t col = 0;
  for (StrView tok = tool_next_token(&rest); tok.ptr; tok = tool_next_token(&rest), col++) {
    int64_t count = 0;
    PerCpuLatency* e = existing_entry(st, thread_cpu(st, col));
    if (!e || !tool_integer(tok, &count) || count < 0) continue;
    e->overflows.has = true;
    e->overflows.value = static_cast<uint64_t>(count);
  }
}

// The histogram sits after the latency values it belongs to are known:
// rows start with a digit, the overflow line with its own key.
void histogram_pass(CyclicState* st, StrView out) {
  for (StrView line = tool_next_line(&out); line.ptr; line = tool_next_line(&out)) {
    if (line.len > 0 && line.ptr[0] >= '0' && line.ptr[0] <= '9') {
      histogram_row(st, line);
    } else if (sv_consume_prefix(&line, sv_lit("# Histogram Overflows:"))) {
      overflow_line(st, line);
    }
  }
}

}  // namespace

bool parse_cyclictest(Arena* a, StrView out, const CpuSet* measured, Measurement* m) {
  if (!out.ptr || out.len == 0) return false;
  CyclicState st = {};
  st.arena = a;
  st.m = m;
  st.cpus = arena_array<int32_t>(a, kMaxCpus);
  for (int32_t c : CpuIter{measured}) st.cpus[st.ncpus++] = c;
  st.slot = arena_array<uint32_t>(a, kMaxCpus);
  st.best_min = kNoMin;
  st.worst_max = -1;

  bool any = false;
  StrView cur = out;
  for (StrView line = tool_next_line(&cur); line.ptr; line = tool_next_line(&cur)) {
    if (sv_consume_prefix(&line, sv_lit("T:")) && summary_line(&st, line)) any = true;
  }
  if (!any) {
    cur = out;
    for (StrView line = tool_next_line(&cur); line.ptr; line = tool_next_line(&cur)) {
      if (footer_line(&st, line)) any = true;
    }
  }
  if (!any) return false;
  histogram_pass(&st, out);

  m->valid = true;
  m->source = sv_lit("cyclictest");
  cpuset_copy(&m->cpus, measured);
  if (st.best_min < kNoMin / 10) {
    m->min_us.has = true;
    m->min_us.value = st.best_min;
  }
  if (st.worst_max >= 0) {
    m->max_us.has = true;
    m->max_us.value = st.worst_max;
  }
  if (st.avg_count) {
    m->avg_us.has = true;
    m->avg_us.value = st.avg_sum / static_cast<double>(st.avg_count);
  }
  return true;
}
