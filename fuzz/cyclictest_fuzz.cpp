// libFuzzer harness for the cyclictest output parser: any bytes, with a
// measured set of four CPUs and with an empty one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "base/cpuset.h"
#include "collect/measurement.h"
#include "measure/tool_parsers.h"

namespace {

void check(const Measurement& m) {
  for (const PerCpuLatency& e : m.per_cpu) {
    if (e.cpu < 0 || e.cpu >= kMaxCpus) abort();
    for (const HistBin& b : e.histogram) {
      if (b.us < 0 || b.count == 0) abort();
    }
  }
  if (m.min_us.has && m.max_us.has && m.min_us.value > 1e17) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView text{reinterpret_cast<const char*>(data), size};
  CpuSet sets[2] = {};
  cpuset_parse_list(&sets[0], sv_lit("2-5"));
  for (const CpuSet& s : sets) {
    Measurement m{};
    bool ok = parse_cyclictest(&a, text, &s, &m);
    if (ok != m.valid) abort();
    if (ok) check(m);
  }
  arena_release(&a);
  return 0;
}
