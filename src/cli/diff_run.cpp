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

// A gzip stream or a ustar archive: a bundle rather than a JSON report.
bool looks_like_bundle(StrView bytes) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.ptr);
  if (bytes.len >= 2 && p[0] == 0x1f && p[1] == 0x8b) return true;
  return bytes.len >= 262 && memcmp(bytes.ptr + 257, "ustar", 5) == 0;
}

// One side of the diff, or null after printing why not. o is the diff's
// grading: a bundle or a tree is analysed with it.
const Report* load_side(Arena* a, const Options* o, const char* path) {
  StrView err = kNoneView;
  struct stat st;
  if (stat(path, &st) != 0) {
    fprintf(stderr, "kelvane: cannot open '%s': %s\n", path, strerror(errno));
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) {
    Source* src = source_open(a, path, &err);
    if (!src) {
      run_error(err);
      return nullptr;
    }
    return analyse(a, o, src);
  }
  StrView bytes = file_read_whole(a, path, &err);
  if (!sv_present(bytes)) {
    run_error(err);
    return nullptr;
  }
  if (looks_like_bundle(bytes)) {
    Source* src = bundle_load(a, path, bytes, kBundleInflateLimit, &err);
    if (!src) {
      run_error(err);
      return nullptr;
    }
    return analyse(a, o, src);
  }
  Report* r = arena_new<Report>(a);
  if (!report_read_json(a, bytes, r)) {
    fprintf(stderr, "kelvane: '%s' is not a kelvane report\n", path);
    return nullptr;
  }
  return r;
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
  // Bundles and trees are graded without sampling or measurement, so both
  // sides of a diff are judged alike.
  Options graded = *o;
  graded.interval_ms = 0;
  graded.measure = false;
  const Report* old_r = load_side(a, &graded, o->diff_paths[0]);
  if (!old_r) return 2;
  const Report* new_r = load_side(a, &graded, o->diff_paths[1]);
  if (!new_r) return 2;
  ReportDiff d = {};
  d.old_label = o->diff_paths[0];
  d.new_label = o->diff_paths[1];
  diff_reports(a, old_r, new_r, &d);

  // A diff is short and read at once: standard output unless -o names a file.
  Options out_opts = *o;
  if (!out_opts.output) out_opts.output = "-";
  StrView err = kNoneView;
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
