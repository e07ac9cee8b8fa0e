// libFuzzer harness for the whole pipeline: one input (see pipeline_input.h)
// becomes a bundle that is analysed, graded, written in every format and read
// back; a broken invariant aborts the run with its description.
#include <cstdio>
#include <cstdlib>

#include "pipeline_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* bad = pipeline_check_input(data, size)) {
    fprintf(stderr, "pipeline invariant broken: %s\n", bad);
    abort();
  }
  return 0;
}
