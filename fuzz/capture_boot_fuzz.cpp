// libFuzzer harness: see fuzz_capture_boot in boot_fuzz_bodies.h.
#include "boot_fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_capture_boot(data, size);
  return 0;
}
