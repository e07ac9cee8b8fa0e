#include "cli/driver.h"

#include <unistd.h>

#include <cstdio>

#include "base/arena.h"
#include "base/log.h"
#include "cli/diff_run.h"
#include "cli/options.h"
#include "cli/output.h"
#include "collect/collect.h"
#include "collect/snapshot.h"
#include "measure/measure.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/junit_report.h"
#include "report/text_report.h"
#include "rules/rules.h"
#include "source/capture.h"
#include "source/source.h"

namespace {

const char kLiveOnly[] = "kelvane: --measure needs the live system; ignoring for a bundle\n";

int fail(StrView msg) {
  fprintf(stderr, "kelvane: %.*s\n", SV_ARG(msg));
  return 2;
}

// Capture: the bundle path is -o when given ("-" is an ordinary file name
// here), else rt-bundle.tar.gz.
int run_capture(Arena* a, const Options* o, const char* source_path) {
  StrView err = kNoneView;
  Source* src = source_open(a, source_path, &err);
  if (!src) return fail(err);
  const char* path = o->output ? o->output : "rt-bundle.tar.gz";
  if (!capture_bundle(a, src, path, o->redact, &err)) {
    fprintf(stderr, "kelvane: capture failed: %.*s\n", SV_ARG(err));
    return 2;
  }
  fprintf(stderr, "kelvane: wrote %s\n", path);
  return 0;
}

// Collection, stamping and the rules: everything before the output. A
// Source in which no file under /proc or /sys could be read holds no machine:
// grading it would give a verdict resting on nothing, so it is refused
// (null, after saying why).
Report* analyse(Arena* a, const Options* o, Source* src) {
  Snapshot* snap = arena_new<Snapshot>(a);
  collect_snapshot(snap, a, src, o->interval_ms);
  if (!source_has_kernel_data(src)) {
    fprintf(stderr, "kelvane: '%s' holds no /proc or /sys data\n", src->live ? "/" : src->label);
    return nullptr;
  }
  snap->tool_version = sv_from_cstr(kVersion);
  snap->privileged = geteuid() == 0;
  double target = o->target_us > 0 ? o->target_us : default_target_us(o->profile);
  bool measured = false;
  if (o->measure && !src->live) {
    fputs(kLiveOnly, stderr);
  } else if (o->measure) {
    MeasureRequest req = {o->duration_s, o->force, target};
    run_measurement(snap, a, &req);
    measured = snap->measure_requested;
  }
  Report* report = arena_new<Report>(a);
  run_rules(report, a, snap, o->profile, measured, target);
  return report;
}

void write_report(const Report* report, const Options* o, FILE* f) {
  switch (o->format) {
    case OutputFormat::json: write_json_report(report, f); break;
    case OutputFormat::text: write_text_report(report, &o->text, f); break;
    case OutputFormat::html: write_html_report(report, f); break;
    case OutputFormat::junit: write_junit_report(report, f); break;
  }
}

// Analysis in its fixed order: source, collect, stamp, target, measure,
// rules, output, colour, write, exit status.
int run_analysis(Arena* a, Options* o, const char* source_path) {
  StrView err = kNoneView;
  Source* src = source_open(a, source_path, &err);
  if (!src) return fail(err);
  Report* report = analyse(a, o, src);
  if (!report) return 2;
  ReportStream out;
  if (!output_open(a, o, &out, &err)) return fail(err);
  o->text.color = output_wants_color(o, &out);
  write_report(report, o, out.f);
  if (!output_close(a, &out, &err)) return fail(err);
  if (out.path) fprintf(stderr, "kelvane: wrote %s\n", out.path);
  bool below = o->fail_under >= 0 && report->score_valid && report->score < o->fail_under;
  return below ? 1 : 0;
}

}  // namespace

Report* analyse_source(Arena* a, const Options* o, Source* src) {
  return analyse(a, o, src);
}

int kelvane_main(int argc, char** argv) {
  Arena arena;
  arena_init(&arena);
  Options opt;
  ParseOutcome p = parse_options(&arena, argc, argv, &opt, stdout, stderr);
  int status = p.exit_status;
  if (!p.run && status == 0) {
    // --help and --version: their text is all they do, so losing it is an error.
    ReportStream out = {stdout, nullptr};
    StrView err = kNoneView;
    if (!output_close(&arena, &out, &err)) status = fail(err);
  }
  if (p.run && opt.subcommand == Subcommand::diff) {
    status = run_diff(&arena, &opt);
    p.run = false;
  }
  if (p.run) {
    const char* source_path = opt.bundle ? opt.bundle : opt.root;
    status = opt.subcommand == Subcommand::capture ? run_capture(&arena, &opt, source_path)
                                                   : run_analysis(&arena, &opt, source_path);
  }
  arena_release(&arena);
  return status;
}
