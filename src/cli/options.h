// The command line: subcommand detection, option parsing with defaults, and
// the usage text.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/arena.h"
#include "report/text_options.h"
#include "rules/finding.h"

enum class Subcommand { none, analyze, capture, diff };
enum class OutputFormat { text = 0, json = 1, html = 2, junit = 3, openmetrics = 4 };

struct Options {
  Subcommand subcommand;
  const char* bundle;
  const char* root;
  const char* output;
  OutputFormat format;
  Profile profile;
  bool profile_set;  // --profile was given
  double target_us;
  bool target_set;   // --target-us was given (any value, 0 included)
  int32_t interval_ms;
  int32_t fail_under;
  bool measure;
  int32_t duration_s;
  bool force;
  int32_t priority;   // --priority, 1-98
  int32_t pm_qos_us;  // --pm-qos; -1 when not given
  bool load;          // --load
  bool redact;
  TextOptions text;
  bool color_set;
  // kelvane diff OLD NEW: the operands in order; diff_operands counts them
  // all, so a third one can be refused.
  const char* diff_paths[2];
  int32_t diff_operands;
};

// What parsing decided: go on with the run, or end the process at once with
// the given exit status (--help, --version, usage errors).
struct ParseOutcome {
  bool run;
  int exit_status;
};

void options_defaults(Options* o);
// Parses argv into o; messages for --help, --version and usage errors are
// written to out and err before returning an outcome that ends the run.
ParseOutcome parse_options(Arena* a, int argc, char** argv, Options* o, FILE* out, FILE* err);
void print_usage(FILE* f);
// What --help prints after the usage text: a blank line, then the
// subcommands and formats the usage text does not list.
void print_help_additions(FILE* f);

extern const char kVersion[];
