// libFuzzer harness for the /proc/timer_list parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "base/cpuset.h"
#include "collect/timer_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  List<CpuTimers> out{};
  bool ok = parse_timer_list(&a, StrView{reinterpret_cast<const char*>(data), size}, &out);
  if (ok != (out.count > 0)) abort();
  for (const CpuTimers& t : out) {
    if (t.cpu < 0 || t.cpu >= kMaxCpus || t.functions.count > kTimerFunctionsMax) abort();
    if (timers_of_cpu(&out, t.cpu) != &t) abort();  // each CPU once
  }
  arena_release(&a);
  return 0;
}
