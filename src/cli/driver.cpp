#include "cli/driver.h"

#include <unistd.h>

#include <cstdio>

#include "base/arena.h"
#include "base/log.h"
#include "cli/options.h"
#include "cli/output.h"
#include "source/source.h"

namespace {

int fail(StrView msg) {
  fprintf(stderr, "kelvane: %.*s\n", SV_ARG(msg));
  return 2;
}

int run_capture(Arena* a, const Options*, const char* source_path) {
  StrView err = kNoneView;
  Source* src = source_open(a, source_path, &err);
  if (!src) return fail(err);
  fprintf(stderr, "kelvane: capture failed: %s\n", "capture is not available");
  return 2;
}

// Analysis in its fixed order: source, collect, stamp, target, measure,
// rules, output, colour, write, exit status.
int run_analysis(Arena* a, Options* o, const char* source_path) {
  StrView err = kNoneView;
  Source* src = source_open(a, source_path, &err);
  if (!src) return fail(err);
  if (o->measure && !src->live) {
    fputs("kelvane: --measure needs the live system; ignoring for a bundle\n", stderr);
  }
  ReportStream out;
  if (!output_open(a, o, &out, &err)) return fail(err);
  o->text.color = output_wants_color(o, &out);
  if (!output_close(a, &out, &err)) return fail(err);
  if (out.path) fprintf(stderr, "kelvane: wrote %s\n", out.path);
  return 0;
}

}  // namespace

int kelvane_main(int argc, char** argv) {
  Arena arena;
  arena_init(&arena);
  Options opt;
  ParseOutcome p = parse_options(&arena, argc, argv, &opt, stdout, stderr);
  int status = p.exit_status;
  if (p.run) {
    const char* source_path = opt.bundle ? opt.bundle : opt.root;
    status = opt.subcommand == Subcommand::capture ? run_capture(&arena, &opt, source_path)
                                                   : run_analysis(&arena, &opt, source_path);
  }
  arena_release(&arena);
  return status;
}
