#include "report/text_wrap.h"

#include <gtest/gtest.h>

#include "report/text_test_util.h"
#include "test_util.h"

class TextWrap : public ArenaTest {
 protected:
  std::string wrap(const std::string& text, const char* first, const char* cont,
                   bool ascii = false) {
    Capture cap;
    wrap_text(cap.f(), &arena, sv_make(text.data(), text.size()), ascii, first, cont);
    return cap.text();
  }
  std::string wrap(const std::string& text, const char* prefix) {
    return wrap(text, prefix, prefix);
  }
};

TEST_F(TextWrap, AbsentOrEmptyTextPrintsNothing) {
  Capture cap;
  wrap_text(cap.f(), &arena, kNoneView, false, "  ", "  ");
  wrap_text(cap.f(), &arena, sv(""), false, "  ", "  ");
  EXPECT_EQ(cap.text(), "");
}

TEST_F(TextWrap, FillsUpToTheWidthLeftByThePrefix) {
  // Width is 78 - 2 = 76: a 76-character line fits, one more character breaks.
  std::string a(40, 'a'), b(35, 'b');  // 40 + 1 + 35 = 76
  EXPECT_EQ(wrap(a + " " + b, "  "), "  " + a + " " + b + "\n");
  std::string c(36, 'c');  // 40 + 1 + 36 = 77
  EXPECT_EQ(wrap(a + " " + c, "  "), "  " + a + "\n  " + c + "\n");
}

TEST_F(TextWrap, LongParagraphStaysWithin78Columns) {
  std::string text;
  for (int i = 0; i < 60; i++) text += "word" + std::to_string(i) + " ";
  std::string out = wrap(text, "        ");
  EXPECT_LE(longest_line(out), 78u);
  EXPECT_EQ(out.rfind("        word0 word1", 0), 0u);
  EXPECT_NE(out.find("word59\n"), std::string::npos);
  // every line carries the prefix
  for (size_t pos = 0; pos < out.size(); pos = out.find('\n', pos) + 1) {
    EXPECT_EQ(out.compare(pos, 8, "        "), 0);
  }
}

TEST_F(TextWrap, WordLongerThanTheWidthStandsAloneUnsplit) {
  std::string longw(100, 'x');
  EXPECT_EQ(wrap("short " + longw + " tail", "      "),
            "      short\n      " + longw + "\n      tail\n");
  EXPECT_EQ(wrap(longw, "  "), "  " + longw + "\n");
}

TEST_F(TextWrap, BlankLinesVanishAndIndentedLinesPrintVerbatim) {
  EXPECT_EQ(wrap("First paragraph.\n\nSecond one.\n", "     "),
            "     First paragraph.\n     Second one.\n");
  EXPECT_EQ(wrap("Run:\n  echo 0 >   /proc/sys/kernel/x\n\tcmd\targ", "     "),
            "     Run:\n       echo 0 >   /proc/sys/kernel/x\n     \tcmd\targ\n");
}

TEST_F(TextWrap, RepeatedSpacesCollapseAndTabsStayInsideWords) {
  EXPECT_EQ(wrap("a   b\tc  d ", "  "), "  a b\tc d\n");
}

TEST_F(TextWrap, FirstPrefixOnlyOnTheFirstPrintedLine) {
  std::string a(70, 'a');
  EXPECT_EQ(wrap(a + " tail\nnext", "  - ", "    "), "  - " + a + "\n    tail\n    next\n");
}

TEST_F(TextWrap, FoldsAndSanitises) {
  EXPECT_EQ(wrap("worst 12 \xC2\xB5s on caf\xC3\xA9", "  ", "  ", true), "  worst 12 us on caf?\n");
  EXPECT_EQ(wrap("thread \x1b[2Jevil\x1b[0m", "  ", "  ", false), "  thread ?[2Jevil?[0m\n");
}
