// rtla osnoise top output: one row per CPU,
//   "  0 #2          2000000          147    99.99265  12  5  0  0  2016  0  9"
// whose last five numbers are the hardware, NMI, IRQ, softirq and thread
// interference counts.
#include <cstddef>

#include "measure/tool_parsers.h"
#include "measure/tool_text.h"

namespace {

constexpr size_t kMaxRowNumbers = 24;
constexpr size_t kClasses = 5;

// Reads one row's numbers, skipping "#" tokens (the cycle count) and words;
// answers whether the row had enough of them, with its last five in counts.
bool row_counts(StrView line, double counts[kClasses]) {
  double nums[kMaxRowNumbers];
  size_t n = 0;
  for (StrView tok = tool_next_token(&line); tok.ptr && n < kMaxRowNumbers;
       tok = tool_next_token(&line)) {
    if (tok.ptr[0] == '#') continue;
    if (tool_number(tok, &nums[n])) n++;
  }
  if (n < kClasses + 1) return false;
  for (size_t i = 0; i < kClasses; i++) counts[i] = nums[n - kClasses + i];
  return true;
}

struct NoiseClass {
  const char* name;
  double NoiseResult::*count;
};

// In the order ties are settled: an earlier class keeps the lead.
constexpr NoiseClass kClassOrder[kClasses] = {
    {"hardware", &NoiseResult::hw_count},   {"NMI", &NoiseResult::nmi_count},
    {"IRQ", &NoiseResult::irq_count},       {"softirq", &NoiseResult::softirq_count},
    {"threads", &NoiseResult::thread_count},
};

}  // namespace

bool parse_osnoise_top(StrView out, NoiseResult* r) {
  if (!out.ptr || out.len == 0) return false;
  bool any = false;
  for (StrView line = tool_next_line(&out); line.ptr; line = tool_next_line(&out)) {
    if (line.len == 0 || line.ptr[0] < '0' || line.ptr[0] > '9') continue;
    double counts[kClasses];
    if (!row_counts(line, counts)) continue;
    for (size_t i = 0; i < kClasses; i++) r->*kClassOrder[i].count += counts[i];
    any = true;
  }
  if (!any) return false;
  r->valid = true;
  size_t lead = 0;
  for (size_t i = 1; i < kClasses; i++) {
    if (r->*kClassOrder[i].count > r->*kClassOrder[lead].count) lead = i;
  }
  r->dominant = sv_from_cstr(kClassOrder[lead].name);
  return true;
}
