#include "report/html_escape.h"

#include "base/utf8.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The entity for a markup byte, or null when the byte is copied.
const char* entity(unsigned char c) {
  switch (c) {
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    default: return nullptr;
  }
}

bool is_control(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

}  // namespace

void html_escape(FILE* out, const char* p, size_t len) {
  if (!p) return;
  auto bytes = reinterpret_cast<const unsigned char*>(p);
  size_t run = 0;  // start of the bytes not written yet
  size_t i = 0;
  while (i < len) {
    unsigned char c = bytes[i];
    const char* replace = entity(c);
    size_t skip = 1;
    if (!replace && is_control(c)) replace = kReplacement;
    if (!replace && c >= 0x80) {
      size_t bad = 1;
      size_t n = utf8_sequence_length(bytes + i, len - i, &bad);
      if (n == 0) {
        replace = kReplacement;
        skip = bad;
      } else {
        i += n;
        continue;
      }
    }
    if (!replace) {
      i++;
      continue;
    }
    fwrite(p + run, 1, i - run, out);
    fputs(replace, out);
    i += skip;
    run = i;
  }
  fwrite(p + run, 1, len - run, out);
}

StrView html_cut_label(StrView text, size_t max_bytes) {
  if (text.len <= max_bytes) return text;
  auto bytes = reinterpret_cast<const unsigned char*>(text.ptr);
  // Walk whole characters (an ill-formed run counts as the one U+FFFD it is
  // shown as) while they fit.
  size_t end = 0;
  while (end < text.len) {
    size_t bad = 1;
    size_t n = utf8_sequence_length(bytes + end, text.len - end, &bad);
    size_t unit = n ? n : bad;
    if (end + unit > max_bytes) break;
    end += unit;
  }
  return sv_slice(text, 0, end);
}
