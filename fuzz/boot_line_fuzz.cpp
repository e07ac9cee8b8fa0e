// libFuzzer harness: boot_line_redact over arbitrary bytes. The redacted
// line never holds a value of a parameter outside the analysed list, so the
// output is never longer than the input plus "=redacted" per word.
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "source/boot_params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView in{reinterpret_cast<const char*>(data), size};
  StrView out = boot_line_redact(&a, in);
  if (out.len > size * 10 + 1) abort();
  arena_release(&a);
  return 0;
}
