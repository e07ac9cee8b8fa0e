// Low-level JSON emitters used by the JSON report: strings (escaped, always
// valid UTF-8), numbers (never inf or nan), booleans and CPU lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/str.h"

// Writes a JSON string: a double quote, the escaped bytes, a double quote.
// Tab, newline and carriage return become \t \n \r; a quote and a backslash
// get a backslash; other bytes below 0x20 become \u00XX. Well-formed UTF-8
// (and 0x7F) is copied unchanged; each ill-formed byte run becomes \ufffd.
// A null pointer is written as the empty string.
void json_string(FILE* out, const char* p, size_t len);
inline void json_string(FILE* out, StrView v) { json_string(out, v.ptr, v.len); }
inline void json_string(FILE* out, const char* s) { json_string(out, sv_from_cstr(s)); }

// A string, or null when the text is absent or empty.
void json_string_or_null(FILE* out, StrView v);

// A double with the given printf conversion ("%.6g", "%.3f", "%.1f"), or null
// when the value is NaN or infinite (JSON has no such numbers).
void json_double(FILE* out, const char* fmt, double v);
// The fewest significant digits (at least six) that read back as exactly v,
// or null when v is not finite: for values a reader must get back unchanged.
void json_double_exact(FILE* out, double v);
// "%.6g" of the value, or null when absent or not finite.
void json_opt_double(FILE* out, bool has, double v);
// The integer, or null when absent.
void json_opt_int(FILE* out, bool has, int64_t v);

void json_bool(FILE* out, bool b);

// The document's indents: two spaces per level.
constexpr const char* kIndent2 = "  ";
constexpr const char* kIndent4 = "    ";
constexpr const char* kIndent6 = "      ";
constexpr const char* kIndent8 = "        ";

// Writes the indent and "\"name\": "; names are kelvane's own ASCII keys.
void json_key(FILE* out, const char* indent, const char* name);
// One member on its own line, followed by ",\n".
void json_member_string(FILE* out, const char* indent, const char* name, StrView v);
inline void json_member_string(FILE* out, const char* indent, const char* name, const char* v) {
  json_member_string(out, indent, name, sv_from_cstr(v));
}
void json_member_bool(FILE* out, const char* indent, const char* name, bool b);
// The CPU set as a cpulist text in a JSON string ("0-3,8"; "" when empty).
void json_cpulist(FILE* out, Arena* a, const CpuSet* s);

// The items of a JSON object or array written one per line: each item after
// the first is preceded by ",", every item by a line break and the indent.
// An empty sequence closes right after its opening bracket ("{}", "[]").
struct JsonSeq {
  FILE* out;
  const char* indent;  // written before each item
  size_t count;        // items begun so far
};

inline JsonSeq json_seq(FILE* out, const char* indent) { return JsonSeq{out, indent, 0}; }
// Starts the next item: ",", line break and indent (no "," for the first).
void json_seq_item(JsonSeq* s);
// Ends the sequence with closer ("}", "],", ...): after a line break and
// indent when it has items, directly otherwise.
void json_seq_close(JsonSeq* s, const char* indent, const char* closer);
