// libFuzzer harness for the timer:tick_stop trace parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "base/cpuset.h"
#include "collect/tick_stop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  List<TickStopCpu> out{};
  bool ok = parse_tick_stop(&a, StrView{reinterpret_cast<const char*>(data), size}, &out);
  if (ok != (out.count > 0)) abort();
  for (const TickStopCpu& t : out) {
    if (t.cpu < 0 || t.cpu >= kMaxCpus || t.failures == 0 || t.deps == 0) abort();
    if (t.deps >> static_cast<unsigned>(TickDep::count)) abort();
    if (tick_stop_of_cpu(&out, t.cpu) != &t) abort();  // each CPU once
  }
  arena_release(&a);
  return 0;
}
