#include "report/json_report.h"

#include "collect/snapshot.h"
#include "report/json_snapshot.h"
#include "report/json_write.h"

namespace {

// Stands in for a missing Snapshot: every field unknown.
const Snapshot kEmptySnapshot{};

void header(FILE* out, const Report* r, const Snapshot* s) {
  json_grade_members(out, kIndent2, r);
  fputs(",\n", out);
  json_member_bool(out, kIndent2, "measured", r->measured);
  json_member_string(out, kIndent2, "tool_version", s->tool_version);
}

void category_scores(FILE* out, const Report* r) {
  json_key(out, kIndent2, "category_scores");
  fputc('{', out);
  JsonSeq seq = json_seq(out, kIndent4);
  for (int c = 0; c < kCategoryCount; c++) {
    if (!r->category_scored[c]) continue;
    json_seq_item(&seq);
    fprintf(out, "\"%s\": %d", category_id(static_cast<Category>(c)),
            static_cast<int>(r->category_score[c]));
  }
  json_seq_close(&seq, kIndent2, "},\n");
}

void evidence(FILE* out, const Finding* f) {
  json_key(out, kIndent6, "evidence");
  fputc('[', out);
  JsonSeq seq = json_seq(out, kIndent8);
  for (const Evidence& e : f->evidence) {
    json_seq_item(&seq);
    fputc('[', out);
    json_string(out, e.key);
    fputs(", ", out);
    json_string(out, e.value);
    fputc(']', out);
  }
  json_seq_close(&seq, kIndent6, "]");
}

// One finding object; the boot parameters (cmdline) are not part of it.
void finding(FILE* out, const Finding* f) {
  fputs("    {\n", out);
  json_member_string(out, kIndent6, "id", f->id);
  json_member_string(out, kIndent6, "category", category_id(f->category));
  json_member_string(out, kIndent6, "severity", severity_name(f->severity));
  json_member_string(out, kIndent6, "title", f->title);
  struct Text {
    const char* name;
    StrView text;
  };
  const Text texts[] = {
      {"detail", f->detail},
      {"impact", f->impact},
      {"remediation", f->remediation},
  };
  for (const Text& t : texts) {
    json_key(out, kIndent6, t.name);
    json_string_or_null(out, t.text);
    fputs(",\n", out);
  }
  json_key(out, kIndent6, "weight");
  json_double(out, "%.3f", f->weight);
  fputs(",\n", out);
  evidence(out, f);
  fputs("\n    }", out);
}

void findings(FILE* out, const Report* r) {
  json_key(out, kIndent2, "findings");
  fputs("[\n", out);
  size_t written = 0;
  for (const Finding* f : r->findings) {
    if (!f) continue;
    if (written++ > 0) fputs(",\n", out);
    finding(out, f);
  }
  if (written > 0) fputc('\n', out);
  fputs("  ],\n", out);
}

}  // namespace

void json_grade_members(FILE* out, const char* indent, const Report* r) {
  json_key(out, indent, "score");
  json_opt_int(out, r->score_valid, r->score);
  fputs(",\n", out);
  json_member_string(out, indent, "verdict", verdict_name(r->score_valid, r->score));
  json_member_string(out, indent, "profile", profile_name(r->profile));
  // --target-us accepts "inf" and "nan"; JSON has no such numbers. A
  // target is written so that it reads back exactly (kelvane diff).
  json_key(out, indent, "target_us");
  json_double_exact(out, r->target_us);
}

void write_json_report(const Report* report, FILE* out) {
  const Snapshot* snap = report->snapshot ? report->snapshot : &kEmptySnapshot;
  // CPU list texts come from the run's Arena like every other allocation; a
  // Report that was never given one (never scored) gets a short-lived Arena.
  Arena own;
  arena_init(&own);
  Arena* arena = report->arena ? report->arena : &own;
  fputs("{\n", out);
  header(out, report, snap);
  category_scores(out, report);
  findings(out, report);
  json_key(out, kIndent2, "snapshot");
  json_write_snapshot(out, arena, snap);
  fputs("\n}\n", out);
  arena_release(&own);
}
