#include "report/junit_report.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "collect/snapshot.h"
#include "report/text_test_util.h"
#include "report/xml_write.h"
#include "test_util.h"

namespace {

std::string xml(const std::string& in, bool attribute) {
  Capture c;
  xml_text(c.f(), sv_make(in.data(), in.size()), attribute);
  return c.text();
}

#define R3 "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"

TEST(XmlText, EscapesMarkupAndReplacesWhatXmlCannotCarry) {
  const struct {
    std::string in;
    const char* text;
    const char* attr;
  } cases[] = {
      {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&apos;", "a&lt;b&gt;&amp;&quot;c&apos;"},
      {"l1\n\tl2\r", "l1\n\tl2\r", "l1&#10;&#9;l2&#13;"},
      {std::string("x\x01y\x1b\x7f", 5), "x\xEF\xBF\xBDy\xEF\xBF\xBD\x7f",
       "x\xEF\xBF\xBDy\xEF\xBF\xBD\x7f"},
      {std::string("\0", 1), "\xEF\xBF\xBD", "\xEF\xBF\xBD"},
      {"caf\xC3\xA9 \xE2\x9C\x93", "caf\xC3\xA9 \xE2\x9C\x93", "caf\xC3\xA9 \xE2\x9C\x93"},
      // a surrogate's three bytes are three ill-formed runs, as in the JSON writer
      {"\xFF\xC3(\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD(" R3, "\xEF\xBF\xBD\xEF\xBF\xBD(" R3},
      {"\xEF\xBF\xBF\xEF\xBF\xBE\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(xml(c.in, false), c.text);
    EXPECT_EQ(xml(c.in, true), c.attr);
  }
}

class JunitReportTest : public ArenaTest {};

// Hostile texts from the machine still give a document a strict XML parser
// accepts, with one testcase per finding in the suite of its category.
TEST_F(JunitReportTest, HostileTextsStayWellFormed) {
  Snapshot* snap = arena_new<Snapshot>(&arena);
  snap->host = sv("box\"<\x01>");
  Report r = {};
  r.arena = &arena;
  r.snapshot = snap;
  Finding* f = add_finding(&r, "sched.x", Category::scheduling, Severity::fail,
                           sv("thread ]]></failure><x \xFF\x02"));
  finding_set_detail(f, sv("a & b"));
  finding_add_evidence_cstr(&r, f, "/proc/1/task/1/stat", sv("comm\x1b[31m"));
  add_finding(&r, "sched.y", Category::scheduling, Severity::unknown, sv("u"));
  add_finding(&r, "x.other", static_cast<Category>(9), Severity::warn, sv("w"));
  Capture c;
  write_junit_report(&r, c.f());
  std::string doc = c.text();
  EXPECT_NE(doc.find("<testsuites name=\"kelvane score not determined\" tests=\"3\" "
                     "failures=\"1\" errors=\"0\" skipped=\"1\">"),
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find("<testsuite name=\"other\" tests=\"1\""), std::string::npos);
  EXPECT_EQ(doc.find('\x1b'), std::string::npos);
  if (std::system("command -v xmllint >/dev/null") != 0) GTEST_SKIP() << "xmllint missing";
  TempDir tmp;
  tmp.write("r.xml", doc);
  int st = std::system(("xmllint --noout " + tmp.file("r.xml")).c_str());
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
}

}  // namespace
