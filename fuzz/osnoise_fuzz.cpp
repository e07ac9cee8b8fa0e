// libFuzzer harness for the rtla osnoise top output parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "collect/measurement.h"
#include "measure/tool_parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NoiseResult r{};
  bool ok = parse_osnoise_top(StrView{reinterpret_cast<const char*>(data), size}, &r);
  if (ok != r.valid || (ok && !r.dominant.ptr)) abort();
  return 0;
}
