// libFuzzer harness for the rtla timerlat auto-analysis parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "collect/measurement.h"
#include "measure/tool_parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  TimerlatAnalysis r{};
  bool ok = parse_timerlat_analysis(&a, StrView{reinterpret_cast<const char*>(data), size}, &r);
  if (ok != r.valid || r.blocking_thread.len > 64 || r.irq.len > 64) abort();
  if (ok && !r.irq_delay_us.has && !r.thread_latency_us.has && !r.blocking_thread.ptr && !r.irq.ptr)
    abort();
  arena_release(&a);
  return 0;
}
