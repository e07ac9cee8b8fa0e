#include "collect/bls_entry.h"

void parse_bls_entry(Arena* a, StrView text, BlsEntry* out) {
  StrView cur = text;
  int32_t line_no = 0;
  while (cur.ptr) {
    StrView line = sv_trim(sv_next_line(&cur));
    line_no++;
    if (line.len == 0 || line.ptr[0] == '#') continue;
    StrView rest = line;
    StrView key = sv_next_token(&rest, " \t");
    StrView value = rest.ptr ? sv_trim(rest) : sv_lit("");
    if (sv_eq_cstr(key, "linux")) out->linux = value;
    if (sv_eq_cstr(key, "version")) out->version = value;
    if (sv_eq_cstr(key, "options")) list_push(a, &out->options, BlsOptions{value, line_no});
  }
}

void parse_grubenv(Arena* a, StrView text, KvList* out) {
  StrView cur = text;
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    if (line.len == 0 || line.ptr[0] == '#') continue;
    StrView key, value;
    if (sv_split_once(line, '=', &key, &value)) kv_add(a, out, key, value);
  }
}
