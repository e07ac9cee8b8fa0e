#include "report/json_write.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "base/utf8.h"
#include "test_util.h"

namespace {

// Runs fn with a memory stream and returns what it wrote.
std::string capture(const std::function<void(FILE*)>& fn) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buf, &size);
  fn(f);
  fclose(f);
  std::string s(buf, size);
  free(buf);
  return s;
}

std::string jstr(const std::string& in) {
  return capture([&](FILE* f) { json_string(f, in.data(), in.size()); });
}

}  // namespace

TEST(JsonString, PlainAndAbsent) {
  EXPECT_EQ(jstr("hello world"), "\"hello world\"");
  EXPECT_EQ(jstr(""), "\"\"");
  EXPECT_EQ(capture([](FILE* f) { json_string(f, kNoneView); }), "\"\"");
  EXPECT_EQ(capture([](FILE* f) { json_string(f, static_cast<const char*>(nullptr)); }), "\"\"");
}

TEST(JsonString, QuotesBackslashesAndShortEscapes) {
  EXPECT_EQ(jstr("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(jstr("\t\n\r"), "\"\\t\\n\\r\"");
  EXPECT_EQ(jstr("\\\\\"\""), "\"\\\\\\\\\\\"\\\"\"");
  EXPECT_EQ(jstr("/"), "\"/\"");
}

TEST(JsonString, EveryControlByteIsEscaped) {
  for (int c = 0; c < 0x20; c++) {
    std::string in(1, static_cast<char>(c));
    std::string want;
    if (c == '\t') {
      want = "\\t";
    } else if (c == '\n') {
      want = "\\n";
    } else if (c == '\r') {
      want = "\\r";
    } else {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      want = b;
    }
    EXPECT_EQ(jstr("x" + in + "y"), "\"x" + want + "y\"") << "byte " << c;
  }
  // 0x7F is not a JSON control character and passes unchanged.
  EXPECT_EQ(jstr("\x7f"), "\"\x7f\"");
}

TEST(JsonString, TitleWithNewlineAndSoh) {
  EXPECT_EQ(jstr("a\nb\x01"), "\"a\\nb\\u0001\"");
}

TEST(JsonString, EmbeddedNulIsEscapedNotTruncating) {
  std::string in("a\0b", 3);
  EXPECT_EQ(jstr(in), "\"a\\u0000b\"");
}

TEST(JsonString, ValidMultiByteUtf8PassesUnchanged) {
  const char* texts[] = {
      "caf\xC3\xA9",                 // e-acute, two bytes
      "\xC2\x80",                    // U+0080, smallest two-byte form
      "\xDF\xBF",                    // U+07FF
      "\xE0\xA0\x80",                // U+0800, smallest three-byte form
      "\xE2\x82\xAC",                // euro sign
      "\xED\x9F\xBF",                // U+D7FF, just below the surrogates
      "\xEE\x80\x80",                // U+E000, just above them
      "\xEF\xBF\xBD",                // U+FFFD itself
      "\xF0\x90\x80\x80",            // U+10000
      "\xF0\x9F\x98\x80",            // an emoji
      "\xF4\x8F\xBF\xBF",            // U+10FFFF, the largest code point
      "\xC2\xB5s \xE2\x9C\x93 ok",  // micro sign, check mark
  };
  for (const char* t : texts) EXPECT_EQ(jstr(t), std::string("\"") + t + "\"") << t;
}

TEST(JsonString, InvalidUtf8BecomesReplacementCharacter) {
  struct Case {
    std::string in, want;
  } cases[] = {
      {"a\x80" "b", "a\\ufffdb"},                    // lone continuation byte
      {"\xBF", "\\ufffd"},                           // another one
      {"\x80\x80", "\\ufffd\\ufffd"},                // each stray byte counts
      {"\xC3", "\\ufffd"},                           // truncated at end of text
      {"\xC3" "a", "\\ufffda"},                      // truncated before ASCII
      {"\xE2\x82", "\\ufffd"},                       // truncated three-byte
      {"\xE2\x82" "x", "\\ufffdx"},
      {"\xF0\x9F\x98", "\\ufffd"},                   // truncated four-byte
      {"\xF0\x9F\x98\"", "\\ufffd\\\""},             // truncated before a quote
      {"\xC0\xAF", "\\ufffd\\ufffd"},                // overlong "/"
      {"\xC1\xBF", "\\ufffd\\ufffd"},                // overlong
      {"\xE0\x80\xAF", "\\ufffd\\ufffd\\ufffd"},     // overlong three-byte
      {"\xF0\x80\x80\xAF", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // overlong four-byte
      {"\xED\xA0\x80", "\\ufffd\\ufffd\\ufffd"},     // surrogate U+D800
      {"\xED\xBF\xBF", "\\ufffd\\ufffd\\ufffd"},     // surrogate U+DFFF
      {"\xF4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // U+110000
      {"\xF5\x80\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // lead beyond range
      {"\xFF", "\\ufffd"},
      {"\xFE\xFF", "\\ufffd\\ufffd"},
      {"\xC3\xA9\xC3", "\xC3\xA9\\ufffd"},           // valid then truncated
      {"\xE2\x82\xC3\xA9", "\\ufffd\xC3\xA9"},       // truncated then valid
  };
  for (const Case& c : cases) EXPECT_EQ(jstr(c.in), "\"" + c.want + "\"") << c.want;
}

TEST(JsonString, Utf8SequenceLength) {
  size_t bad = 0;
  auto len = [&](const char* s, size_t n) {
    return utf8_sequence_length(reinterpret_cast<const unsigned char*>(s), n, &bad);
  };
  EXPECT_EQ(len("a", 1), 1u);
  EXPECT_EQ(len("\xC3\xA9", 2), 2u);
  EXPECT_EQ(len("\xF4\x8F\xBF\xBF", 4), 4u);
  EXPECT_EQ(len("\xF0\x9F\x98\x80", 3), 0u);  // the length bounds the read
  EXPECT_EQ(bad, 3u);
  EXPECT_EQ(len("\xE0\x9F\x80", 3), 0u);
  EXPECT_EQ(bad, 1u);
  EXPECT_EQ(len("", 0), 0u);
  EXPECT_EQ(bad, 1u);
}

TEST(JsonNumber, FormatsAndNonFinite) {
  auto num = [](const char* fmt, double v) {
    return capture([&](FILE* f) { json_double(f, fmt, v); });
  };
  EXPECT_EQ(num("%.6g", 12.5), "12.5");
  EXPECT_EQ(num("%.6g", 1e6), "1e+06");
  EXPECT_EQ(num("%.6g", 100), "100");
  EXPECT_EQ(num("%.3f", 2.5), "2.500");
  EXPECT_EQ(num("%.1f", 60), "60.0");
  EXPECT_EQ(num("%.6g", INFINITY), "null");
  EXPECT_EQ(num("%.6g", -INFINITY), "null");
  EXPECT_EQ(num("%.3f", NAN), "null");
  EXPECT_EQ(capture([](FILE* f) { json_opt_double(f, false, 5); }), "null");
  EXPECT_EQ(capture([](FILE* f) { json_opt_double(f, true, NAN); }), "null");
  EXPECT_EQ(capture([](FILE* f) { json_opt_double(f, true, 7.25); }), "7.25");
}

TEST(JsonString, OrNull) {
  EXPECT_EQ(capture([](FILE* f) { json_string_or_null(f, kNoneView); }), "null");
  EXPECT_EQ(capture([](FILE* f) { json_string_or_null(f, sv_make("", 0)); }), "null");
  EXPECT_EQ(capture([](FILE* f) { json_string_or_null(f, sv_from_cstr("x")); }), "\"x\"");
}

class JsonCpulist : public ArenaTest {};

TEST_F(JsonCpulist, EmptyAndRanges) {
  CpuSet s{};
  EXPECT_EQ(capture([&](FILE* f) { json_cpulist(f, &arena, &s); }), "\"\"");
  cpuset_add(&s, 0);
  cpuset_add(&s, 1);
  cpuset_add(&s, 2);
  cpuset_add(&s, 8);
  EXPECT_EQ(capture([&](FILE* f) { json_cpulist(f, &arena, &s); }), "\"0-2,8\"");
}
