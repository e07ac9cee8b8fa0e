// libFuzzer harness: see fuzz_consoles in collect_fuzz_bodies.h.
#include "collect_fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_consoles(data, size);
  return 0;
}
