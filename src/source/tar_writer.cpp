#include "source/tar_writer.h"

#include <errno.h>
#include <libdeflate.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/log.h"
#include "source/tar_reader.h"

namespace {

constexpr size_t kNameLen = 100;
constexpr size_t kPrefixOff = 345, kPrefixLen = 155;
constexpr uint64_t kMaxSize = uint64_t{1} << 33;  // 11 octal digits

// Octal digits with leading zeros followed by a NUL, filling width bytes.
void put_octal(char* field, size_t width, uint64_t v) {
  field[width - 1] = 0;
  for (size_t i = width - 1; i-- > 0; v >>= 3) field[i] = static_cast<char>('0' + (v & 7));
}

void put_text(char* field, const char* text) {
  memcpy(field, text, strlen(text));
}

// Splits name at a "/" so that the part before fits the prefix field and the
// part after fits the name field. Returns the split position or 0.
size_t split_at(const char* name, size_t len) {
  for (size_t i = 1; i < len && i <= kPrefixLen; i++)
    if (name[i] == '/' && len - i - 1 <= kNameLen && len - i - 1 > 0) return i;
  return 0;
}

bool put_name(char* block, const char* name, size_t len) {
  if (len < kNameLen) {
    memcpy(block, name, len);
    return true;
  }
  size_t cut = split_at(name, len);
  if (cut == 0) return false;
  memcpy(block + kPrefixOff, name, cut);
  memcpy(block, name + cut + 1, len - cut - 1);
  return true;
}

// The first buffer is larger than an Arena block, so it has a block of its
// own and grows in place; growing by half keeps the unused tail small.
constexpr uint64_t kFirstCapacity = uint64_t{1} << 20;

// n more bytes at the end of the archive, still zero: the buffer is only ever
// appended to, so padding and the end blocks need no writing.
char* append(TarWriter* w, uint64_t n) {
  if (w->cap - w->len < n) {
    uint64_t cap = w->cap < kFirstCapacity ? kFirstCapacity : w->cap + w->cap / 2;
    if (cap < w->len + n) cap = w->len + n;
    w->data = static_cast<char*>(arena_realloc(w->arena, w->data, w->cap, cap));
    w->cap = cap;
  }
  char* p = w->data + w->len;
  w->len += n;
  return p;
}

bool write_fully(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t r = write(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

}  // namespace

bool tar_header_fill(char* block, StrView path, uint64_t size, bool is_dir, int64_t mtime) {
  memset(block, 0, kTarBlock);
  while (path.len > 0 && path.ptr[0] == '/') path = sv_make(path.ptr + 1, path.len - 1);
  // "./" + path + "/" for a directory; the longest name a header can carry
  // is a 155-byte prefix, "/" and a 100-byte name.
  char name[kPrefixLen + 1 + kNameLen + 1];
  size_t len = 2 + path.len + (is_dir ? 1 : 0);
  if (len > sizeof(name) - 1 || size >= kMaxSize) return false;
  memcpy(name, "./", 2);
  memcpy(name + 2, path.ptr, path.len);
  if (is_dir) name[len - 1] = '/';
  if (!put_name(block, name, len)) return false;
  put_text(block + 100, is_dir ? "0000755" : "0000644");
  put_text(block + 108, "0000000");
  put_text(block + 116, "0000000");
  put_octal(block + 124, 12, is_dir ? 0 : size);
  put_octal(block + 136, 12, mtime < 0 ? 0 : static_cast<uint64_t>(mtime));
  block[156] = is_dir ? '5' : '0';
  memcpy(block + 257, "ustar", 6);
  memcpy(block + 263, "00", 2);
  put_text(block + 265, "root");
  put_text(block + 297, "root");
  memset(block + 148, ' ', 8);
  unsigned sum = 0;
  for (size_t i = 0; i < kTarBlock; i++) sum += static_cast<unsigned char>(block[i]);
  put_octal(block + 148, 7, sum);
  block[155] = ' ';
  return true;
}

bool tar_write_entry(TarWriter* w, StrView path, StrView data, bool is_dir) {
  char block[kTarBlock];
  if (!tar_header_fill(block, path, data.len, is_dir, static_cast<int64_t>(time(nullptr))))
    return false;
  memcpy(append(w, kTarBlock), block, kTarBlock);
  if (is_dir || data.len == 0) return true;
  memcpy(append(w, data.len), data.ptr, data.len);
  append(w, (kTarBlock - data.len % kTarBlock) % kTarBlock);
  return true;
}

void tar_write_end(TarWriter* w) { append(w, 2 * kTarBlock); }

bool tar_write_gzip(TarWriter* w, int fd) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  if (!c) fatal("out of memory allocating a compressor");
  size_t bound = libdeflate_gzip_compress_bound(c, w->len);
  char* out = static_cast<char*>(arena_alloc(w->arena, bound));
  size_t n = libdeflate_gzip_compress(c, w->data ? w->data : "", w->len, out, bound);
  libdeflate_free_compressor(c);
  return n > 0 && write_fully(fd, out, n);
}
