// libFuzzer harness: see fuzz_bls_entry in boot_fuzz_bodies.h.
#include "boot_fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_bls_entry(data, size);
  return 0;
}
