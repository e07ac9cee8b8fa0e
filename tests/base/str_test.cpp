#include "base/str.h"

#include <string>
#include <vector>

#include "test_util.h"

class StrTest : public ArenaTest {
 protected:
  std::vector<std::string> tokens(const char* text, const char* delims) {
    std::vector<std::string> out;
    StrView cur = sv(text);
    for (StrView t = sv_next_token(&cur, delims); t.ptr; t = sv_next_token(&cur, delims)) {
      out.push_back(str(t));
    }
    return out;
  }
  std::vector<std::string> lines(StrView text) {
    std::vector<std::string> out;
    for (StrView l = sv_next_line(&text); l.ptr; l = sv_next_line(&text)) out.push_back(str(l));
    return out;
  }
  using V = std::vector<std::string>;
};

TEST_F(StrTest, AbsentAndEmptyViewsDiffer) {
  StrView none = kNoneView, empty{"", 0}, other_empty{"xyz", 0};
  EXPECT_FALSE(sv_eq(none, empty));
  EXPECT_FALSE(sv_eq(empty, none));
  EXPECT_TRUE(sv_eq(none, none));
  EXPECT_TRUE(sv_eq(empty, other_empty));
  EXPECT_TRUE(sv_eq(none, StrView{nullptr, 5}));  // lengths of absent views are not compared
  EXPECT_FALSE(sv_present(none));
  EXPECT_TRUE(sv_present(empty));
  EXPECT_EQ(sv_from_cstr(nullptr).ptr, nullptr);
  EXPECT_EQ(sv_from_cstr("abc").len, 3u);
}

TEST_F(StrTest, EqualityWithText) {
  EXPECT_TRUE(sv_eq_cstr(sv("abc"), "abc"));
  EXPECT_FALSE(sv_eq_cstr(sv("abc"), "ab"));
  EXPECT_FALSE(sv_eq_cstr(sv_make("abc", 2), "abc"));
  EXPECT_TRUE(sv_eq_cstr(sv_make("abc", 2), "ab"));
  EXPECT_TRUE(sv_eq_cstr(kNoneView, nullptr));
  EXPECT_FALSE(sv_eq_cstr(kNoneView, ""));
  EXPECT_FALSE(sv_eq_cstr(sv(""), nullptr));
  EXPECT_TRUE(sv_eq_cstr(sv(""), ""));
  EXPECT_TRUE(sv_eq(sv_make("a\0b", 3), sv_make("a\0b", 3)));
  EXPECT_FALSE(sv_eq(sv_make("a\0b", 3), sv_make("a\0c", 3)));
}

TEST_F(StrTest, PrefixSuffixAndContains) {
  StrView v = sv("isolcpus=1-3");
  EXPECT_TRUE(sv_starts_with(v, "isolcpus="));
  EXPECT_TRUE(sv_starts_with(v, ""));
  EXPECT_TRUE(sv_starts_with(sv(""), ""));
  EXPECT_FALSE(sv_starts_with(v, "isolcpus=1-3x"));
  EXPECT_FALSE(sv_starts_with(kNoneView, ""));
  EXPECT_FALSE(sv_starts_with(v, nullptr));
  EXPECT_TRUE(sv_ends_with(v, "1-3"));
  EXPECT_TRUE(sv_ends_with(v, ""));
  EXPECT_FALSE(sv_ends_with(v, "x1-3"));
  EXPECT_FALSE(sv_ends_with(sv("gz"), ".gz"));
  EXPECT_FALSE(sv_ends_with(kNoneView, ""));
  EXPECT_TRUE(sv_contains(v, "cpus"));
  EXPECT_TRUE(sv_contains(v, ""));
  EXPECT_TRUE(sv_contains(v, "isolcpus=1-3"));
  EXPECT_FALSE(sv_contains(v, "isolcpus=1-3 "));
  EXPECT_FALSE(sv_contains(sv_make("abcdef", 3), "cd"));
  EXPECT_FALSE(sv_contains(kNoneView, ""));
  EXPECT_FALSE(sv_contains(v, nullptr));
}

TEST_F(StrTest, Trim) {
  EXPECT_EQ(str(sv_trim(sv(" \t\r\n\v\fa b\n "))), "a b");
  StrView all = sv("  \t ");
  StrView t = sv_trim(all);
  EXPECT_EQ(t.len, 0u);
  EXPECT_EQ(t.ptr, all.ptr + all.len);
  EXPECT_EQ(sv_trim(kNoneView).ptr, nullptr);
  StrView e = sv_trim(sv(""));
  EXPECT_NE(e.ptr, nullptr);
  EXPECT_EQ(e.len, 0u);
  EXPECT_EQ(str(sv_trim(sv_make("x\0", 2))), std::string("x\0", 2));  // NUL is not white space
}

