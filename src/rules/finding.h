// The vocabulary every rule module speaks and every report reads: severities,
// categories, profiles and verdicts with their texts, the Finding and Evidence
// records, the Report that holds one analysis, the RuleContext handed to the
// rule modules, and the operations that emit findings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/list.h"
#include "base/str.h"

struct Snapshot;

// ---------------------------------------------------------------------------
// Severity. The numeric values are stable: tables and comparisons use them.
enum class Severity : uint8_t {
  pass = 0,
  warn = 1,
  fail = 2,
  unknown = 3,
  na = 4,
};

constexpr int kSeverityCount = 5;

// "pass", "warn", "fail", "unknown", "na"; a value above 4 reads as "na".
const char* severity_name(Severity s);
// "[OK]" "[!!]" "[XX]" "[??]" "[--]" when ascii, else the symbol tags.
const char* severity_tag(Severity s, bool ascii);
// True for pass, warn and fail only.
bool severity_is_scored(Severity s);
// 1.0 for pass, 0.5 for warn, 0.0 for every other value.
double severity_factor(Severity s);
// Sort rank: fail 0, warn 1, unknown 2, pass 3, na (and anything else) 4.
int severity_rank(Severity s);
// A finding the user should act on: warn or fail.
constexpr bool severity_is_problem(Severity s) { return s == Severity::warn || s == Severity::fail; }

// ---------------------------------------------------------------------------
// Category. Findings are sorted by this number.
enum class Category : uint8_t {
  preemption = 0,
  isolation = 1,
  irq = 2,
  scheduling = 3,
  power = 4,
  noise = 5,
  measured = 6,
};

constexpr int kCategoryCount = 7;

// "preemption", "isolation", ...; "other" for a value above 6.
const char* category_id(Category c);
// "Kernel & preemption", ...; "Other" for a value above 6.
const char* category_name(Category c);
// Weight out of 100: the plain column, or the column used when latency was
// measured. 0 for a value above 6.
int32_t category_weight(Category c, bool measured);

// ---------------------------------------------------------------------------
// Profile: what the machine is graded against.
enum class Profile : uint8_t {
  hard_rt = 0,
  low_latency = 1,
};

// "low-latency" for low_latency, "hard-rt" for every other value.
const char* profile_name(Profile p);
// Exactly "hard-rt" or "low-latency" (case-sensitive, whole text). Any other
// text, or a null one, returns false and leaves *out unchanged.
bool parse_profile(const char* text, Profile* out);
// 1000.0 us for low-latency, 100.0 us otherwise.
double default_target_us(Profile p);

// ---------------------------------------------------------------------------
// Verdict: never stored, always derived from the overall score.
enum class Verdict : uint8_t {
  unknown = 0,
  excellent = 1,
  good = 2,
  marginal = 3,
  poor = 4,
  unsuitable = 5,
};

// unknown when !score_valid; excellent >= 90, good 75..89, marginal 55..74,
// poor 35..54, unsuitable <= 34.
Verdict verdict_of(bool score_valid, int32_t score);
// The verdict's text: "unknown", "excellent", "good", "marginal", "poor",
// "unsuitable".
const char* verdict_text(Verdict v);
// verdict_text(verdict_of(score_valid, score)).
const char* verdict_name(bool score_valid, int32_t score);

// ---------------------------------------------------------------------------
// One observed fact behind a finding: where it was seen and what was seen.
struct Evidence {
  StrView key;    // a file path, a CONFIG_ symbol, a parameter or sysctl name
  StrView value;  // the observed value as text
};

// One line a fix adds to the boot-time script: a command that writes the
// running kernel's state, built from program text, numbers and quoted machine
// words (rules/remedy.h), or a line of the fix's prose kept as a comment.
struct ScriptLine {
  StrView text;
  StrView remark;  // a command's trailing remark, written as a comment
  bool command;
};

// One rule result. Allocated by add_finding from the report's Arena and never
// freed on its own. Unset texts are empty views (len 0, ptr null).
struct Finding {
  const char* id;  // static, NUL-terminated, e.g. "preempt.rt"
  Category category;
  Severity severity;
  StrView title;
  StrView detail;       // what was observed
  StrView impact;       // why it matters for latency
  StrView remediation;  // what to do, prose or shell commands
  List<ScriptLine> script;  // what the boot script runs for it; empty for most
  StrView cmdline;      // boot parameters that fix it, blank-separated
  StrView sysctl;       // sysctl.d lines that fix it ("key = value"), one a line
  List<Evidence> evidence;
  double weight;  // share within its category; 1.0 unless the rule sets it
};

// The result of one analysis. Filled by run_rules, read-only afterwards.
struct Report {
  Arena* arena;
  const Snapshot* snapshot;
  List<Finding*> findings;
  bool score_valid;  // false when no category contributed to the score
  int32_t score;     // 0..100; 0 when !score_valid
  bool category_scored[kCategoryCount];
  int32_t category_score[kCategoryCount];  // 0 where not scored
  Profile profile;
  double target_us;
  bool measured;  // a measurement was attempted: measured weight column
};

// Read-only view handed to every rule module.
struct RuleContext {
  Arena* arena;
  const Snapshot* snapshot;
  Profile profile;
  double target_us;
  bool measured;
  CpuSet rt_cpus;  // isolated CPUs when any, else the online CPUs
  bool has_isolation;
  CpuSet housekeeping_cpus;
  CpuSet online_cpus;
  int32_t ncpus;
};

// ---------------------------------------------------------------------------
// Emitting findings.

// Allocates a Finding from report->arena with the given fields, empty texts
// and evidence, weight 1.0; appends it to report->findings and returns it.
Finding* add_finding(Report* report, const char* id, Category category, Severity severity,
                     StrView title);
// Each setter stores the view; a later call replaces an earlier one.
void finding_set_detail(Finding* f, StrView text);
void finding_set_impact(Finding* f, StrView text);
void finding_set_remediation(Finding* f, StrView text);
void finding_set_cmdline(Finding* f, StrView text);
void finding_set_sysctl(Finding* f, StrView text);
void finding_set_weight(Finding* f, double w);
// Appends one Evidence item; items keep the order of the calls.
void finding_add_evidence(Report* report, Finding* f, StrView key, StrView value);
void finding_add_evidence_cstr(Report* report, Finding* f, const char* key, StrView value);
