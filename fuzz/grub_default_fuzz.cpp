// libFuzzer harness: see fuzz_grub_default in boot_fuzz_bodies.h.
#include "boot_fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_grub_default(data, size);
  return 0;
}
