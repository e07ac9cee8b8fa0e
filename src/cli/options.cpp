#include "cli/options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/str.h"

namespace {

// Long-only options get codes above the byte range.
enum LongCode : int {
  kRoot = 256,
  kProfile,
  kTargetUs,
  kInterval,
  kFailUnder,
  kMeasure,
  kDuration,
  kForce,
  kColor,
  kNoColor,
  kAscii,
  kRedact,
  kVersionOpt,
};

constexpr option kLongOptions[] = {
    {"root", required_argument, nullptr, kRoot},
    {"profile", required_argument, nullptr, kProfile},
    {"target-us", required_argument, nullptr, kTargetUs},
    {"interval", required_argument, nullptr, kInterval},
    {"fail-under", required_argument, nullptr, kFailUnder},
    {"measure", no_argument, nullptr, kMeasure},
    {"duration", required_argument, nullptr, kDuration},
    {"force", no_argument, nullptr, kForce},
    {"color", no_argument, nullptr, kColor},
    {"no-color", no_argument, nullptr, kNoColor},
    {"ascii", no_argument, nullptr, kAscii},
    {"redact", no_argument, nullptr, kRedact},
    {"format", required_argument, nullptr, 'f'},
    {"output", required_argument, nullptr, 'o'},
    {"verbose", no_argument, nullptr, 'v'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersionOpt},
    {nullptr, 0, nullptr, 0},
};

struct NamedFormat {
  const char* name;
  OutputFormat format;
};

constexpr NamedFormat kFormats[] = {
    {"text", OutputFormat::text}, {"json", OutputFormat::json}, {"html", OutputFormat::html},
    {"junit", OutputFormat::junit}, {"openmetrics", OutputFormat::openmetrics}};

// Base-10 conversion without validation: leading blanks and a sign allowed,
// stops at the first non-digit, no digits gives 0. A number that does not fit
// 32 bits is refused (false) rather than cut to its low bits.
bool loose_i32(const char* s, int32_t* out) {
  errno = 0;
  long long v = strtoll(s, nullptr, 10);
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

struct IntOption {
  int code;
  const char* name;
  int32_t Options::*field;
};

constexpr IntOption kIntOptions[] = {
    {kInterval, "interval", &Options::interval_ms},
    {kFailUnder, "fail-under", &Options::fail_under},
    {kDuration, "duration", &Options::duration_s},
};

// The integer options; false with the usage error printed when the value is
// out of range, or when c is none of them.
bool set_int_option(int c, Options* o, FILE* err) {
  for (const IntOption& opt : kIntOptions) {
    if (opt.code != c) continue;
    if (loose_i32(optarg, &(o->*opt.field))) return true;
    fprintf(err, "kelvane: --%s value '%s' is out of range\n", opt.name, optarg);
    return false;
  }
  return false;
}

// Floating-point conversion without validation; a value that is not finite
// (NaN, inf) counts as not given so the profile's default target applies.
double loose_target(const char* s) {
  double v = strtod(s, nullptr);
  return std::isfinite(v) ? v : 0;
}

bool set_format(Options* o, const char* arg) {
  for (const NamedFormat& f : kFormats) {
    if (strcmp(arg, f.name) == 0) {
      o->format = f.format;
      return true;
    }
  }
  return false;
}

// Subcommand detection on the first word; returns the index of the first
// word option parsing sees, or -1 for an unknown subcommand.
int detect_subcommand(int argc, char** argv, Options* o) {
  if (argc < 2 || argv[1][0] == '-') return 1;
  if (strcmp(argv[1], "analyze") == 0) {
    o->subcommand = Subcommand::analyze;
    if (argc > 2 && argv[2][0] != '-') {
      o->bundle = argv[2];
      return 3;
    }
    return 2;
  }
  if (strcmp(argv[1], "capture") == 0) {
    o->subcommand = Subcommand::capture;
    return 2;
  }
  if (strcmp(argv[1], "diff") == 0) {  // OLD and NEW are its operands
    o->subcommand = Subcommand::diff;
    return 2;
  }
  return -1;
}

// Applies one parsed option. Returns false with *outcome set when the run
// ends here.
bool apply_option(int c, Options* o, FILE* out, FILE* err, ParseOutcome* outcome) {
  switch (c) {
    case kRoot: o->root = optarg; break;
    case kTargetUs: o->target_us = loose_target(optarg); break;
    case kInterval:
    case kFailUnder:
    case kDuration:
      if (set_int_option(c, o, err)) break;
      *outcome = {false, 2};
      return false;
    case kMeasure: o->measure = true; break;
    case kForce: o->force = true; break;
    case kColor: o->text.color = true; o->color_set = true; break;
    case kNoColor: o->text.color = false; o->color_set = true; break;
    case kAscii: o->text.ascii = true; break;
    case kRedact: o->redact = true; break;
    case 'o': o->output = optarg; break;
    case 'q': o->text.quiet = true; break;
    case 'v':
      o->text.verbose = true;
      o->text.plan_limit = 0;
      verbosity++;
      break;
    case kProfile:
      if (parse_profile(optarg, &o->profile)) break;
      fprintf(err, "kelvane: unknown profile '%s' (expected hard-rt or low-latency)\n", optarg);
      *outcome = {false, 2};
      return false;
    case 'f':
      if (set_format(o, optarg)) break;
      fprintf(err, "kelvane: unknown format '%s'\n", optarg);
      *outcome = {false, 2};
      return false;
    case 'h':
      print_usage(out);
      print_help_additions(out);
      *outcome = {false, 0};
      return false;
    case kVersionOpt:
      fprintf(out, "kelvane %s\n", kVersion);
      *outcome = {false, 0};
      return false;
    default:  // the parser has printed its diagnostic
      print_usage(err);
      *outcome = {false, 2};
      return false;
  }
  return true;
}

}  // namespace

void options_defaults(Options* o) {
  memset(o, 0, sizeof *o);
  o->format = OutputFormat::text;
  o->profile = Profile::hard_rt;
  o->interval_ms = 1000;
  o->fail_under = -1;
  o->duration_s = 60;
  o->text.plan_limit = 8;
}

ParseOutcome parse_options(Arena* a, int argc, char** argv, Options* o, FILE* out, FILE* err) {
  options_defaults(o);
  int start = detect_subcommand(argc, argv, o);
  if (start < 0) {
    fprintf(err, "kelvane: unknown subcommand '%s'\n\n", argv[1]);
    print_usage(err);
    return {false, 2};
  }
  // The parser sees its own copy of the words, named "kelvane" so that its
  // diagnostics name the program. The leading "-" of the option string hands
  // operands back in place (code 1, ignored) instead of letting a
  // POSIXLY_CORRECT environment stop parsing at the first operand: options
  // and operands mix the same way whatever the environment holds.
  int n = argc - start + 1;
  if (n < 1) n = 1;
  char** words = arena_array<char*>(a, static_cast<size_t>(n) + 1);
  words[0] = const_cast<char*>("kelvane");
  for (int i = 1; i < n; i++) words[i] = argv[start + i - 1];
  optind = 0;  // full reinitialisation of the parser
  opterr = 1;
  ParseOutcome outcome = {true, 0};
  int c;
  while ((c = getopt_long(n, words, "-f:o:vqh", kLongOptions, nullptr)) != -1) {
    if (c == 1 && o->subcommand == Subcommand::diff) {
      if (o->diff_operands < 2) o->diff_paths[o->diff_operands] = optarg;
      o->diff_operands++;
      continue;
    }
    if (c == 1) continue;  // an operand: ignored
    if (!apply_option(c, o, out, err, &outcome)) return outcome;
  }
  // cyclictest takes -D 0 as "run until stopped": a duration below one
  // second is refused before anything runs.
  if (o->duration_s < 1) {
    fprintf(err, "kelvane: --duration must be at least 1 second (got %d)\n", o->duration_s);
    return {false, 2};
  }
  return outcome;
}