TEST_F(StrTest, Tokens) {
  EXPECT_EQ(tokens("a,,b,", ","), (V{"a", "", "b", ""}));
  EXPECT_EQ(tokens("a b\tc", " \t"), (V{"a", "b", "c"}));
  EXPECT_EQ(tokens("", ","), V{""});
  EXPECT_EQ(tokens(",", ","), (V{"", ""}));
  EXPECT_EQ(tokens("abc", ""), V{"abc"});
  StrView none = kNoneView;
  EXPECT_EQ(sv_next_token(&none, ",").ptr, nullptr);
  // A NUL byte in the data is never a delimiter.
  StrView cur = sv_make("a\0b,c", 5);
  EXPECT_EQ(str(sv_next_token(&cur, ",")), std::string("a\0b", 3));
  EXPECT_EQ(str(sv_next_token(&cur, ",")), "c");
  EXPECT_EQ(sv_next_token(&cur, ",").ptr, nullptr);
}

TEST_F(StrTest, Lines) {
  EXPECT_EQ(lines(sv("x\r\ny")), (V{"x", "y"}));
  EXPECT_EQ(lines(sv("x\n")), (V{"x", ""}));
  EXPECT_EQ(lines(sv("\r\n\r")), (V{"", ""}));
  EXPECT_EQ(lines(sv("a\r\r\n")), V({"a\r", ""}));
  EXPECT_EQ(lines(sv("")), V{""});
}

TEST_F(StrTest, CompareIsBytewiseWithPrefixesFirst) {
  EXPECT_LT(sv_compare(sv("/proc/irq/10"), sv("/proc/irq/2")), 0);
  EXPECT_LT(sv_compare(sv("ab"), sv("abc")), 0);
  EXPECT_GT(sv_compare(sv("abc"), sv("ab")), 0);
  EXPECT_EQ(sv_compare(sv("abc"), sv("abc")), 0);
  EXPECT_LT(sv_compare(sv("B"), sv("a")), 0);
  EXPECT_LT(sv_compare(sv("a"), sv("\xc3\xa9")), 0);  // bytes compare unsigned
  EXPECT_EQ(sv_compare(kNoneView, sv("")), 0);
  EXPECT_LT(sv_compare(kNoneView, sv("a")), 0);
}

TEST_F(StrTest, ArenaCopies) {
  char buf[] = "hello world";
  StrView c = arena_strndup(&arena, sv_make(buf, 5));
  buf[0] = 'j';
  EXPECT_EQ(str(c), "hello");
  EXPECT_EQ(c.ptr[5], '\0');
  EXPECT_EQ(arena_strndup(&arena, kNoneView).ptr, nullptr);
  StrView e = arena_strndup(&arena, sv(""));
  EXPECT_NE(e.ptr, nullptr);
  EXPECT_EQ(e.len, 0u);
  EXPECT_STREQ(arena_cstr(&arena, sv_make("abc", 2)), "ab");
  EXPECT_EQ(arena_cstr(&arena, kNoneView), nullptr);
}

TEST_F(StrTest, ArenaSprintf) {
  StrView v = arena_sprintf(&arena, "%s-%d-%.*s", "cpu", 7, 2, "xyz");
  EXPECT_EQ(str(v), "cpu-7-xy");
  EXPECT_EQ(v.ptr[v.len], '\0');
  StrView e = arena_sprintf(&arena, "%s", "");
  EXPECT_NE(e.ptr, nullptr);
  EXPECT_EQ(e.len, 0u);
  std::string big(5000, 'q');
  EXPECT_EQ(str(arena_sprintf(&arena, "<%s>", big.c_str())), "<" + big + ">");
  // A wide character that the C locale cannot encode makes formatting fail.
  EXPECT_EQ(arena_sprintf(&arena, "%ls", L"\u00e9").ptr, nullptr);
}

TEST_F(StrTest, StrBufGrowsByDoublingFrom256) {
  StrBuf sb;
  sb_init(&sb, &arena);
  EXPECT_EQ(sb.data, nullptr);
  EXPECT_EQ(sb.cap, 0u);
  std::vector<size_t> caps;
  std::string expect;
  for (int i = 0; i < 2000; i++) {
    char c = static_cast<char>('a' + i % 26);
    sb_append_char(&sb, c);
    expect += c;
    if (caps.empty() || caps.back() != sb.cap) caps.push_back(sb.cap);
  }
  EXPECT_EQ(caps, (std::vector<size_t>{256, 512, 1024, 2048}));
  EXPECT_EQ(str(sb_view(&sb)), expect);
  EXPECT_EQ(sb.data[sb.len], '\0');
}

