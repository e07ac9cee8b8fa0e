#include "report/html_escape.h"

#include "base/utf8.h"
#include "report/escape.h"

namespace {

// The entity of a markup byte; U+FFFD for a control byte other than tab,
// newline and carriage return; null for a byte that is copied.
const char* html_ascii(unsigned char c, char*) {
  switch (c) {
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '\t':
    case '\n':
    case '\r': return nullptr;
    default: return c < 0x20 || c == 0x7F ? kReplacement : nullptr;
  }
}

constexpr EscapeRules kHtmlRules = {html_ascii, nullptr, kReplacement};

}  // namespace

void html_escape(FILE* out, const char* p, size_t len) {
  escape_write(out, sv_make(p, len), &kHtmlRules);
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
