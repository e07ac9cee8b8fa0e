#include "report/json_write.h"

#include <cmath>
#include <cstdlib>

#include "report/escape.h"

namespace {

// A quote, a backslash and the control bytes get their JSON escapes (the
// short ones where JSON has them); every other ASCII byte is copied.
const char* json_ascii(unsigned char c, char* scratch) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    default: break;
  }
  if (c >= 0x20) return nullptr;
  snprintf(scratch, kEscapeScratch, "\\u%04x", c);
  return scratch;
}

constexpr EscapeRules kJsonRules = {json_ascii, nullptr, "\\ufffd"};

}  // namespace

void json_string(FILE* out, const char* p, size_t len) {
  fputc('"', out);
  escape_write(out, sv_make(p, len), &kJsonRules);
  fputc('"', out);
}

void json_string_or_null(FILE* out, StrView v) {
  if (v.ptr && v.len > 0) {
    json_string(out, v);
  } else {
    fputs("null", out);
  }
}

void json_double(FILE* out, const char* fmt, double v) {
  if (!std::isfinite(v)) {
    fputs("null", out);
    return;
  }
  fprintf(out, fmt, v);
}

void json_double_exact(FILE* out, double v) {
  if (!std::isfinite(v)) {
    fputs("null", out);
    return;
  }
  char buf[32];
  for (int digits = 6; digits <= 17; digits++) {
    snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (strtod(buf, nullptr) == v) break;
  }
  fputs(buf, out);
}

void json_opt_double(FILE* out, bool has, double v) {
  if (has) {
    json_double(out, "%.6g", v);
  } else {
    fputs("null", out);
  }
}

void json_opt_int(FILE* out, bool has, int64_t v) {
  if (has) {
    fprintf(out, "%lld", static_cast<long long>(v));
  } else {
    fputs("null", out);
  }
}

void json_bool(FILE* out, bool b) { fputs(b ? "true" : "false", out); }

void json_cpulist(FILE* out, Arena* a, const CpuSet* s) {
  json_string(out, cpuset_format_list(a, s));
}

void json_seq_item(JsonSeq* s) {
  if (s->count++ > 0) fputc(',', s->out);
  fputc('\n', s->out);
  fputs(s->indent, s->out);
}

void json_seq_close(JsonSeq* s, const char* indent, const char* closer) {
  if (s->count > 0) {
    fputc('\n', s->out);
    fputs(indent, s->out);
  }
  fputs(closer, s->out);
}

void json_key(FILE* out, const char* indent, const char* name) {
  fprintf(out, "%s\"%s\": ", indent, name);
}

void json_member_string(FILE* out, const char* indent, const char* name, StrView v) {
  json_key(out, indent, name);
  json_string(out, v);
  fputs(",\n", out);
}

void json_member_bool(FILE* out, const char* indent, const char* name, bool b) {
  json_key(out, indent, name);
  json_bool(out, b);
  fputs(",\n", out);
}
