// libFuzzer harness: see fuzz_sysctl_conf in boot_fuzz_bodies.h.
#include "boot_fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_sysctl_conf(data, size);
  return 0;
}
