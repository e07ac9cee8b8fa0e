// libFuzzer harness: see fuzz_boot_line in boot_fuzz_bodies.h.
#include "boot_fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_boot_line(data, size);
  return 0;
}
