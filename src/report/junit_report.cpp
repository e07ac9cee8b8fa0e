#include "report/junit_report.h"

#include <cstdint>

#include "collect/snapshot.h"
#include "report/xml_write.h"

namespace {

// Findings of a category above the last are gathered under "other".
constexpr int kSuiteCount = kCategoryCount + 1;

int suite_of(const Finding* f) {
  auto c = static_cast<int>(f->category);
  return c < kCategoryCount ? c : kCategoryCount;
}

bool is_skipped(Severity s) {
  return s != Severity::pass && s != Severity::warn && s != Severity::fail;
}

struct Counts {
  size_t tests;
  size_t failures;
  size_t skipped;
};

void count(Counts* c, const Finding* f) {
  c->tests++;
  if (f->severity == Severity::fail) c->failures++;
  if (is_skipped(f->severity)) c->skipped++;
}

void put_attr(FILE* out, const char* name, StrView value) {
  fprintf(out, " %s=\"", name);
  xml_text(out, value, true);
  fputc('"', out);
}

void put_counts(FILE* out, const Counts* c) {
  fprintf(out, " tests=\"%zu\" failures=\"%zu\" errors=\"0\" skipped=\"%zu\"", c->tests,
          c->failures, c->skipped);
}

// A paragraph of the body: a blank line before every paragraph but the first.
void paragraph(FILE* out, bool* first, const char* label, StrView text) {
  if (!text.len) return;
  if (!*first) fputs("\n\n", out);
  *first = false;
  fputs(label, out);
  xml_text(out, text, false);
}

// Detail, evidence, impact and fix: the text a CI server shows.
void body(FILE* out, const Finding* f, bool with_title) {
  bool first = true;
  if (with_title) paragraph(out, &first, "", f->title);
  paragraph(out, &first, "", f->detail);
  for (const Evidence& e : f->evidence) {
    fputs(first ? "" : "\n", out);
    first = false;
    xml_text(out, e.key, false);
    fputs(": ", out);
    xml_text(out, e.value, false);
  }
  paragraph(out, &first, "Impact: ", f->impact);
  paragraph(out, &first, "Fix: ", f->remediation);
}

void testcase(FILE* out, const Finding* f) {
  fprintf(out, "    <testcase classname=\"kelvane.%s\" name=\"", category_id(f->category));
  xml_text(out, sv_from_cstr(f->id), true);
  fputs(": ", out);
  xml_text(out, f->title, true);
  fputc('"', out);
  switch (f->severity) {
    case Severity::pass:
      fputs("/>\n", out);
      return;
    case Severity::fail:
      fputs(">\n      <failure", out);
      put_attr(out, "message", f->title);
      fputs(" type=\"fail\">", out);
      body(out, f, false);
      fputs("</failure>\n", out);
      break;
    case Severity::warn:
      fputs(">\n      <system-out>", out);
      body(out, f, true);
      fputs("</system-out>\n", out);
      break;
    default:
      fputs(">\n      <skipped", out);
      put_attr(out, "message", f->title);
      fputs(">", out);
      body(out, f, false);
      fputs("</skipped>\n", out);
      break;
  }
  fputs("    </testcase>\n", out);
}

void testsuite(FILE* out, const Report* r, int suite, const Counts* c, StrView host) {
  auto cat = static_cast<Category>(suite);
  fprintf(out, "  <testsuite name=\"%s\"", category_id(cat));
  put_counts(out, c);
  put_attr(out, "hostname", host);
  fputs(">\n    <properties>\n", out);
  fprintf(out, "      <property name=\"category\" value=\"");
  xml_text(out, sv_from_cstr(category_name(cat)), true);
  fputs("\"/>\n", out);
  if (suite < kCategoryCount && r->category_scored[suite]) {
    fprintf(out, "      <property name=\"score\" value=\"%d\"/>\n",
            static_cast<int>(r->category_score[suite]));
  }
  fputs("    </properties>\n", out);
  for (const Finding* f : r->findings) {
    if (f && suite_of(f) == suite) testcase(out, f);
  }
  fputs("  </testsuite>\n", out);
}

}  // namespace

void write_junit_report(const Report* report, FILE* out) {
  Counts suites[kSuiteCount] = {};
  Counts all = {};
  for (const Finding* f : report->findings) {
    if (!f) continue;
    count(&suites[suite_of(f)], f);
    count(&all, f);
  }
  const Snapshot* snap = report->snapshot;
  StrView host = snap && snap->host.ptr ? snap->host : sv_lit("unknown");
  fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  fputs("<testsuites name=\"kelvane ", out);
  if (report->score_valid) {
    fprintf(out, "%d/100 %s", static_cast<int>(report->score),
            verdict_name(true, report->score));
  } else {
    fputs("score not determined", out);
  }
  fputc('"', out);
  put_counts(out, &all);
  fputs(">\n", out);
  for (int s = 0; s < kSuiteCount; s++) {
    if (suites[s].tests > 0) testsuite(out, report, s, &suites[s], host);
  }
  fputs("</testsuites>\n", out);
}