TEST_F(StrTest, StrBufGrowsInPlaceWhileLatest) {
  StrBuf sb;
  sb_init(&sb, &arena);
  sb_append_char(&sb, 'x');
  char* first = sb.data;
  sb_append(&sb, std::string(300, 'y').data(), 300);
  EXPECT_EQ(sb.data, first);
  EXPECT_EQ(sb.cap, 512u);
  arena_alloc(&arena, 16);
  sb_append(&sb, std::string(300, 'z').data(), 300);
  EXPECT_NE(sb.data, first);
  EXPECT_EQ(sb.cap, 1024u);
  EXPECT_EQ(str(sb_view(&sb)), "x" + std::string(300, 'y') + std::string(300, 'z'));
}

TEST_F(StrTest, StrBufReserve) {
  StrBuf sb;
  sb_init(&sb, &arena);
  sb_reserve(&sb, 1000);
  EXPECT_EQ(sb.cap, 1024u);
  EXPECT_EQ(sb.len, 0u);
  sb_reserve(&sb, 1023);
  EXPECT_EQ(sb.cap, 1024u);
  sb_reserve(&sb, 1024);
  EXPECT_EQ(sb.cap, 2048u);
  sb_reserve(&sb, 5000);
  EXPECT_EQ(sb.cap, 8192u);
}

TEST_F(StrTest, StrBufIgnoresEmptyAndAbsentAppends) {
  StrBuf sb;
  sb_init(&sb, &arena);
  sb_append(&sb, nullptr, 5);
  sb_append(&sb, "abc", 0);
  sb_append_cstr(&sb, nullptr);
  sb_append_cstr(&sb, "");
  sb_append_view(&sb, kNoneView);
  sb_printf(&sb, "%s", "");
  EXPECT_EQ(sb.data, nullptr);
  EXPECT_EQ(sb.cap, 0u);
  StrView v = sb_view(&sb);
  EXPECT_NE(v.ptr, nullptr);
  EXPECT_EQ(v.len, 0u);
  EXPECT_STREQ(v.ptr, "");
  EXPECT_EQ(arena.total, 0u);
}

TEST_F(StrTest, StrBufPrintfAppends) {
  StrBuf sb;
  sb_init(&sb, &arena);
  sb_append_cstr(&sb, "irq ");
  sb_printf(&sb, "%d on CPU %s", 17, "3");
  sb_append_char(&sb, '\0');  // a NUL byte is data like any other
  sb_printf(&sb, "%ls", L"\u00e9");  // a formatting error appends nothing
  EXPECT_EQ(str(sb_view(&sb)), std::string("irq 17 on CPU 3\0", 16));
  std::string big(1000, 'w');
  sb_printf(&sb, "%s", big.c_str());
  EXPECT_EQ(sb.len, 1016u);
  EXPECT_EQ(sb.data[sb.len], '\0');
  EXPECT_EQ(sb.cap, 1024u);
}

TEST_F(StrTest, SlicingClampsAndSplits) {
  static_assert(sv_lit("isolcpus=").len == 9);
  struct Case { const char* text; size_t b, e; const char* want; } cases[] = {
      {"abcdef", 1, 3, "bc"}, {"abc", 2, 99, "c"}, {"abc", 5, 9, ""}, {"abc", 2, 1, ""}};
  for (const Case& c : cases) EXPECT_EQ(str(sv_slice(sv(c.text), c.b, c.e)), c.want) << c.text;
  EXPECT_FALSE(sv_slice(kNoneView, 0, 1).ptr);

  StrView head, tail;
  EXPECT_TRUE(sv_split_once(sv("nohz_full=2-3=x"), '=', &head, &tail));
  EXPECT_EQ(str(head) + "|" + str(tail), "nohz_full|2-3=x");
  EXPECT_TRUE(sv_split_once(sv("a="), '=', &head, &tail));
  EXPECT_EQ(str(tail), "");
  EXPECT_FALSE(sv_split_once(sv("quiet"), '=', &head, &tail));
  EXPECT_EQ(str(head) + "|" + str(tail), "quiet|<none>");

  StrView v = sv("CONFIG_HZ_1000");
  EXPECT_FALSE(sv_consume_prefix(&v, sv_lit("HZ")));
  EXPECT_TRUE(sv_consume_prefix(&v, sv_lit("CONFIG_")));
  EXPECT_TRUE(sv_consume_suffix(&v, sv_lit("_1000")));
  EXPECT_FALSE(sv_consume_suffix(&v, sv_lit("HZHZ")));
  EXPECT_EQ(str(v), "HZ");
}
