#include "pipeline_input.h"

#include <cstring>

#include "base/parse.h"
#include "source/tar_writer.h"

namespace {

constexpr char kEscape = '\x01';

// The bytes up to the next NUL (or the end), and the cursor past it.
StrView next_field(StrView* cur) {
  const char* nul = static_cast<const char*>(memchr(cur->ptr, 0, cur->len));
  size_t n = nul ? static_cast<size_t>(nul - cur->ptr) : cur->len;
  StrView field{cur->ptr, n};
  size_t skip = nul ? n + 1 : n;
  *cur = StrView{cur->ptr + skip, cur->len - skip};
  return field;
}

// \x01 '0' stands for a NUL; contents without an escape are not copied.
StrView decode_content(Arena* a, StrView v) {
  if (!memchr(v.ptr, kEscape, v.len)) return v;
  char* out = static_cast<char*>(arena_alloc(a, v.len));
  size_t n = 0;
  for (size_t i = 0; i < v.len; i++) {
    bool nul = v.ptr[i] == kEscape && i + 1 < v.len && v.ptr[i + 1] == '0';
    out[n++] = nul ? '\0' : v.ptr[i];
    i += nul ? 1 : 0;
  }
  return StrView{out, n};
}

void parse_option(StrView word, PipelineOptions* o) {
  StrView key = word, value = kNoneView;
  sv_split_once(word, '=', &key, &value);
  double d = 0;
  int32_t i = 0;
  if (sv_eq_cstr(key, "measure")) o->measure = true;
  if (sv_eq_cstr(key, "privileged")) o->privileged = true;
  if (sv_eq_cstr(key, "profile") && sv_eq_cstr(value, "low-latency"))
    o->profile = Profile::low_latency;
  if (sv_eq_cstr(key, "target") && parse_double(value, &d) && d > 0 && d < 1e9) o->target_us = d;
  if (sv_eq_cstr(key, "window") && parse_double(value, &d) && d > 0 && d < 1e6) o->window_s = d;
  if (sv_eq_cstr(key, "duration") && parse_i32(value, &i) && i > 0) o->duration_s = i;
}

void parse_options(StrView text, PipelineOptions* o) {
  StrView cur = text;
  while (cur.len) {
    StrView word = sv_next_token(&cur, " \t\n");
    if (word.len) parse_option(word, o);
  }
}

void add_reserved(Arena* a, StrView name, StrView content, PipelineInput* in) {
  StrView tool = name;
  if (sv_eq_cstr(name, "!interrupts")) in->interrupts2 = content;
  if (sv_eq_cstr(name, "!softirqs")) in->softirqs2 = content;
  if (sv_eq_cstr(name, "!options")) parse_options(content, &in->opt);
  if (sv_consume_prefix(&tool, sv_lit("!run ")))
    list_push(a, &in->tools, PipelineTool{tool, content});
}

}  // namespace

void pipeline_input_parse(Arena* a, const uint8_t* data, size_t size, PipelineInput* out) {
  *out = PipelineInput{};
  out->opt = PipelineOptions{Profile::hard_rt, 0, 1.0, 10, false, false};
  StrView cur{reinterpret_cast<const char*>(data), size};
  while (cur.len) {
    StrView name = next_field(&cur);
    StrView content = decode_content(a, next_field(&cur));
    if (sv_starts_with(name, "!")) add_reserved(a, name, content, out);
    if (!sv_starts_with(name, "/")) continue;
    bool is_dir = name.len > 1 && sv_consume_suffix(&name, sv_lit("/"));
    list_push(a, &out->files, PipelineFile{name, content, is_dir});
  }
}

bool pipeline_input_tar(Arena* a, const PipelineInput* in, StrView* out) {
  TarWriter w = {a, nullptr, 0, 0};
  for (const PipelineFile& f : in->files) {
    if (!tar_write_entry(&w, f.path, f.is_dir ? kNoneView : f.content, f.is_dir)) return false;
  }
  tar_write_end(&w);
  *out = StrView{w.data, w.len};
  return true;
}
