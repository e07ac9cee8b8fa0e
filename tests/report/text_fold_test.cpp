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
