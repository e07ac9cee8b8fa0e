#include "report/text_fold.h"

#include <gtest/gtest.h>

#include "test_util.h"

class TextFold : public ArenaTest {};

TEST_F(TextFold, AsciiFoldLeavesTextAloneWithoutTheFlagOrWithoutHighBytes) {
  StrView t = sv("10 \xC2\xB5s");
  EXPECT_EQ(ascii_fold(&arena, t, false).ptr, t.ptr);
  StrView plain = sv("plain text");
  EXPECT_EQ(ascii_fold(&arena, plain, true).ptr, plain.ptr);
  EXPECT_EQ(ascii_fold(&arena, kNoneView, true).ptr, nullptr);
}

TEST_F(TextFold, AsciiFoldMapsMicroAndMuToUAndEverythingElseToOneQuestionMark) {
  EXPECT_EQ(str(ascii_fold(&arena, sv("10 \xC2\xB5s"), true)), "10 us");
  EXPECT_EQ(str(ascii_fold(&arena, sv("5 \xCE\xBCs"), true)), "5 us");
  EXPECT_EQ(str(ascii_fold(&arena, sv("caf\xC3\xA9!"), true)), "caf?!");
  EXPECT_EQ(str(ascii_fold(&arena, sv("\xE2\x9C\x93 ok"), true)), "? ok");    // 3 bytes
  EXPECT_EQ(str(ascii_fold(&arena, sv("a\xF0\x9F\x98\x80z"), true)), "a?z");  // 4 bytes
  EXPECT_EQ(str(ascii_fold(&arena, sv("end\xC3"), true)), "end?");            // cut short
  EXPECT_EQ(str(ascii_fold(&arena, sv("\xC2\xB5\xC2\xB5"), true)), "uu");
}

TEST_F(TextFold, ControlBytesBecomeQuestionMarksButNewlineAndTabStay) {
  std::string in = std::string("a\x1b[31mred\x07\tb\nc\x7f") + '\0' + "d\re";
  StrView v = sv_make(in.data(), in.size());
  EXPECT_EQ(str(text_clean(&arena, v, false)), "a?[31mred?\tb\nc??d?e");
  EXPECT_EQ(str(text_clean(&arena, v, true)), "a?[31mred?\tb\nc??d?e");
  EXPECT_EQ(str(text_clean_line(&arena, v, false)), "a?[31mred?\tb?c??d?e");
}

TEST_F(TextFold, CleanTextIsReturnedWithoutACopy) {
  StrView t = sv("host-1 \xC2\xB5s \xE2\x9C\x93\tok\nnext");
  EXPECT_EQ(text_clean(&arena, t, false).ptr, t.ptr);
  EXPECT_EQ(text_clean(&arena, kNoneView, false).ptr, nullptr);
  StrView empty = sv("");
  EXPECT_EQ(text_clean(&arena, empty, true).len, 0u);
}

TEST_F(TextFold, MalformedUtf8AndC1ControlsBecomeQuestionMarksWithoutAscii) {
  EXPECT_EQ(str(text_clean(&arena, sv("a\xC2\x9B[1mb"), false)), "a?[1mb");  // C1 CSI
  EXPECT_EQ(str(text_clean(&arena, sv("\x9B[1m"), false)), "?[1m");          // raw 8-bit CSI
  EXPECT_EQ(str(text_clean(&arena, sv("x\xFFy"), false)), "x?y");
  EXPECT_EQ(str(text_clean(&arena, sv("\xC0\xAF"), false)), "??");       // overlong
  EXPECT_EQ(str(text_clean(&arena, sv("\xED\xA0\x80"), false)), "???");  // surrogate
  EXPECT_EQ(str(text_clean(&arena, sv("cut\xE2\x94"), false)), "cut??");
  EXPECT_EQ(str(text_clean(&arena, sv("\xF4\x90\x80\x80"), false)), "????");  // > U+10FFFF
  EXPECT_EQ(str(text_clean(&arena, sv("ok \xC3\xA9 \xF0\x9F\x98\x80"), false)),
            "ok \xC3\xA9 \xF0\x9F\x98\x80");
}

TEST_F(TextFold, AsciiModeFoldsAndSanitisesTogether) {
  StrView v = text_clean(&arena, sv("\x1b]0;title\x07 caf\xC3\xA9 \xC2\xB5s"), true);
  EXPECT_EQ(str(v), "?]0;title? caf? us");
}

namespace {

// Checks that s is well-formed UTF-8 without C0 (other than \n, \t) or C1
// controls.
bool safe_utf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      if ((b < 0x20 && b != '\n' && b != '\t') || b == 0x7F) return false;
      i++;
      continue;
    }
    int n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (n == 0 || b > 0xF4 || i + n > s.size()) return false;
    uint32_t cp = b & (0x7F >> n);
    for (int k = 1; k < n; k++) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < 0xA0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000)) return false;
    i += n;
  }
  return true;
}

}  // namespace

TEST_F(TextFold, AnyByteSoupComesOutSafe) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<unsigned char>(seed >> 16);
  };
  for (int round = 0; round < 2000; round++) {
    std::string in;
    int len = next() % 24;
    for (int i = 0; i < len; i++) in.push_back(static_cast<char>(next()));
    StrView v = sv_make(in.data(), in.size());
    std::string plain = str(text_clean(&arena, v, false));
    std::string folded = str(text_clean(&arena, v, true));
    EXPECT_TRUE(safe_utf8(plain)) << round;
    EXPECT_TRUE(safe_utf8(folded)) << round;
    for (unsigned char c : folded) EXPECT_LT(c, 0x80) << round;
    EXPECT_LE(folded.size(), in.size());
    EXPECT_LE(plain.size(), in.size());
  }
}
