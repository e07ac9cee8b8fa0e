#include "source/bundle_inflate.h"

#include <zlib.h>

#include <climits>

namespace {

// Deflate cannot expand input more than about 1032 times.
constexpr uint64_t kMaxRatio = 1100;
constexpr uint64_t kSlack = 65536;

// First buffer size: the gzip trailer's size (modulo 2^32) when it is
// plausible, otherwise a guess; never more than the limit allows.
uint64_t initial_size(StrView data, uint64_t limit) {
  uint64_t plausible = data.len * kMaxRatio + kSlack;
  uint64_t guess = data.len * 4 + kSlack;
  if (data.len >= 18) {
    const unsigned char* t = reinterpret_cast<const unsigned char*>(data.ptr + data.len - 4);
    uint64_t isize = t[0] | (t[1] << 8) | (t[2] << 16) | (uint64_t{t[3]} << 24);
    if (isize + 1 <= plausible) guess = isize + 1;
  }
  return guess < limit + 1 ? guess : limit + 1;
}

}  // namespace

bool bundle_inflate(Arena* a, StrView data, uint64_t limit, StrView* out) {
  if (data.len < 2) return false;
  z_stream zs{};
  if (inflateInit2(&zs, 15 + 32) != Z_OK) return false;
  uint64_t cap = initial_size(data, limit);
  char* buf = static_cast<char*>(arena_alloc(a, cap));
  uint64_t produced = 0;
  uint64_t in_left = data.len;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.ptr));
  bool ok = false;
  for (;;) {
    if (zs.avail_in == 0 && in_left > 0) {
      uInt chunk = in_left > UINT_MAX ? UINT_MAX : static_cast<uInt>(in_left);
      zs.avail_in = chunk;
      in_left -= chunk;
    }
    if (produced == cap) {
      if (cap > limit) break;  // more than limit bytes: refused
      uint64_t grown = cap * 2 < limit + 1 ? cap * 2 : limit + 1;
      buf = static_cast<char*>(arena_realloc(a, buf, cap, grown));
      cap = grown;
    }
    uint64_t room = cap - produced;
    zs.next_out = reinterpret_cast<Bytef*>(buf + produced);
    zs.avail_out = room > UINT_MAX ? UINT_MAX : static_cast<uInt>(room);
    uInt before_out = zs.avail_out;
    int rc = inflate(&zs, Z_NO_FLUSH);
    produced += before_out - zs.avail_out;
    if (rc == Z_STREAM_END) {
      ok = produced <= limit;
      break;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0 && in_left == 0) break;  // truncated
    if (zs.avail_out != 0 && zs.avail_in == 0 && in_left == 0) break;  // truncated
  }
  inflateEnd(&zs);
  if (ok) *out = sv_make(buf, produced);
  return ok;
}
