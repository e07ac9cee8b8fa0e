#include "report/xml_write.h"

#include <cstdint>

#include "base/utf8.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

const char* entity(unsigned char c, bool attribute) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&apos;";
    case '\t': return attribute ? "&#9;" : nullptr;
    case '\n': return attribute ? "&#10;" : nullptr;
    case '\r': return attribute ? "&#13;" : nullptr;
    default: return nullptr;
  }
}

bool xml_allowed_control(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r';
}

// U+FFFE and U+FFFF: well-formed UTF-8, but not XML characters.
bool xml_noncharacter(const unsigned char* p, size_t n) {
  return n == 3 && p[0] == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF);
}

}  // namespace

void xml_text(FILE* out, StrView v, bool attribute) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(v.ptr);
  size_t len = s ? v.len : 0;
  size_t run = 0;  // start of the bytes not yet written that pass unchanged
  size_t i = 0;
  while (i < len) {
    unsigned char c = s[i];
    const char* e = c < 0x80 ? entity(c, attribute) : nullptr;
    size_t bad = 1;
    size_t n = 1;
    if (c >= 0x80) {
      n = utf8_sequence_length(s + i, len - i, &bad);
      if (n > 0 && !xml_noncharacter(s + i, n)) {
        i += n;
        continue;
      }
      if (n > 0) bad = n;
    } else if (!e && (c >= 0x20 || xml_allowed_control(c))) {
      i++;
      continue;
    }
    if (i > run) fwrite(s + run, 1, i - run, out);
    fputs(e ? e : kReplacement, out);
    i += e ? 1 : bad;
    run = i;
  }
  if (len > run) fwrite(s + run, 1, len - run, out);
}
