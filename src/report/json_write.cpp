#include "report/json_write.h"

#include <cmath>

#include "base/utf8.h"

namespace {

// The escape for a byte that cannot be copied as is, or null.
const char* short_escape(unsigned char c) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    default: return nullptr;
  }
}

bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

}  // namespace

void json_string(FILE* out, const char* p, size_t len) {
  fputc('"', out);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(p);
  if (!s) len = 0;
  size_t run = 0;  // start of the bytes not yet written that pass unchanged
  size_t i = 0;
  while (i < len) {
    unsigned char c = s[i];
    if (c < 0x80 && !needs_escape(c)) {
      i++;
      continue;
    }
    size_t bad = 1;
    size_t n = c < 0x80 ? 0 : utf8_sequence_length(s + i, len - i, &bad);
    if (n > 0) {
      i += n;
      continue;
    }
    if (i > run) fwrite(s + run, 1, i - run, out);
    if (c >= 0x80) {
      fputs("\\ufffd", out);
      i += bad;
    } else {
      const char* e = short_escape(c);
      if (e) {
        fputs(e, out);
      } else {
        fprintf(out, "\\u%04x", c);
      }
      i++;
    }
    run = i;
  }
  if (len > run) fwrite(s + run, 1, len - run, out);
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
