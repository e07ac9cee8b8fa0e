// Inflating gzip (and zlib) data: "/proc/config.gz", other ".gz" files of the
// analysed machine and gzip bundles. The output is bounded so that a small
// hostile file cannot expand until memory runs out.
#include <zlib.h>

#include <climits>

#include "source/source.h"

namespace {

// 15 window bits plus 32: the gzip or zlib header is recognised by zlib.
constexpr int kWindowBits = 47;

uint64_t min_u64(uint64_t a, uint64_t b) { return a < b ? a : b; }

// Hands zlib the next slice of input and output; both counters are 32-bit.
void feed(z_stream* zs, const char* in, uint64_t in_left, char* out, uint64_t out_left) {
  zs->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
  zs->avail_in = static_cast<uInt>(min_u64(in_left, UINT_MAX));
  zs->next_out = reinterpret_cast<Bytef*>(out);
  zs->avail_out = static_cast<uInt>(min_u64(out_left, UINT_MAX));
}

}  // namespace

bool gunzip_limited(Arena* a, StrView data, StrView* out, uint64_t limit) {
  *out = kNoneView;
  if (!data.ptr || data.len < 2) return false;
  limit = min_u64(limit, UINT64_MAX / 4);  // keeps limit + 1 and doubling in range
  z_stream zs{};
  if (inflateInit2(&zs, kWindowBits) != Z_OK) return false;
  // The buffer never exceeds limit + 1 bytes: one byte past the limit is
  // enough to tell that the data would inflate further than allowed.
  uint64_t cap = min_u64(6 * min_u64(data.len, UINT64_MAX / 8) + 4096, limit + 1);
  char* buf = static_cast<char*>(arena_alloc(a, cap));
  uint64_t in_pos = 0, out_len = 0;
  bool ok = false;
  while (true) {
    feed(&zs, data.ptr + in_pos, data.len - in_pos, buf + out_len, cap - out_len);
    uInt in_before = zs.avail_in, out_before = zs.avail_out;
    int rc = inflate(&zs, Z_NO_FLUSH);
    in_pos += in_before - zs.avail_in;
    out_len += out_before - zs.avail_out;
    if (rc == Z_STREAM_END) {
      ok = out_len <= limit;
      break;
    }
    if (rc != Z_OK) break;
    if (out_len == cap) {
      if (cap > limit) break;  // more output than the limit allows
      uint64_t grown = min_u64(cap * 2, limit + 1);
      buf = static_cast<char*>(arena_realloc(a, buf, cap, grown));
      cap = grown;
    } else if (in_pos == data.len) {
      break;  // output room left but no input: a truncated stream
    }
  }
  inflateEnd(&zs);
  if (ok) *out = StrView{buf, out_len};
  return ok;
}

bool gunzip(Arena* a, StrView data, StrView* out) {
  return gunzip_limited(a, data, out, kGunzipLimit);
}
