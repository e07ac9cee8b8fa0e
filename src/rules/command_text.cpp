#include "rules/command_text.h"

void sb_append_command_text(StrBuf* sb, StrView v) {
  for (size_t i = 0; i < v.len; i++) {
    auto c = static_cast<unsigned char>(v.ptr[i]);
    sb_append_char(sb, c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c));
  }
}

StrView command_text(Arena* a, StrView v) {
  StrBuf sb;
  sb_init(&sb, a);
  sb_append_command_text(&sb, v);
  return sb_view(&sb);
}

StrView command_cpu_words(Arena* a, const CpuSet* s) {
  StrBuf sb;
  sb_init(&sb, a);
  for (int32_t c : CpuIter{s}) {
    if (sb.len) sb_append_char(&sb, ' ');
    sb_printf(&sb, "%d", c);
  }
  return sb_view(&sb);
}
