// libFuzzer harness for the bundle reader: any bytes are loaded as a bundle
// and, when they load, every member is read, listed and globbed.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/arena.h"
#include "base/list.h"
#include "source/bundle.h"
#include "source/source.h"

namespace {

constexpr uint64_t kFuzzInflateLimit = uint64_t{8} << 20;

constexpr const char* kPatterns[] = {
    "/*",          "/proc/*", "/proc/irq/[0-9]*/smp_affinity", "/proc/*/task/*/stat", "/*/*/*",
    "/[a-z]?*/.*", "/a[",
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

// Inputs starting with 'Z' are gzip-compressed here first, so that hostile
// archive contents also reach the reader through a valid gzip stream (a
// mutated gzip file mostly fails its checksum).
StrView compressed(Arena* a, const uint8_t* data, size_t size) {
  z_stream zs{};
  if (deflateInit2(&zs, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) abort();
  size_t cap = deflateBound(&zs, size);
  char* out = static_cast<char*>(arena_alloc(a, cap));
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = static_cast<uInt>(size);
  zs.next_out = reinterpret_cast<Bytef*>(out);
  zs.avail_out = static_cast<uInt>(cap);
  if (deflate(&zs, Z_FINISH) != Z_STREAM_END) abort();
  StrView v{out, zs.total_out};
  deflateEnd(&zs);
  return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView bytes{reinterpret_cast<const char*>(data), size};
  if (size > 0 && data[0] == 'Z') bytes = compressed(&a, data + 1, size - 1);
  StrView err{};
  Source* src = bundle_load(&a, "fuzz", bytes, kFuzzInflateLimit, &err);
  if (src) exercise(src);
  arena_release(&a);
  return 0;
}
