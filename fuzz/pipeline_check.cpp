#include "pipeline_check.h"

#include <cmath>
#include <cstring>

#include "base/cpuset.h"
#include "base/utf8.h"
#include "collect/collect.h"
#include "collect/irq_sample.h"
#include "collect/snapshot.h"
#include "measure/measure.h"
#include "report/diff.h"
#include "report/diff_json.h"
#include "report/diff_text.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/junit_report.h"
#include "report/metrics_report.h"
#include "report/plan.h"
#include "report/report_read.h"
#include "report/text_report.h"
#include "rules/rules.h"
#include "source/bundle.h"

namespace {

constexpr uint64_t kInflateLimit = uint64_t{64} << 20;

// ---- Measurement through the input's recorded tool output ----

const PipelineInput* input_of(void* ctx) {
  return static_cast<const PipelineInput*>(ctx);
}

bool fake_is_root(void* ctx) {
  return input_of(ctx)->opt.privileged;
}

// A tool is installed when the input records output for it ("rtla" when
// any "rtla ..." is recorded).
StrView fake_find(Arena* a, const char* name, void* ctx) {
  for (const PipelineTool& t : input_of(ctx)->tools) {
    StrView head = t.name, rest;
    sv_split_once(t.name, ' ', &head, &rest);
    if (sv_eq_cstr(head, name)) return arena_sprintf(a, "/usr/bin/%s", name);
  }
  return kNoneView;
}

// The recorded output of argv: the tool's name, and for rtla its command.
// Every recorded tool ran its whole duration.
bool fake_run(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out, double* ran_s,
              void* ctx) {
  *ran_s = timeout_s;
  const char* slash = strrchr(argv[0], '/');
  StrView key = sv_from_cstr(slash ? slash + 1 : argv[0]);
  if (sv_eq_cstr(key, "rtla") && argv[1]) key = arena_sprintf(a, "rtla %s", argv[1]);
  for (const PipelineTool& t : input_of(ctx)->tools) {
    if (!sv_eq(t.name, key)) continue;
    *out = t.output;
    return t.output.len > 0;
  }
  return false;
}

// ---- Invariants of the analysis ----

const char* check_scores(const Report* r) {
  const Snapshot* s = r->snapshot;
  if (s->ncpus != static_cast<uint32_t>(cpuset_count(&s->online)))
    return "ncpus is not the online count";
  if (r->score < 0 || r->score > 100) return "score outside 0..100";
  for (int c = 0; c < kCategoryCount; c++) {
    if (r->category_score[c] < 0 || r->category_score[c] > 100)
      return "category score outside 0..100";
  }
  return nullptr;
}

// ---- Invariants of the writers' bytes ----

enum class Bytes : uint8_t {
  text,     // tab and newline only; no DEL or C1 control either
  ascii,    // text, 7-bit
  markup,   // tab, newline and carriage return
  metrics,  // newline only
};

bool allowed_control(unsigned char c, Bytes kind) {
  if (c == '\n') return true;
  if (c == '\t') return kind != Bytes::metrics;
  return c == '\r' && kind == Bytes::markup;
}

// What broke, where, and the bytes around it, for the report of a failed run.
const char* broken_at(const char* writer, const char* what, StrView v, size_t at) {
  static char msg[256];
  size_t from = at > 40 ? at - 40 : 0;
  size_t n = v.len - from < 80 ? v.len - from : 80;
  snprintf(msg, sizeof msg, "%s: %s at byte %zu, near \"%.*s\"", writer, what, at,
           static_cast<int>(n), v.ptr + from);
  return msg;
}

const char* check_bytes(const char* writer, StrView v, Bytes kind) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(v.ptr);
  for (size_t i = 0; i < v.len;) {
    if (kind == Bytes::ascii && p[i] >= 0x80)
      return broken_at(writer, "a byte above 7 bits in --ascii text", v, i);
    bool del = p[i] == 0x7f && (kind == Bytes::text || kind == Bytes::ascii);
    if ((p[i] < 0x20 && !allowed_control(p[i], kind)) || del)
      return broken_at(writer, "a control byte", v, i);
    uint32_t cp = 0;
    size_t bad = 0;
    size_t n = utf8_decode(p + i, v.len - i, &cp, &bad);
    if (n == 0) return broken_at(writer, "ill-formed UTF-8", v, i);
    if (kind == Bytes::text && cp >= 0x80 && cp < 0xa0)
      return broken_at(writer, "a C1 control in text", v, i);
    i += n;
  }
  return nullptr;
}

