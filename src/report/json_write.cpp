#include "report/json_write.h"

#include <cmath>

namespace {

// Well-formed UTF-8 by lead byte: the sequence length and the range allowed
// for the second byte (later bytes are always 0x80..0xBF). The narrowed
// second-byte ranges exclude overlong forms (E0, F0), UTF-16 surrogates (ED)
// and code points above U+10FFFF (F4). Lead bytes not listed (0x80..0xC1,
// 0xF5..0xFF) never start a sequence.
struct Utf8Lead {
  unsigned char lo, hi;         // lead byte range
  unsigned char len;            // bytes in the sequence
  unsigned char lo2, hi2;       // second byte range
};

constexpr Utf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

const Utf8Lead* utf8_lead(unsigned char c) {
  for (const Utf8Lead& l : kUtf8Leads) {
    if (c >= l.lo && c <= l.hi) return &l;
  }
  return nullptr;
}

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

size_t utf8_sequence_length(const unsigned char* p, size_t n, size_t* bad) {
  *bad = 1;
  if (n == 0) return 0;
  if (p[0] < 0x80) return 1;
  const Utf8Lead* lead = utf8_lead(p[0]);
  if (!lead) return 0;
  for (size_t i = 1; i < lead->len; i++) {
    unsigned char lo = i == 1 ? lead->lo2 : 0x80;
    unsigned char hi = i == 1 ? lead->hi2 : 0xBF;
    if (i >= n || p[i] < lo || p[i] > hi) {
      *bad = i;
      return 0;
    }
  }
  return lead->len;
}

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
