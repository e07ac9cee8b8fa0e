#include "cli/diff_run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/analysis.h"
#include "cli/output.h"
#include "report/diff.h"
#include "report/diff_json.h"
#include "report/diff_text.h"
#include "report/report_read.h"
#include "source/bundle.h"
#include "source/file_read.h"
#include "source/source_open.h"

namespace {

const char kDiffUsage[] = "kelvane: diff needs two reports: kelvane diff OLD NEW [options]\n";
const char kDiffFormats[] = "kelvane: diff writes text or json\n";

bool refuse(StrView msg) {
  run_error(msg);
  return false;
}

// A gzip stream or a ustar archive: a bundle rather than a JSON report.
bool looks_like_bundle(StrView bytes) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.ptr);
  if (bytes.len >= 2 && p[0] == 0x1f && p[1] == 0x8b) return true;
  return bytes.len >= 262 && memcmp(bytes.ptr + 257, "ustar", 5) == 0;
}

// One side of the diff: a JSON report read back, or a Source still to be
// graded.
struct Side {
  const char* path;
  Report* report;
  Source* src;
};

// Opens one side without grading it; false after printing why not.
bool open_side(Arena* a, const char* path, Side* side) {
  side->path = path;
  StrView err = kNoneView;
  struct stat st;
  if (stat(path, &st) != 0) {
    fprintf(stderr, "kelvane: cannot open '%s': %s\n", path, strerror(errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    side->src = source_open(a, path, &err);
    return side->src ? true : refuse(err);
  }
  StrView bytes = file_read_whole(a, path, &err);
  if (!sv_present(bytes)) return refuse(err);
  if (looks_like_bundle(bytes)) {
    side->src = bundle_load(a, path, bytes, kBundleInflateLimit, &err);
    return side->src ? true : refuse(err);
  }
  side->report = arena_new<Report>(a);
  if (report_read_json(a, bytes, side->report)) return true;
  fprintf(stderr, "kelvane: '%s' is not a kelvane report\n", path);
  return false;
}

// A report that names no target was graded with its profile's default.
double report_target(const Report* r) {
  return r->target_us > 0 ? r->target_us : default_target_us(r->profile);
}

// Like is compared with like: a side that is graded here takes the profile
// and target of a JSON side unless --profile or --target-us says otherwise,
// and two JSON reports graded differently are refused.
bool grading_for(const Options* o, const Side sides[2], Options* grading) {
  *grading = *o;
  grading->interval_ms = 0;  // both sides judged alike: no sampling,
  grading->measure = false;  // no measurement
  const Report* json[2] = {sides[0].report, sides[1].report};
  if (json[0] && json[1]) {
    if (json[0]->profile == json[1]->profile && report_target(json[0]) == report_target(json[1]))
      return true;
    fprintf(stderr, "kelvane: cannot compare a %s report (target %d µs) with a %s report (target %d µs)\n",
            profile_name(json[0]->profile), static_cast<int>(report_target(json[0])),
            profile_name(json[1]->profile), static_cast<int>(report_target(json[1])));
    return false;
  }
  const Report* from = json[0] ? json[0] : json[1];
  if (!from) return true;
  if (!o->profile_set) grading->profile = from->profile;
  if (!o->target_set && !o->profile_set) grading->target_us = report_target(from);
  return true;
}

// Both sides as Reports, or false after printing why not.
bool load_sides(Arena* a, const Options* o, const Report* out[2]) {
  Side sides[2] = {};
  for (int i = 0; i < 2; i++)
    if (!open_side(a, o->diff_paths[i], &sides[i])) return false;
  Options grading;
  if (!grading_for(o, sides, &grading)) return false;
  for (int i = 0; i < 2; i++) {
    out[i] = sides[i].report ? sides[i].report : analyse(a, &grading, sides[i].src);
    if (!out[i]) return false;
  }
  return true;
}

}  // namespace

int run_diff(Arena* a, const Options* o) {
  if (o->diff_operands != 2) {
    fputs(kDiffUsage, stderr);
    return 2;
  }
  if (o->format != OutputFormat::text && o->format != OutputFormat::json) {
    fputs(kDiffFormats, stderr);
    return 2;
  }
  // A diff is short and read at once: standard output unless -o names a file.
  Options out_opts = *o;
  if (!out_opts.output) out_opts.output = "-";
  StrView err = output_refusal(a, &out_opts, nullptr);
  if (sv_present(err)) return run_error(err);
  const Report* sides[2] = {};
  if (!load_sides(a, o, sides)) return 2;
  const Report* old_r = sides[0];
  const Report* new_r = sides[1];
  ReportDiff d = {};
  d.old_label = o->diff_paths[0];
  d.new_label = o->diff_paths[1];
  diff_reports(a, old_r, new_r, &d);

  ReportStream out;
  if (!output_open(a, &out_opts, &out, &err)) return run_error(err);
  out_opts.text.color = output_wants_color(&out_opts, &out);
  if (o->format == OutputFormat::json) {
    write_diff_json(&d, out.f);
  } else {
    write_diff_text(&d, &out_opts.text, a, out.f);
  }
  if (!output_close(a, &out, &err)) return run_error(err);
  if (out.path) fprintf(stderr, "kelvane: wrote %s\n", out.path);
  return diff_exit_status(&d);
}
