#include "collect/grub_default.h"

#include <cstring>

namespace {

// A cursor over the file that counts lines as it goes.
struct ShellScan {
  StrView text;
  size_t pos;
  int32_t line;
  const ShellVars* vars;
  bool unbalanced;
};

bool at_end(const ShellScan* s) { return s->pos >= s->text.len; }
char peek(const ShellScan* s) { return s->text.ptr[s->pos]; }

char take(ShellScan* s) {
  char c = s->text.ptr[s->pos++];
  if (c == '\n') s->line++;
  return c;
}

bool is_name_char(char c, bool first) {
  bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  return alpha || (!first && c >= '0' && c <= '9');
}

StrView scan_name(ShellScan* s) {
  size_t start = s->pos;
  while (!at_end(s) && is_name_char(peek(s), s->pos == start)) s->pos++;
  return sv_make(s->text.ptr + start, s->pos - start);
}

StrView lookup(const ShellScan* s, StrView name) {
  for (size_t i = s->vars->assigns.count; i-- > 0;) {
    const ShellAssign& v = s->vars->assigns[i];
    if (sv_eq(v.name, name)) return v.value;
  }
  return kNoneView;
}

void scan_word_until(ShellScan* s, StrBuf* out, char stop);

// ${NAME}, ${NAME:-word}, ${NAME-word}, ${NAME:+word}, ${NAME+word}; the
// word is read like a double-quoted text up to the closing brace.
void expand_braced(ShellScan* s, StrBuf* out) {
  StrView name = scan_name(s);
  StrView value = lookup(s, name);
  bool colon = !at_end(s) && peek(s) == ':';
  if (colon) s->pos++;
  char op = at_end(s) ? '}' : peek(s);
  if (op != '-' && op != '+') {
    while (!at_end(s) && take(s) != '}') {
    }
    sb_append_view(out, value);
    return;
  }
  s->pos++;
  StrBuf word;
  sb_init(&word, out->arena);
  scan_word_until(s, &word, '}');
  if (!at_end(s)) s->pos++;
  bool set = value.ptr && (!colon || value.len > 0);
  StrView chosen = op == '-' ? (set ? value : sb_view(&word)) : (set ? sb_view(&word) : kNoneView);
  sb_append_view(out, chosen);
}

// After a "$": a name, a braced expansion, or a lone "$" kept as it is.
void expand(ShellScan* s, StrBuf* out) {
  if (!at_end(s) && peek(s) == '{') {
    s->pos++;
    expand_braced(s, out);
    return;
  }
  StrView name = scan_name(s);
  if (name.len == 0) {
    sb_append_char(out, '$');
    return;
  }
  sb_append_view(out, lookup(s, name));
}

// Inside double quotes (or a braced word, stop "}"): a backslash escapes only
// "$", "`", the double quote, a backslash and a newline; "$" expands.
void scan_word_until(ShellScan* s, StrBuf* out, char stop) {
  while (!at_end(s) && peek(s) != stop) {
    char c = take(s);
    if (c == '$') {
      expand(s, out);
    } else if (c == '\\' && !at_end(s) && strchr("$`\"\\\n", peek(s))) {
      char e = take(s);
      if (e != '\n') sb_append_char(out, e);
    } else {
      sb_append_char(out, c);
    }
  }
}

// One quoted piece after its opening quote; an end of file before the
// closing quote marks the scan unbalanced.
void scan_quoted(ShellScan* s, StrBuf* out, char quote) {
  if (quote == '"') {
    scan_word_until(s, out, '"');
  } else {
    while (!at_end(s) && peek(s) != '\'') sb_append_char(out, take(s));
  }
  if (at_end(s)) {
    s->unbalanced = true;
    return;
  }
  s->pos++;
}

bool ends_word(char c) { return c == ' ' || c == '\t' || c == '\n' || c == ';' || c == '&' || c == '|'; }

// The value of an assignment: up to unquoted white space or ";".
StrView scan_value(ShellScan* s, Arena* a) {
  StrBuf out;
  sb_init(&out, a);
  while (!at_end(s) && !ends_word(peek(s)) && !s->unbalanced) {
    char c = take(s);
    if (c == '\'' || c == '"') {
      scan_quoted(s, &out, c);
    } else if (c == '$') {
      expand(s, &out);
    } else if (c == '\\' && !at_end(s)) {
      char e = take(s);
      if (e != '\n') sb_append_char(&out, e);
    } else {
      sb_append_char(&out, c);
    }
  }
  return sb_view(&out);
}

void skip_to_line_end(ShellScan* s) {
  while (!at_end(s) && peek(s) != '\n') s->pos++;
}

// One statement: optional "export", then NAME=value words; anything else
// (a command, a comment) runs to the end of its line unread.
void scan_statement(ShellScan* s, Arena* a, ShellVars* vars) {
  while (!at_end(s) && (peek(s) == ' ' || peek(s) == '\t' || peek(s) == ';')) s->pos++;
  if (at_end(s)) return;
  if (peek(s) == '\n') {
    take(s);
    return;
  }
  StrView rest = sv_slice(s->text, s->pos, s->text.len);
  if (sv_starts_with(rest, "export ")) s->pos += 7;
  int32_t line = s->line;
  size_t start = s->pos;
  StrView name = scan_name(s);
  if (name.len == 0 || at_end(s) || peek(s) != '=') {
    s->pos = start;
    skip_to_line_end(s);
    return;
  }
  s->pos++;
  StrView value = scan_value(s, a);
  if (!s->unbalanced) list_push(a, &vars->assigns, ShellAssign{name, value, line});
}

}  // namespace

const ShellAssign* shell_vars_get(const ShellVars* vars, const char* name) {
  for (size_t i = vars->assigns.count; i-- > 0;) {
    if (sv_eq_cstr(vars->assigns[i].name, name)) return &vars->assigns[i];
  }
  return nullptr;
}

int32_t parse_grub_default(Arena* a, StrView text, ShellVars* vars) {
  if (!text.ptr) return 0;
  ShellScan s{text, 0, 1, vars, false};
  while (!at_end(&s) && !s.unbalanced) {
    int32_t line = s.line;
    scan_statement(&s, a, vars);
    if (s.unbalanced) return line;
  }
  return 0;
}
