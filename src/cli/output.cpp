#include "cli/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* default_path(OutputFormat f) {
  switch (f) {
    case OutputFormat::json: return "rt-report.json";
    case OutputFormat::html: return "rt-report.html";
    case OutputFormat::junit: return "rt-report.xml";
    case OutputFormat::openmetrics: return "rt-report.prom";
    case OutputFormat::text: break;
  }
  return nullptr;
}

// A new report's mode; see output_open.
mode_t report_mode(OutputFormat f) {
  if (f == OutputFormat::openmetrics) return 0644;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}


const char* report_path(const Options* o) {
  const char* path = o->output ? o->output : default_path(o->format);
  return path ? path : "-";
}

// The files the run reads, in inputs; their count.
size_t run_inputs(const Options* o, const char* inputs[4]) {
  const char* all[] = {o->bundle, o->root, o->diff_paths[0], o->diff_paths[1]};
  size_t n = 0;
  for (const char* in : all)
    if (in) inputs[n++] = in;
  return n;
}

}  // namespace

bool output_open(Arena* a, const Options* o, ReportStream* s, StrView* err) {
  const char* inputs[4];
  size_t n = run_inputs(o, inputs);
  return out_file_open(a, report_path(o), report_mode(o->format), inputs, n, s, err);
}

StrView output_refusal(Arena* a, const Options* o, const char* path) {
  const char* inputs[4];
  size_t n = run_inputs(o, inputs);
  return out_file_refusal(a, path ? path : report_path(o), inputs, n);
}

bool output_wants_color(const Options* o, const ReportStream* s) {
  if (o->color_set) return o->text.color;
  if (getenv("NO_COLOR")) return false;
  return isatty(fileno(s->f)) == 1;
}

bool output_close(Arena* a, ReportStream* s, StrView* err) { return out_file_close(a, s, err); }

int run_error(StrView msg) {
  fprintf(stderr, "kelvane: %.*s\n", SV_ARG(msg));
  return 2;
}
