// libFuzzer harness for the bundle reader: any bytes are loaded as a bundle
// and, when they load, every member is read, listed and globbed.
#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "source/bundle.h"
#include "source/source.h"

namespace {

constexpr uint64_t kFuzzInflateLimit = uint64_t{8} << 20;

constexpr const char* kPatterns[] = {
    "/*", "/proc/*", "/proc/irq/[0-9]*/smp_affinity", "/proc/*/task/*/stat", "/*/*/*", "/[a-z]?*/.*", "/a[",
};

void exercise(Source* src) {
  const BundleIndex* idx = static_cast<const BundleIndex*>(src->ctx);
  size_t n = idx->members.count;
  for (size_t i = 0; i < n; i++) {
    StrView name = idx->members[i].name;
    StrView data;
    src->ops.read_raw(src, name, &data);
    src->ops.exists(src, name);
    StrList entries{};
    src->ops.list(src, name, &entries);
  }
  StrList l{};
  src->ops.list(src, sv_from_cstr("/"), &l);
  for (const char* p : kPatterns) {
    StrList g{};
    source_glob(src, p, &g);
  }
  source_read(src, "/proc/config.gz");
  source_exists(src, "/proc/missing/x");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView err{};
  Source* src = bundle_load(&a, "fuzz", StrView{reinterpret_cast<const char*>(data), size}, kFuzzInflateLimit, &err);
  if (src) exercise(src);
  arena_release(&a);
  return 0;
}
