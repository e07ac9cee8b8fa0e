#include "base/cpuset.h"

#include <strings.h>

#include <cstring>

#include "base/parse.h"

namespace {

constexpr int kWords = kMaxCpus / 64;

bool in_range(int32_t cpu) { return cpu >= 0 && cpu < kMaxCpus; }

// Sets every CPU of lo..hi (both within 0..4095, lo <= hi) a word at a time,
// so that a file repeating 0-4095 costs what it holds, not 4096 steps an item.
void fill_span(CpuSet* s, int64_t lo, int64_t hi) {
  for (int64_t w = lo / 64; w <= hi / 64; w++) {
    int64_t from = w * 64 > lo ? 0 : lo % 64;
    int64_t to = (w + 1) * 64 - 1 < hi ? 63 : hi % 64;
    uint64_t bits = ~uint64_t{0} >> (63 - (to - from)) << from;
    s->bits[w] |= bits;
  }
}

// Adds first..last, keeping only the first `used` of every `group` CPUs when
// both are positive (the cpulist stride form 0-7:2/4).
void add_range(CpuSet* s, int32_t first, int32_t last, int32_t used, int32_t group) {
  int64_t lo = first < 0 ? 0 : first;
  int64_t hi = last > kMaxCpus - 1 ? kMaxCpus - 1 : last;
  if (lo > hi) return;
  if (group < 1 || used < 1 || used >= group) {
    fill_span(s, lo, hi);
    return;
  }
  for (int64_t k = lo; k <= hi; k++) {
    if ((k - first) % group >= used) continue;
    cpuset_add(s, static_cast<int32_t>(k));
  }
}

// "used/group": either stays 0 when missing or malformed.
void parse_stride(StrView stride, int32_t* used, int32_t* group) {
  StrView u, g;
  sv_split_once(stride, '/', &u, &g);
  if (!parse_i32(u, used)) return;
  if (g.len > 0) parse_i32(g, group);
}

// One item: a CPU, a range first-last, or a range with a stride. A number
// that does not fit 32 bits makes the item malformed, and it is skipped.
void parse_item(CpuSet* s, StrView item) {
  int32_t used = 0, group = 0;
  StrView range, stride;
  if (sv_split_once(item, ':', &range, &stride)) parse_stride(stride, &used, &group);
  // The separator is looked for from the second byte: a leading "-" is a sign.
  StrView first_text, last_text;
  if (!sv_split_once(sv_slice(range, 1, range.len), '-', &first_text, &last_text)) {
    int32_t cpu;
    if (parse_i32(range, &cpu)) cpuset_add(s, cpu);
    return;
  }
  first_text = sv_slice(range, 0, first_text.len + 1);
  int32_t first, last;
  if (!parse_i32(sv_trim(first_text), &first) || !parse_i32(sv_trim(last_text), &last)) return;
  if (last < first) return;
  add_range(s, first, last, used, group);
}

}  // namespace

void cpuset_clear(CpuSet* s) { memset(s->bits, 0, sizeof s->bits); }

void cpuset_add(CpuSet* s, int32_t cpu) {
  if (in_range(cpu)) s->bits[cpu / 64] |= uint64_t{1} << (cpu % 64);
}

void cpuset_remove(CpuSet* s, int32_t cpu) {
  if (in_range(cpu)) s->bits[cpu / 64] &= ~(uint64_t{1} << (cpu % 64));
}

bool cpuset_has(const CpuSet* s, int32_t cpu) {
  return in_range(cpu) && (s->bits[cpu / 64] >> (cpu % 64)) & 1;
}

int32_t cpuset_count(const CpuSet* s) {
  int32_t n = 0;
  for (int i = 0; i < kWords; i++) n += __builtin_popcountll(s->bits[i]);
  return n;
}

bool cpuset_empty(const CpuSet* s) {
  for (int i = 0; i < kWords; i++) {
    if (s->bits[i]) return false;
  }
  return true;
}

bool cpuset_intersects(const CpuSet* a, const CpuSet* b) {
  for (int i = 0; i < kWords; i++) {
    if (a->bits[i] & b->bits[i]) return true;
  }
  return false;
}

void cpuset_copy(CpuSet* dst, const CpuSet* src) { *dst = *src; }

void cpuset_or(CpuSet* dst, const CpuSet* src) {
  for (int i = 0; i < kWords; i++) dst->bits[i] |= src->bits[i];
}

void cpuset_and(CpuSet* dst, const CpuSet* src) {
  for (int i = 0; i < kWords; i++) dst->bits[i] &= src->bits[i];
}

void cpuset_andnot(CpuSet* dst, const CpuSet* src) {
  for (int i = 0; i < kWords; i++) dst->bits[i] &= ~src->bits[i];
}

bool cpuset_equal(const CpuSet* a, const CpuSet* b) {
  return memcmp(a->bits, b->bits, sizeof a->bits) == 0;
}

int32_t cpuset_first(const CpuSet* s) { return cpuset_next(s, -1); }

int32_t cpuset_next(const CpuSet* s, int32_t cpu) {
  if (cpu >= kMaxCpus - 1) return -1;
  int32_t start = cpu < 0 ? 0 : cpu + 1;
  int w = start / 64;
  uint64_t word = s->bits[w] & (~uint64_t{0} << (start % 64));
  while (true) {
    if (word) return w * 64 + __builtin_ctzll(word);
    if (++w == kWords) return -1;
    word = s->bits[w];
  }
}

