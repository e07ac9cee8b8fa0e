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

// Deflate cannot expand its input more than about 1032 times.
constexpr uint64_t kMaxRatio = 1100;

// First output buffer: the size a gzip trailer records (modulo 2^32) when it
// is plausible for the input, so a whole bundle inflates without regrowing;
// otherwise six times the input. Never more than limit + 1 bytes: one byte
// past the limit is enough to tell that the data would inflate further.
uint64_t initial_size(StrView data, uint64_t limit) {
  uint64_t len = min_u64(data.len, UINT64_MAX / (8 * kMaxRatio));
  uint64_t guess = 6 * len + 4096;
  bool gzip = static_cast<unsigned char>(data.ptr[0]) == 0x1f &&
              static_cast<unsigned char>(data.ptr[1]) == 0x8b;
  if (gzip && data.len >= 18) {
    const unsigned char* t = reinterpret_cast<const unsigned char*>(data.ptr + data.len - 4);
    uint64_t isize = t[0] | (t[1] << 8) | (t[2] << 16) | (uint64_t{t[3]} << 24);
    if (isize + 1 <= len * kMaxRatio + 65536) guess = isize + 1;
  }
  return min_u64(guess, limit + 1);
}

}  // namespace

bool gunzip_limited(Arena* a, StrView data, StrView* out, uint64_t limit) {
  *out = kNoneView;
  if (!data.ptr || data.len < 2) return false;
  limit = min_u64(limit, UINT64_MAX / 4);  // keeps limit + 1 and doubling in range
  z_stream zs{};
  if (inflateInit2(&zs, kWindowBits) != Z_OK) return false;
  uint64_t cap = initial_size(data, limit);
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
