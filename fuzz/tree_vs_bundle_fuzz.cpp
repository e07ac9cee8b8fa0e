// libFuzzer harness comparing a directory tree with a bundle of the same
// files (see tree_vs_bundle.h); a difference aborts the run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tree_vs_bundle.h"

namespace {

std::string dir;

void remove_scratch() {
  rmdir(dir.c_str());
}

// One scratch directory for the whole run, in TMPDIR, emptied after each
// input and removed at exit.
const char* scratch_dir() {
  if (dir.empty()) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelvane-tvb-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    dir = pattern;
    atexit(remove_scratch);
  }
  return dir.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const char* bad = tree_vs_bundle_check_input(data, size, scratch_dir())) {
    fprintf(stderr, "tree against bundle: %s\n", bad);
    abort();
  }
  return 0;
}
