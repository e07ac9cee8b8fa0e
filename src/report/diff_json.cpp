#include "report/diff_json.h"

#include "collect/snapshot.h"
#include "report/json_report.h"
#include "report/json_write.h"

namespace {

void side(FILE* out, const char* name, const char* path, const Report* r) {
  json_key(out, kIndent2, name);
  fputs("{\n", out);
  json_member_string(out, kIndent4, "path", path);
  json_member_string(out, kIndent4, "tool_version",
                     r->snapshot ? r->snapshot->tool_version : kNoneView);
  json_grade_members(out, kIndent4, r);
  fputs("\n  },\n", out);
}

void category_deltas(FILE* out, const Report* o, const Report* n) {
  json_key(out, kIndent2, "category_deltas");
  fputc('{', out);
  JsonSeq seq = json_seq(out, kIndent4);
  for (int c = 0; c < kCategoryCount; c++) {
    bool os = o->category_scored[c], ns = n->category_scored[c];
    if (!os && !ns) continue;
    json_seq_item(&seq);
    fprintf(out, "\"%s\": {\"old\": ", category_id(static_cast<Category>(c)));
    json_opt_int(out, os, o->category_score[c]);
    fputs(", \"new\": ", out);
    json_opt_int(out, ns, n->category_score[c]);
    fputs(", \"delta\": ", out);
    if (os && ns) {
      fprintf(out, "%d", static_cast<int>(n->category_score[c] - o->category_score[c]));
    } else {
      fputs("null", out);
    }
    fputc('}', out);
  }
  json_seq_close(&seq, kIndent2, "},\n");
}

void severity_or_null(FILE* out, const Finding* f) {
  if (f) {
    json_string(out, severity_name(f->severity));
  } else {
    fputs("null", out);
  }
}

void entries(FILE* out, const char* name, const List<DiffEntry>& l, const char* closer) {
  json_key(out, kIndent2, name);
  fputc('[', out);
  JsonSeq seq = json_seq(out, kIndent4);
  for (const DiffEntry& e : l) {
    const Finding* f = diff_entry_finding(&e);
    json_seq_item(&seq);
    fputs("{\"id\": ", out);
    json_string(out, f->id);
    fputs(", \"category\": ", out);
    json_string(out, category_id(f->category));
    fputs(", \"old_severity\": ", out);
    severity_or_null(out, e.old_f);
    fputs(", \"new_severity\": ", out);
    severity_or_null(out, e.new_f);
    fputs(", \"title\": ", out);
    json_string(out, f->title);
    fputc('}', out);
  }
  json_seq_close(&seq, kIndent2, closer);
}

}  // namespace

void write_diff_json(const ReportDiff* d, FILE* out) {
  const Report* o = d->old_r;
  const Report* n = d->new_r;
  fputs("{\n", out);
  side(out, "old", d->old_label, o);
  side(out, "new", d->new_label, n);
  json_key(out, kIndent2, "score_delta");
  if (o->score_valid && n->score_valid) {
    fprintf(out, "%d", static_cast<int>(n->score - o->score));
  } else {
    fputs("null", out);
  }
  fputs(",\n", out);
  json_member_bool(out, kIndent2, "score_dropped", diff_score_dropped(d));
  json_member_bool(out, kIndent2, "changed", diff_changed(d));
  category_deltas(out, o, n);
  // Only where both sides measured under different conditions.
  if (d->conditions_differ.ptr) json_member_string(out, kIndent2, "conditions_differ", d->conditions_differ);
  entries(out, "fixed", d->fixed, "],\n");
  entries(out, "regressed", d->regressed, "],\n");
  entries(out, "still_open", d->still_open, "]\n");
  fputs("}\n", out);
}
