#include "report/json_report.h"

#include "collect/snapshot.h"
#include "report/json_snapshot.h"
#include "report/json_write.h"

namespace {

constexpr const char* kIndent2 = "  ";
constexpr const char* kIndent4 = "    ";
constexpr const char* kIndent6 = "      ";
constexpr const char* kIndent8 = "        ";

// Stands in for a missing Snapshot: every field unknown.
const Snapshot kEmptySnapshot{};

void key(FILE* out, const char* indent, const char* name) {
  fprintf(out, "%s\"%s\": ", indent, name);
}

void header(FILE* out, const Report* r, const Snapshot* s) {
  key(out, kIndent2, "score");
  if (r->score_valid) {
    fprintf(out, "%d", static_cast<int>(r->score));
  } else {
    fputs("null", out);
  }
  fputs(",\n", out);
  key(out, kIndent2, "verdict");
  json_string(out, verdict_name(r->score_valid, r->score));
  fputs(",\n", out);
  key(out, kIndent2, "profile");
  json_string(out, profile_name(r->profile));
  fputs(",\n", out);
  // --target-us accepts "inf" and "nan"; JSON has no such numbers.
  key(out, kIndent2, "target_us");
  json_double(out, "%.6g", r->target_us);
  fputs(",\n", out);
  key(out, kIndent2, "measured");
  json_bool(out, r->measured);
  fputs(",\n", out);
  key(out, kIndent2, "tool_version");
  json_string(out, s->tool_version);
  fputs(",\n", out);
}

void category_scores(FILE* out, const Report* r) {
  key(out, kIndent2, "category_scores");
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
  key(out, kIndent6, "evidence");
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
  key(out, kIndent6, "id");
  json_string(out, f->id);
  fputs(",\n", out);
  key(out, kIndent6, "category");
  json_string(out, category_id(f->category));
  fputs(",\n", out);
  key(out, kIndent6, "severity");
  json_string(out, severity_name(f->severity));
  fputs(",\n", out);
  key(out, kIndent6, "title");
  json_string(out, f->title);
  fputs(",\n", out);
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
    key(out, kIndent6, t.name);
    json_string_or_null(out, t.text);
    fputs(",\n", out);
  }
  key(out, kIndent6, "weight");
  json_double(out, "%.3f", f->weight);
  fputs(",\n", out);
  evidence(out, f);
  fputs("\n    }", out);
}

void findings(FILE* out, const Report* r) {
  key(out, kIndent2, "findings");
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
  key(out, kIndent2, "snapshot");
  json_write_snapshot(out, arena, snap);
  fputs("\n}\n", out);
  arena_release(&own);
}