void cpuset_parse_list(CpuSet* s, StrView text) {
  cpuset_clear(s);
  if (!text.ptr) return;
  StrView cur = sv_trim(text);
  if (cur.len == 0) return;
  while (cur.ptr) {
    StrView item = sv_trim(sv_next_token(&cur, ","));
    if (item.len > 0) parse_item(s, item);
  }
}

int64_t cpulist_highest(StrView text) {
  int64_t best = -1, cur = -1;
  for (size_t i = 0; i <= text.len; i++) {
    char c = i < text.len ? text.ptr[i] : ',';
    if (c >= '0' && c <= '9') {
      cur = (cur < 0 ? 0 : cur) * 10 + (c - '0');
      if (cur > INT32_MAX) cur = INT32_MAX;
      continue;
    }
    if (cur > best) best = cur;
    cur = -1;
  }
  return best;
}

StrView cpuset_format_list(Arena* a, const CpuSet* s) {
  StrBuf sb;
  sb_init(&sb, a);
  int32_t c = cpuset_first(s);
  while (c >= 0) {
    int32_t end = c;
    int32_t n = cpuset_next(s, end);
    while (n == end + 1) {
      end = n;
      n = cpuset_next(s, end);
    }
    if (sb.len) sb_append_char(&sb, ',');
    if (end == c) {
      sb_printf(&sb, "%d", c);
    } else if (end == c + 1) {
      sb_printf(&sb, "%d,%d", c, end);
    } else {
      sb_printf(&sb, "%d-%d", c, end);
    }
    c = n;
  }
  return sb_view(&sb);
}

StrView cpuset_format_mask(Arena* a, const CpuSet* s) {
  int32_t top = cpuset_empty(s) ? -1 : 0;
  for (int32_t c = cpuset_first(s); c >= 0; c = cpuset_next(s, c)) top = c / 32;
  StrBuf sb;
  sb_init(&sb, a);
  if (top < 0) sb_append_char(&sb, '0');
  for (int32_t k = top; k >= 0; k--) {
    uint32_t word = static_cast<uint32_t>(s->bits[k / 2] >> (32 * (k % 2)));
    sb_printf(&sb, k == top ? "%x" : ",%08x", word);
  }
  return sb_view(&sb);
}

void cpuset_parse_mask(CpuSet* s, StrView text) {
  cpuset_clear(s);
  if (!text.ptr) return;
  StrView words[kMaxCpus / 32];
  int n = 0;
  StrView cur = sv_trim(text);
  while (cur.ptr) {
    StrView w = sv_trim(sv_next_token(&cur, ","));
    if (w.len == 0) continue;
    if (n == kMaxCpus / 32) return;
    words[n++] = w;
  }
  for (int k = 0; k < n; k++) {
    int64_t v;
    if (!parse_int(words[n - 1 - k], 16, &v)) {
      cpuset_clear(s);
      return;
    }
    uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(v));
    s->bits[k / 2] |= static_cast<uint64_t>(low) << (32 * (k % 2));
  }
}

void parse_isolcpus(Arena* a, StrView text, CpuSet* s, StrList* flags) {
  cpuset_clear(s);
  if (flags) flags->count = 0;
  if (!text.ptr) return;
  static constexpr const char* kFlags[] = {"domain", "managed_irq", "nohz"};
  StrView cur = text;
  while (cur.ptr) {
    StrView rest = cur;
    StrView piece = sv_trim(sv_next_token(&cur, ","));
    bool is_flag = false;
    for (const char* f : kFlags) is_flag = is_flag || sv_eq_cstr(piece, f);
    if (!is_flag) {
      cpuset_parse_list(s, rest);
      return;
    }
    if (flags) strlist_add(a, flags, arena_strndup(a, piece));
  }
}

namespace {

// One end of a boot-parameter range: "N" becomes the last CPU.
void append_boot_end(StrBuf* sb, StrView end, int32_t last_cpu) {
  StrView t = sv_trim(end);
  if (sv_eq_cstr(t, "N")) {
    sb_printf(sb, "%d", last_cpu);
  } else {
    sb_append_view(sb, end);
  }
}

bool is_all(StrView v) { return v.len == 3 && strncasecmp(v.ptr, "all", 3) == 0; }

void append_boot_item(StrBuf* sb, StrView item, int32_t last_cpu) {
  StrView range = item, stride = kNoneView;
  sv_split_once(item, ':', &range, &stride);
  if (is_all(sv_trim(range))) {
    sb_printf(sb, "0-%d", last_cpu);
  } else {
    StrView first = range, last = kNoneView;
    // A leading "-" is never the separator, as in the list parser.
    const char* dash = range.len > 1
                           ? static_cast<const char*>(memchr(range.ptr + 1, '-', range.len - 1))
                           : nullptr;
    if (dash) {
      size_t at = static_cast<size_t>(dash - range.ptr);
      first = sv_slice(range, 0, at);
      last = sv_slice(range, at + 1, range.len);
    }
    append_boot_end(sb, first, last_cpu);
    if (dash) {
      sb_append_char(sb, '-');
      append_boot_end(sb, last, last_cpu);
    }
  }
  if (stride.ptr) {
    sb_append_char(sb, ':');
    sb_append_view(sb, stride);
  }
}

}  // namespace

StrView cpuset_resolve_boot_list(Arena* a, StrView text, int32_t last_cpu) {
  if (!text.ptr || last_cpu < 0) return text;
  StrBuf sb;
  sb_init(&sb, a);
  StrView cur = text;
  bool first = true;
  while (cur.ptr) {
    StrView item = sv_next_token(&cur, ",");
    if (!first) sb_append_char(&sb, ',');
    first = false;
    append_boot_item(&sb, item, last_cpu);
  }
  return sb_view(&sb);
}
