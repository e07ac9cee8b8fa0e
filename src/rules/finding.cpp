#include "rules/finding.h"

#include <cstring>

namespace {

struct SeverityRow {
  const char* name;
  const char* ascii_tag;
  const char* symbol_tag;
  int rank;
  double factor;
  bool scored;
};

constexpr SeverityRow kSeverities[kSeverityCount] = {
    {"pass", "[OK]", "\xE2\x9C\x93", 3, 1.0, true},  // ✓
    {"warn", "[!!]", "\xE2\x9A\xA0", 1, 0.5, true},  // ⚠
    {"fail", "[XX]", "\xE2\x9C\x97", 0, 0.0, true},  // ✗
    {"unknown", "[??]", "?", 2, 0.0, false},         // not scored
    {"na", "[--]", "-", 4, 0.0, false},              // not scored
};

// Values outside the table read as na.
const SeverityRow& severity_row(Severity s) {
  size_t i = static_cast<size_t>(s);
  return kSeverities[i < kSeverityCount ? i : static_cast<size_t>(Severity::na)];
}

struct CategoryRow {
  const char* id;
  const char* name;
  int32_t weight;
  int32_t weight_measured;
};

// Both weight columns sum to 100.
constexpr CategoryRow kCategories[kCategoryCount] = {
    {"preemption", "Kernel & preemption", 25, 19},
    {"isolation", "CPU isolation", 25, 19},
    {"irq", "IRQ affinity", 20, 15},
    {"scheduling", "Thread scheduling", 15, 11},
    {"power", "Frequency & C-states", 10, 8},
    {"noise", "System noise", 5, 3},
    {"measured", "Measured latency", 0, 25},
};

constexpr int32_t sum_weights(bool measured) {
  int32_t sum = 0;
  for (const CategoryRow& row : kCategories) sum += measured ? row.weight_measured : row.weight;
  return sum;
}
static_assert(sum_weights(false) == 100 && sum_weights(true) == 100);

const CategoryRow* category_row(Category c) {
  size_t i = static_cast<size_t>(c);
  return i < kCategoryCount ? &kCategories[i] : nullptr;
}

struct ProfileRow {
  const char* name;
  Profile profile;
  double default_target_us;
};

constexpr ProfileRow kProfiles[] = {
    {"hard-rt", Profile::hard_rt, 100.0},
    {"low-latency", Profile::low_latency, 1000.0},
};

const ProfileRow& profile_row(Profile p) {
  return p == Profile::low_latency ? kProfiles[1] : kProfiles[0];
}

// Lowest score of each band, best band first.
struct VerdictBand {
  int32_t min_score;
  Verdict verdict;
};

constexpr VerdictBand kVerdictBands[] = {
    {90, Verdict::excellent},
    {75, Verdict::good},
    {55, Verdict::marginal},
    {35, Verdict::poor},
};

constexpr const char* kVerdictTexts[] = {
    "unknown", "excellent", "good", "marginal", "poor", "unsuitable",
};

}  // namespace

const char* severity_name(Severity s) {
  return severity_row(s).name;
}

const char* severity_tag(Severity s, bool ascii) {
  const SeverityRow& row = severity_row(s);
  return ascii ? row.ascii_tag : row.symbol_tag;
}

bool severity_is_scored(Severity s) {
  return severity_row(s).scored;
}

double severity_factor(Severity s) {
  return severity_row(s).factor;
}

int severity_rank(Severity s) {
  return severity_row(s).rank;
}

const char* category_id(Category c) {
  const CategoryRow* row = category_row(c);
  return row ? row->id : "other";
}

const char* category_name(Category c) {
  const CategoryRow* row = category_row(c);
  return row ? row->name : "Other";
}

int32_t category_weight(Category c, bool measured) {
  const CategoryRow* row = category_row(c);
  if (!row) return 0;
  return measured ? row->weight_measured : row->weight;
}

const char* profile_name(Profile p) {
  return profile_row(p).name;
}

bool parse_profile(const char* text, Profile* out) {
  if (!text) return false;
  for (const ProfileRow& row : kProfiles) {
    if (strcmp(text, row.name) == 0) {
      *out = row.profile;
      return true;
    }
  }
  return false;
}

double default_target_us(Profile p) {
  return profile_row(p).default_target_us;
}

Verdict verdict_of(bool score_valid, int32_t score) {
  if (!score_valid) return Verdict::unknown;
  for (const VerdictBand& band : kVerdictBands) {
    if (score >= band.min_score) return band.verdict;
  }
  return Verdict::unsuitable;
}

const char* verdict_text(Verdict v) {
  size_t i = static_cast<size_t>(v);
  return i < sizeof(kVerdictTexts) / sizeof(kVerdictTexts[0]) ? kVerdictTexts[i] : "unknown";
}

const char* verdict_name(bool score_valid, int32_t score) {
  return verdict_text(verdict_of(score_valid, score));
}

Finding* add_finding(Report* report, const char* id, Category category, Severity severity,
                     StrView title) {
  Finding* f = arena_new<Finding>(report->arena);
  f->id = id;
  f->category = category;
  f->severity = severity;
  f->title = title;
  f->weight = 1.0;
  list_push(report->arena, &report->findings, f);
  return f;
}

void finding_set_detail(Finding* f, StrView text) {
  f->detail = text;
}

void finding_set_impact(Finding* f, StrView text) {
  f->impact = text;
}

void finding_set_remediation(Finding* f, StrView text) {
  f->remediation = text;
}

void finding_set_cmdline(Finding* f, StrView text) {
  f->cmdline = text;
}

void finding_set_weight(Finding* f, double w) {
  f->weight = w;
}

void finding_add_evidence(Report* report, Finding* f, StrView key, StrView value) {
  list_push(report->arena, &f->evidence, Evidence{key, value});
}

void finding_add_evidence_cstr(Report* report, Finding* f, const char* key, StrView value) {
  finding_add_evidence(report, f, sv_from_cstr(key), value);
}

void finding_set_sysctl(Finding* f, StrView text) {
  f->sysctl = text;
}
