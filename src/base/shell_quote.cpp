#include "base/shell_quote.h"

namespace {

bool is_plain_byte(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '%': case '+': case ',': case '-': case '.': case '/': case ':': case '=': case '@':
    case '_':
      return true;
    default:
      return false;
  }
}

bool is_plain_word(StrView v) {
  if (v.len == 0) return false;
  for (size_t i = 0; i < v.len; i++) {
    if (!is_plain_byte(static_cast<unsigned char>(v.ptr[i]))) return false;
  }
  return true;
}

}  // namespace

void sb_append_shell_quoted(StrBuf* sb, StrView v) {
  sb_append_char(sb, '\'');
  for (size_t i = 0; i < v.len; i++) {
    if (v.ptr[i] == '\'') {
      sb_append_cstr(sb, "'\\''");
    } else {
      sb_append_char(sb, v.ptr[i]);
    }
  }
  sb_append_char(sb, '\'');
}

void sb_append_shell_word(StrBuf* sb, StrView v) {
  if (is_plain_word(v)) {
    sb_append_view(sb, v);
  } else {
    sb_append_shell_quoted(sb, v);
  }
}

StrView shell_word(Arena* a, StrView v) {
  StrBuf sb;
  sb_init(&sb, a);
  sb_append_shell_word(&sb, v);
  return sb_view(&sb);
}
