// libFuzzer harness for the rtla timerlat hist output parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "collect/measurement.h"
#include "measure/tool_parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  TimerlatResult r{};
  bool ok = parse_timerlat_hist(&a, StrView{reinterpret_cast<const char*>(data), size}, &r);
  if (ok != r.valid || (ok && !r.irq_max_us.has && !r.thread_max_us.has)) abort();
  arena_release(&a);
  return 0;
}