// Colour is SGR sequences only ("ESC [ digits;digits m"); the rest is text.
const char* check_coloured(Arena* a, StrView v) {
  const char* writer = "coloured text";
  StrBuf plain;
  sb_init(&plain, a);
  for (size_t i = 0; i < v.len; i++) {
    if (v.ptr[i] != '\x1b') {
      sb_append_char(&plain, v.ptr[i]);
      continue;
    }
    if (i + 1 >= v.len || v.ptr[i + 1] != '[')
      return broken_at(writer, "an escape other than SGR", v, i);
    size_t j = i + 2;
    while (j < v.len && (v.ptr[j] == ';' || (v.ptr[j] >= '0' && v.ptr[j] <= '9'))) j++;
    if (j >= v.len || v.ptr[j] != 'm') return broken_at(writer, "an escape other than SGR", v, i);
    i = j;
  }
  return check_bytes(writer, sb_view(&plain), Bytes::text);
}

bool has_script(StrView v) {
  for (size_t i = 0; i + 7 <= v.len; i++) {
    if (v.ptr[i] == '<' && strncasecmp(v.ptr + i + 1, "script", 6) == 0) return true;
  }
  return false;
}

struct TextCase {
  bool color, ascii, verbose, quiet;
};

constexpr TextCase kTextCases[] = {
    {false, false, false, false}, {false, false, true, false}, {false, true, true, false},
    {false, false, false, true},  {true, false, true, false},
};

const char* check_text_reports(Arena* a, const Report* r) {
  for (const TextCase& c : kTextCases) {
    TextOptions o = {c.color, c.ascii, c.verbose, c.quiet, 0};
    StrView t = pipeline_capture(a, [&](FILE* f) { write_text_report(r, &o, f); });
    const char* bad = c.color ? check_coloured(a, t)
                              : check_bytes("text", t, c.ascii ? Bytes::ascii : Bytes::text);
    if (bad) return bad;
  }
  return nullptr;
}

const char* check_markup_reports(Arena* a, const Report* r) {
  StrView html = pipeline_capture(a, [&](FILE* f) { write_html_report(r, f); });
  if (const char* bad = check_bytes("HTML", html, Bytes::markup)) return bad;
  if (has_script(html)) return "<script in the HTML report";
  StrView junit = pipeline_capture(a, [&](FILE* f) { write_junit_report(r, f); });
  if (const char* bad = check_bytes("JUnit", junit, Bytes::markup)) return bad;
  StrView metrics = pipeline_capture(a, [&](FILE* f) { write_metrics_report(r, 1765000000, f); });
  if (const char* bad = check_bytes("metrics", metrics, Bytes::metrics)) return bad;
  return metrics.len == 0 || sv_ends_with(metrics, "\n") ? nullptr : "metrics end mid-line";
}

// ---- The boot script ----

// Outside single quotes a command holds only the program's own vocabulary:
// words, numbers, paths, redirections, "; " and the loop variable "$c", up to
// a remark after " #". No command substitution, no other expansion, no quote
// left open.
bool plain_outside_quotes(StrView line) {
  bool quoted = false;
  for (size_t i = 0; i < line.len; i++) {
    char c = line.ptr[i];
    if (c == '\'') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '#' && i > 0 && line.ptr[i - 1] == ' ') {
      break;  // a remark: a comment to the end of the line
    } else if (c == '$') {
      if (i + 1 >= line.len || line.ptr[i + 1] != 'c') return false;
    } else if (!strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _/.,:=%+@<>;-",
                       c) || c == '\0') {
      return false;
    }
  }
  return !quoted;
}

bool shell_parses(StrView script) {
  FILE* sh = popen("sh -n 2>/dev/null", "w");
  if (!sh) return true;
  fwrite(script.ptr, 1, script.len, sh);
  return pclose(sh) == 0;
}

const char* check_script(Arena* a, const Report* r) {
  RemediationPlan plan = build_plan(a, r);
  List<RuntimeItem> items = {};
  for (const Finding* f : plan.items) {
    if (writes_runtime_state(f)) list_push(a, &items, RuntimeItem{items.count + 1, f});
  }
  if (items.count == 0) return nullptr;
  StrBuf all;
  sb_init(&all, a);
  for (StrView line : plan_runtime_script(a, &items)) {
    if (!sv_starts_with(line, "#") && !plain_outside_quotes(line))
      return broken_at("boot script", "machine text outside quotes", line, 0);
    sb_append_view(&all, line);
    sb_append_char(&all, '\n');
  }
  return shell_parses(sb_view(&all)) ? nullptr : "the boot script does not parse (sh -n)";
}

