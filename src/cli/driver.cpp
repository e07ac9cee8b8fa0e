#include "cli/driver.h"

#include <cstdio>
#include <ctime>

#include "base/arena.h"
#include "cli/analysis.h"
#include "cli/diff_run.h"
#include "cli/options.h"
#include "cli/output.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "report/junit_report.h"
#include "report/metrics_report.h"
#include "report/text_report.h"
#include "source/capture.h"
#include "source/source_open.h"

namespace {

// Capture: the bundle path is -o when given ("-" is standard output, which
// then carries the bundle's bytes only), else rt-bundle.tar.gz.
int run_capture(Arena* a, const Options* o, const char* source_path) {
  const char* path = o->output ? o->output : "rt-bundle.tar.gz";
  StrView err = output_refusal(a, o, path);
  if (sv_present(err)) return run_error(err);
  Source* src = source_open(a, source_path, &err);
  if (!src) return run_error(err);
  if (!capture_bundle(a, src, path, o->redact, &err)) {
    fprintf(stderr, "kelvane: capture failed: %.*s\n", SV_ARG(err));
    return 2;
  }
  if (!out_file_is_stdout(path)) fprintf(stderr, "kelvane: wrote %s\n", path);
  return 0;
}

void write_report(const Report* report, const Options* o, FILE* f) {
  switch (o->format) {
    case OutputFormat::json: write_json_report(report, f); break;
    case OutputFormat::text: write_text_report(report, &o->text, f); break;
    case OutputFormat::html: write_html_report(report, f); break;
    case OutputFormat::junit: write_junit_report(report, f); break;
    case OutputFormat::openmetrics: write_metrics_report(report, time(nullptr), f); break;
  }
}

// Analysis in its fixed order: output target check, source, collect, stamp,
// target, measure, rules, output, colour, write, exit status.
int run_analysis(Arena* a, Options* o, const char* source_path) {
  StrView err = output_refusal(a, o, nullptr);
  if (sv_present(err)) return run_error(err);
  Source* src = source_open(a, source_path, &err);
  if (!src) return run_error(err);
  Report* report = analyse(a, o, src);
  if (!report) return 2;
  ReportStream out;
  if (!output_open(a, o, &out, &err)) return run_error(err);
  o->text.color = output_wants_color(o, &out);
  write_report(report, o, out.f);
  if (!output_close(a, &out, &err)) return run_error(err);
  if (out.path) fprintf(stderr, "kelvane: wrote %s\n", out.path);
  bool below = o->fail_under >= 0 && report->score_valid && report->score < o->fail_under;
  return below ? 1 : 0;
}

}  // namespace

int kelvane_main(int argc, char** argv) {
  Arena arena;
  arena_init(&arena);
  Options opt;
  ParseOutcome p = parse_options(&arena, argc, argv, &opt, stdout, stderr);
  int status = p.exit_status;
  if (!p.run && status == 0) {
    // --help and --version: their text is all they do, so losing it is an error.
    ReportStream out = {stdout, nullptr, nullptr};
    StrView err = kNoneView;
    if (!output_close(&arena, &out, &err)) status = run_error(err);
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
