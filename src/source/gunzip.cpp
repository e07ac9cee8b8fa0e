// Inflating gzip (and zlib) data: "/proc/config.gz", other ".gz" files of the
// analysed machine and gzip bundles. The data are in memory whole, so they
// are inflated whole with libdeflate. The output is bounded so that a small
// hostile file cannot expand until memory runs out.
#include <libdeflate.h>

#include "base/log.h"
#include "source/source.h"

namespace {

uint64_t min_u64(uint64_t a, uint64_t b) { return a < b ? a : b; }

// Deflate cannot expand its input more than about 1032 times.
constexpr uint64_t kMaxRatio = 1100;
constexpr uint64_t kMinRoom = 4096;

bool is_gzip(StrView data) {
  return static_cast<unsigned char>(data.ptr[0]) == 0x1f &&
         static_cast<unsigned char>(data.ptr[1]) == 0x8b;
}

// The room to inflate into first. A gzip trailer ends with the size of its
// member modulo 2^32 (ISIZE): for a file of one member below 4 GiB -- every
// file the limits let through -- it is the exact size, so a whole bundle
// inflates into one buffer of its own size. The trailer is the file's word,
// not a fact: a size the input cannot produce is ignored, and a wrong one
// (a lie, or the last of several members) only costs the retries below.
uint64_t first_room(StrView data, bool gzip) {
  uint64_t len = min_u64(data.len, UINT64_MAX / (8 * kMaxRatio));
  uint64_t guess = 4 * len + kMinRoom;
  if (gzip && data.len >= 18) {
    const unsigned char* t = reinterpret_cast<const unsigned char*>(data.ptr + data.len - 4);
    uint64_t isize = t[0] | (t[1] << 8) | (t[2] << 16) | (uint64_t{t[3]} << 24);
    if (isize <= len * kMaxRatio) guess = isize;
  }
  return guess;
}

// One attempt to inflate the first member of data into room bytes at out.
libdeflate_result inflate_once(libdeflate_decompressor* d, bool gzip, StrView data, char* out,
                               uint64_t room, size_t* produced) {
  size_t consumed = 0;  // asking for it lets bytes follow the first member
  return gzip ? libdeflate_gzip_decompress_ex(d, data.ptr, data.len, out, room, &consumed, produced)
              : libdeflate_zlib_decompress_ex(d, data.ptr, data.len, out, room, &consumed, produced);
}

}  // namespace

Inflated gunzip_bounded(Arena* a, StrView data, StrView* out, uint64_t limit) {
  *out = kNoneView;
  if (!data.ptr || data.len < 2) return Inflated::malformed;
  limit = min_u64(limit, UINT64_MAX / 4);  // keeps the doubling in range
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  if (!d) fatal("out of memory allocating a decompressor");
  bool gzip = is_gzip(data);
  uint64_t room = min_u64(first_room(data, gzip), limit);
  char* buf = static_cast<char*>(arena_alloc(a, room));
  // Too little room: inflate again into twice the room, up to the limit.
  // The buffer grows in place, so a retry adds no second copy of it.
  Inflated result = Inflated::malformed;
  while (true) {
    size_t produced = 0;
    libdeflate_result r = inflate_once(d, gzip, data, buf, room, &produced);
    if (r == LIBDEFLATE_SUCCESS) *out = StrView{buf, produced};
    if (r == LIBDEFLATE_SUCCESS) result = Inflated::ok;
    if (r == LIBDEFLATE_INSUFFICIENT_SPACE && room >= limit) result = Inflated::too_big;
    if (r != LIBDEFLATE_INSUFFICIENT_SPACE || room >= limit) break;
    uint64_t grown = min_u64(room < kMinRoom ? kMinRoom : room * 2, limit);
    buf = static_cast<char*>(arena_realloc(a, buf, room, grown));
    room = grown;
  }
  libdeflate_free_decompressor(d);
  return result;
}

bool gunzip_limited(Arena* a, StrView data, StrView* out, uint64_t limit) {
  return gunzip_bounded(a, data, out, limit) == Inflated::ok;
}

bool gunzip(Arena* a, StrView data, StrView* out) {
  return gunzip_limited(a, data, out, kGunzipLimit);
}
