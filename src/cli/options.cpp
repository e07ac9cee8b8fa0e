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
  kPriority,
  kPmQos,
  kLoad,
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
    {"priority", required_argument, nullptr, kPriority},
    {"pm-qos", required_argument, nullptr, kPmQos},
    {"load", no_argument, nullptr, kLoad},
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

// How a numeric option value reads: a number, text that is not one (no
// digits, or anything after the number), or a number outside the range.
enum class NumText { ok, not_number, out_of_range };

// Base-10 whole-text conversion: leading blanks and a sign allowed, nothing
// after the digits. A typo in a CI gate must fail the run, not read as 0.
NumText read_i32(const char* s, int32_t* out) {
  errno = 0;
  char* end = nullptr;
  long long v = strtoll(s, &end, 10);
  if (end == s || *end != '\0') return NumText::not_number;
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return NumText::out_of_range;
  *out = static_cast<int32_t>(v);
  return NumText::ok;
}

struct IntOption {
  int code;
  const char* name;
  int32_t Options::*field;
  int32_t min;  // the smallest value that means something
  int32_t max;  // and the largest
};

constexpr IntOption kIntOptions[] = {
    {kInterval, "interval", &Options::interval_ms, 0, INT32_MAX},
    {kFailUnder, "fail-under", &Options::fail_under, INT32_MIN, INT32_MAX},
    {kDuration, "duration", &Options::duration_s, 1, INT32_MAX},
    // SCHED_FIFO 1-98: 99 outranks every kernel thread the application lets run.
    {kPriority, "priority", &Options::priority, 1, 98},
    // A PM QoS request in microseconds, up to a second.
    {kPmQos, "pm-qos", &Options::pm_qos_us, 0, 1000000},
};

bool bad_number(FILE* err, const char* name, const char* value) {
  fprintf(err, "kelvane: --%s value '%s' is not a number\n", name, value);
  return false;
}

// The integer options; false with the usage error printed when the value is
// not a number or out of range, or when c is none of them.
bool set_int_option(int c, Options* o, FILE* err) {
  for (const IntOption& opt : kIntOptions) {
    if (opt.code != c) continue;
    NumText r = read_i32(optarg, &(o->*opt.field));
    if (r == NumText::ok && o->*opt.field >= opt.min && o->*opt.field <= opt.max) return true;
    if (r == NumText::not_number) return bad_number(err, opt.name, optarg);
    fprintf(err, "kelvane: --%s value '%s' is out of range\n", opt.name, optarg);
    return false;
  }
  return false;
}

// --target-us takes a decimal number (digits, a point, an exponent; no hex,
// "nan" or "inf" words) with nothing after it. A value that is not finite
// once converted counts as not given, so the profile's default applies, as
// does any value not above 0.
bool set_target(Options* o, const char* s, FILE* err) {
  char* end = nullptr;
  double v = strtod(s, &end);
  if (end == s || *end != '\0' || s[strspn(s, " \t0123456789+-.eE")] != '\0')
    return bad_number(err, "target-us", s);
  o->target_us = std::isfinite(v) ? v : 0;
  o->target_set = true;
  return true;
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

struct NamedSubcommand {
  const char* name;
  Subcommand sub;
};

constexpr NamedSubcommand kSubcommands[] = {
    {"analyze", Subcommand::analyze}, {"capture", Subcommand::capture}, {"diff", Subcommand::diff}};

// The operands in order: the first names the subcommand, wherever it stands
// among the options; analyze takes one more (BUNDLE), diff its two reports
// (a third is refused by diff itself, which names its form), capture none.
// Any other operand is a usage error: a word the user typed is never dropped.
bool take_operand(const char* word, Options* o, FILE* err) {
  if (o->subcommand == Subcommand::none) {
    for (const NamedSubcommand& n : kSubcommands) {
      if (strcmp(word, n.name) != 0) continue;
      o->subcommand = n.sub;
      return true;
    }
    fprintf(err, "kelvane: unknown subcommand '%s'\n\n", word);
    print_usage(err);
    return false;
  }
  if (o->subcommand == Subcommand::diff) {
    if (o->diff_operands < 2) o->diff_paths[o->diff_operands] = word;
    o->diff_operands++;
    return true;
  }
  if (o->subcommand == Subcommand::analyze && !o->bundle) {
    o->bundle = word;
    return true;
  }
  fprintf(err, "kelvane: unexpected argument '%s'\n", word);
  print_usage(err);
  return false;
}

// Applies one parsed option. Returns false with *outcome set when the run
// ends here.
bool apply_option(int c, Options* o, FILE* out, FILE* err, ParseOutcome* outcome) {
  switch (c) {
    case kRoot: o->root = optarg; break;
    case kTargetUs:
      if (set_target(o, optarg, err)) break;
      *outcome = {false, 2};
      return false;
    case kInterval:
    case kFailUnder:
    case kDuration:
    case kPriority:
    case kPmQos:
      if (set_int_option(c, o, err)) break;
      *outcome = {false, 2};
      return false;
    case kMeasure: o->measure = true; break;
    case kForce: o->force = true; break;
    case kLoad: o->load = true; break;
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
      o->profile_set = true;
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
  o->priority = 95;
  o->pm_qos_us = -1;
  o->text.plan_limit = 8;
}

ParseOutcome parse_options(Arena* a, int argc, char** argv, Options* o, FILE* out, FILE* err) {
  options_defaults(o);
  // The parser sees its own copy of the words, named "kelvane" so that its
  // diagnostics name the program. The leading "-" of the option string hands
  // operands back in place (code 1) instead of letting a POSIXLY_CORRECT
  // environment stop parsing at the first operand: options and operands mix
  // the same way whatever the environment holds.
  int n = argc < 1 ? 1 : argc;
  char** words = arena_array<char*>(a, static_cast<size_t>(n) + 1);
  words[0] = const_cast<char*>("kelvane");
  for (int i = 1; i < n; i++) words[i] = argv[i];
  optind = 0;  // full reinitialisation of the parser
  opterr = 1;
  ParseOutcome outcome = {true, 0};
  int c;
  while ((c = getopt_long(n, words, "-f:o:vqh", kLongOptions, nullptr)) != -1) {
    if (c == 1) {
      if (!take_operand(optarg, o, err)) return {false, 2};
      continue;
    }
    if (!apply_option(c, o, out, err, &outcome)) return outcome;
  }
  for (int i = optind; i < n; i++) {  // the words after "--" are operands too
    if (!take_operand(words[i], o, err)) return {false, 2};
  }
  // cyclictest takes -D 0 as "run until stopped": a duration below one
  // second is refused before anything runs.
  if (o->duration_s < 1) {
    fprintf(err, "kelvane: --duration must be at least 1 second (got %d)\n", o->duration_s);
    return {false, 2};
  }
  return outcome;
}
