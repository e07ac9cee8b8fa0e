#include "base/utf8.h"

namespace {

// Well-formed UTF-8 by lead byte: the sequence length and the range allowed
// for the second byte (later bytes are always 0x80..0xBF). The narrowed
// second-byte ranges exclude overlong forms (E0, F0), UTF-16 surrogates (ED)
// and code points above U+10FFFF (F4). Lead bytes not listed (0x80..0xC1,
// 0xF5..0xFF) never start a sequence.
struct Utf8Lead {
  unsigned char lo, hi;    // lead byte range
  unsigned char len;       // bytes in the sequence
  unsigned char lo2, hi2;  // second byte range
};

constexpr Utf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

const Utf8Lead* utf8_lead(unsigned char c) {
  for (const Utf8Lead& l : kUtf8Leads) {
    if (c >= l.lo && c <= l.hi) return &l;
  }
  return nullptr;
}

}  // namespace

size_t utf8_decode(const unsigned char* p, size_t n, uint32_t* cp, size_t* bad) {
  *bad = 1;
  if (n == 0) return 0;
  if (p[0] < 0x80) {
    *cp = p[0];
    return 1;
  }
  const Utf8Lead* lead = utf8_lead(p[0]);
  if (!lead) return 0;
  uint32_t c = p[0] & (0x7F >> lead->len);
  for (size_t i = 1; i < lead->len; i++) {
    unsigned char lo = i == 1 ? lead->lo2 : 0x80;
    unsigned char hi = i == 1 ? lead->hi2 : 0xBF;
    if (i >= n || p[i] < lo || p[i] > hi) {
      *bad = i;
      return 0;
    }
    c = (c << 6) | (p[i] & 0x3F);
  }
  *cp = c;
  return lead->len;
}

size_t utf8_sequence_length(const unsigned char* p, size_t n, size_t* bad) {
  uint32_t cp;
  return utf8_decode(p, n, &cp, bad);
}