// ---- The JSON report read back ----

const char* compare_grades(const Report* r, const Report* back) {
  if (back->score_valid != r->score_valid || back->score != r->score) return "JSON score differs";
  for (int c = 0; c < kCategoryCount; c++) {
    if (back->category_scored[c] != r->category_scored[c] ||
        back->category_score[c] != r->category_score[c]) {
      return "JSON category score differs";
    }
  }
  if (back->profile != r->profile || back->target_us != r->target_us)
    return "JSON profile or target differs";
  return back->measured == r->measured ? nullptr : "JSON measured flag differs";
}

const char* compare_findings(const Report* r, const Report* back) {
  if (back->findings.count != r->findings.count) return "JSON finding count differs";
  for (size_t i = 0; i < r->findings.count; i++) {
    const Finding* x = r->findings[i];
    const Finding* y = back->findings[i];
    if (strcmp(x->id, y->id) != 0 || x->severity != y->severity || x->category != y->category)
      return "JSON finding differs";
  }
  return nullptr;
}

const char* check_diff(Arena* a, const Report* old_r, const Report* new_r) {
  ReportDiff d{};
  diff_reports(a, old_r, new_r, &d);
  d.old_label = "old.json";
  d.new_label = "new.json";
  if (diff_changed(&d)) return "a report diffed against its own JSON changed";
  TextOptions o = {false, false, true, false, 0};
  StrView text = pipeline_capture(a, [&](FILE* f) { write_diff_text(&d, &o, a, f); });
  if (const char* bad = check_bytes("diff text", text, Bytes::text)) return bad;
  pipeline_capture(a, [&](FILE* f) { write_diff_json(&d, f); });
  return nullptr;
}

const char* check_json(Arena* a, const Report* r) {
  Report* back = arena_new<Report>(a);
  if (!report_read_json(a, pipeline_json(a, r), back)) return "the JSON report does not read back";
  if (const char* bad = compare_grades(r, back)) return bad;
  if (const char* bad = compare_findings(r, back)) return bad;
  if (const char* bad = check_diff(a, back, back)) return bad;
  return check_diff(a, r, back);
}

}  // namespace

Report* pipeline_analyse(Arena* a, const PipelineInput* in, Source* src) {
  Snapshot* snap = arena_new<Snapshot>(a);
  collect_snapshot(snap, a, src, 0);
  if (!source_has_kernel_data(src)) return nullptr;
  snap->tool_version = sv_lit("0.0-fuzz");
  snap->privileged = in->opt.privileged;
  if (sv_present(in->interrupts2) || sv_present(in->softirqs2))
    apply_interrupt_sample(snap, in->interrupts2, in->softirqs2, in->opt.window_s);
  double target = in->opt.target_us > 0 ? in->opt.target_us : default_target_us(in->opt.profile);
  bool measured = false;
  if (in->opt.measure) {
    MeasureOps ops = {fake_is_root, fake_find, fake_run, nullptr, nullptr, nullptr, nullptr,
                      const_cast<PipelineInput*>(in)};
    MeasureRequest req = {in->opt.duration_s, false, target, kMeasurePriority, -1, false};
    run_measurement_with(snap, a, &req, &ops);
    measured = snap->measure_requested;
  }
  Report* r = arena_new<Report>(a);
  run_rules(r, a, snap, in->opt.profile, measured, target);
  return r;
}

StrView pipeline_json(Arena* a, const Report* r) {
  return pipeline_capture(a, [&](FILE* f) { write_json_report(r, f); });
}

const char* pipeline_check_report(Arena* a, const Report* r) {
  if (const char* bad = check_scores(r)) return bad;
  if (const char* bad = check_text_reports(a, r)) return bad;
  if (const char* bad = check_markup_reports(a, r)) return bad;
  if (const char* bad = check_script(a, r)) return bad;
  return check_json(a, r);
}

const char* pipeline_check_input(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  PipelineInput in;
  pipeline_input_parse(&a, data, size, &in);
  StrView tar, err;
  const char* bad = nullptr;
  Source* src = pipeline_input_tar(&a, &in, &tar)
                    ? bundle_load(&a, "fuzz", tar, kInflateLimit, &err)
                    : nullptr;
  Report* r = src ? pipeline_analyse(&a, &in, src) : nullptr;
  if (r) bad = pipeline_check_report(&a, r);
  arena_release(&a);
  return bad;
}
