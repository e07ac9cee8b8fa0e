#include "report/html_escape.h"

#include <gtest/gtest.h>

#include <string>

#include "text_test_util.h"

namespace {

std::string escaped(const char* p, size_t n) {
  Capture c;
  html_escape(c.f(), p, n);
  return c.text();
}

std::string escaped(const std::string& s) {
  return escaped(s.data(), s.size());
}

TEST(HtmlEscape, MarkupBecomesEntitiesAndTheRestStaysValidUtf8) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"a<b>c", "a&lt;b&gt;c"},
      {"\"x\" & 'y'", "&quot;x&quot; &amp; 'y'"},
      {"&amp;", "&amp;amp;"},  // an entity in the data stays literal text
      {"caf\xC3\xA9 10\xC2\xB5s", "caf\xC3\xA9 10\xC2\xB5s"},
      {"tab\tnl\ncr\r", "tab\tnl\ncr\r"},
      {"bad\xFF!", "bad\xEF\xBF\xBD!"},
      {"cut\xE2\x82", "cut\xEF\xBF\xBD"},  // a truncated sequence is one U+FFFD
      {std::string("nul\0bell\x07"
                   "del\x7F",
                   13),
       "nul\xEF\xBF\xBD"
       "bell\xEF\xBF\xBD"
       "del\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) EXPECT_EQ(escaped(c.in), c.out) << c.in;
  EXPECT_EQ(escaped(nullptr, 0), "");
}

TEST(HtmlCutLabel, CutsTheRawTextAtACharacterBoundary) {
  struct Case {
    std::string in;
    size_t len;  // bytes kept
  };
  const Case cases[] = {
      {"eth0", 4},
      {"0123456789abcdefXYZ", 16},
      {"0123456789abcde\xC3\xA9", 15},     // e-acute would end at byte 17
      {"0123456789abcd\xE2\x82\xAC", 14},  // the euro sign would end at byte 17
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 16},
      {"&&&&&&&&&&&&&&&&&&", 16},
      {"0123456789abcde\xFF\xFF", 16},  // stray bytes: one U+FFFD each
  };
  for (const Case& c : cases) {
    StrView cut = html_cut_label(StrView{c.in.data(), c.in.size()}, 16);
    EXPECT_EQ(std::string(cut.ptr, cut.len), c.in.substr(0, c.len)) << c.in;
  }
  // Escaping after the cut never leaves a broken entity.
  StrView amps = html_cut_label(sv_lit("&&&&&&&&&&&&&&&&&&"), 16);
  std::string label = escaped(amps.ptr, amps.len);
  EXPECT_EQ(label.size(), 16 * 5u);
  EXPECT_EQ(label.substr(label.size() - 5), "&amp;");
}

}  // namespace
