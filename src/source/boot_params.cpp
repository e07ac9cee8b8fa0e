#include "source/boot_params.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next word of *rest, blanks inside double quotes included.
StrView next_word(StrView* rest) {
  size_t i = 0;
  while (i < rest->len && is_blank(rest->ptr[i])) i++;
  size_t start = i;
  bool quoted = false;
  for (; i < rest->len && (quoted || !is_blank(rest->ptr[i])); i++)
    if (rest->ptr[i] == '"') quoted = !quoted;
  StrView word = sv_slice(*rest, start, i);
  *rest = sv_slice(*rest, i, rest->len);
  return word;
}

void append_word(StrBuf* sb, StrView word) {
  StrView key, value;
  sv_split_once(word, '=', &key, &value);
  if (!value.ptr || boot_param_analysed(key)) {
    sb_append_view(sb, word);
    return;
  }
  sb_append_view(sb, key);
  if (sv_eq_cstr(key, "BOOT_IMAGE")) {
    // The kernel file name says which kernel booted; the device and
    // directory before it are left out.
    size_t slash = value.len;
    while (slash > 0 && value.ptr[slash - 1] != '/' && value.ptr[slash - 1] != ')') slash--;
    sb_append_cstr(sb, "=");
    sb_append_view(sb, sv_slice(value, slash, value.len));
    return;
  }
  sb_append_cstr(sb, "=redacted");
}

}  // namespace

bool boot_param_analysed(StrView key) {
  for (const char* p : kAnalysedBootParams)
    if (sv_eq_cstr(key, p)) return true;
  return false;
}

StrView boot_line_redact(Arena* a, StrView line) {
  StrBuf sb;
  sb_init(&sb, a);
  StrView rest = line;
  bool first = true;
  for (StrView word = next_word(&rest); word.len; word = next_word(&rest)) {
    if (!first) sb_append_cstr(&sb, " ");
    first = false;
    append_word(&sb, word);
  }
  if (sv_ends_with(line, "\n")) sb_append_cstr(&sb, "\n");
  return sb_view(&sb);
}
