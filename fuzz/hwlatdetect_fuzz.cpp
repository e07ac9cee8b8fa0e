// libFuzzer harness for the hwlatdetect output parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "collect/measurement.h"
#include "measure/tool_parsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HwlatResult r{};
  bool ok = parse_hwlatdetect(StrView{reinterpret_cast<const char*>(data), size}, &r);
  if (ok != r.valid || (r.max_us.has && !(r.max_us.value > 0))) abort();
  return 0;
}
