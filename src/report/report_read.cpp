#include "report/report_read.h"

#include <simdjson.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "collect/snapshot.h"

namespace {

using simdjson::SUCCESS;
using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

StrView copy(Arena* a, std::string_view s) {
  return arena_strndup(a, sv_make(s.data(), s.size()));
}

bool member_string(const object& o, const char* key, std::string_view* out) {
  return o[key].get_string().get(*out) == SUCCESS;
}

// A text member that may be missing, null or of another type: absent then.
StrView optional_text(Arena* a, const object& o, const char* key) {
  std::string_view s;
  return member_string(o, key, &s) ? copy(a, s) : kNoneView;
}

// The severity named by its text; one this version does not know reads as na.
Severity severity_from_name(std::string_view name) {
  for (int i = 0; i < kSeverityCount; i++) {
    auto s = static_cast<Severity>(i);
    if (name == severity_name(s)) return s;
  }
  return Severity::na;
}

// The category with this id, or the value past the last ("other").
Category category_from_id(std::string_view id) {
  for (int i = 0; i < kCategoryCount; i++) {
    auto c = static_cast<Category>(i);
    if (id == category_id(c)) return c;
  }
  return static_cast<Category>(kCategoryCount);
}

// A score: an integer from 0 to 100.
bool read_score(element e, int32_t* out) {
  int64_t v = 0;
  if (e.get_int64().get(v) != SUCCESS || v < 0 || v > 100) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// [key, value] pairs; items of another shape are skipped.
void read_evidence(Report* r, Finding* f, const object& o) {
  array items;
  if (o["evidence"].get_array().get(items) != SUCCESS) return;
  for (element item : items) {
    array pair;
    std::string_view key, value;
    if (item.get_array().get(pair) != SUCCESS || pair.at(0).get_string().get(key) != SUCCESS ||
        pair.at(1).get_string().get(value) != SUCCESS) {
      continue;
    }
    finding_add_evidence(r, f, copy(r->arena, key), copy(r->arena, value));
  }
}

bool read_finding(Report* r, element e) {
  Arena* a = r->arena;
  object o;
  std::string_view id, category, severity, title;
  if (e.get_object().get(o) != SUCCESS || !member_string(o, "id", &id) ||
      !member_string(o, "category", &category) || !member_string(o, "severity", &severity) ||
      !member_string(o, "title", &title)) {
    return false;
  }
  Finding* f = add_finding(r, arena_cstr(a, copy(a, id)), category_from_id(category),
                           severity_from_name(severity), copy(a, title));
  finding_set_detail(f, optional_text(a, o, "detail"));
  finding_set_impact(f, optional_text(a, o, "impact"));
  finding_set_remediation(f, optional_text(a, o, "remediation"));
  double weight = 0;
  if (o["weight"].get_double().get(weight) == SUCCESS) finding_set_weight(f, weight);
  read_evidence(r, f, o);
  return true;
}

bool read_category_scores(Report* r, const object& top) {
  object scores;
  if (top["category_scores"].get_object().get(scores) != SUCCESS) return false;
  for (simdjson::dom::key_value_pair m : scores) {
    int32_t score = 0;
    if (!read_score(m.value, &score)) return false;
    Category c = category_from_id(m.key);
    auto i = static_cast<int>(c);
    if (i >= kCategoryCount) continue;
    r->category_scored[i] = true;
    r->category_score[i] = score;
  }
  return true;
}

bool read_header(Report* r, const object& top) {
  element score;
  if (top["score"].get(score) != SUCCESS) return false;
  if (!score.is_null()) {
    if (!read_score(score, &r->score)) return false;
    r->score_valid = true;
  }
  std::string_view profile;
  if (member_string(top, "profile", &profile)) {
    parse_profile(arena_cstr(r->arena, copy(r->arena, profile)), &r->profile);
  }
  double target = 0;
  if (top["target_us"].get_double().get(target) == SUCCESS) r->target_us = target;
  bool measured = false;
  if (top["measured"].get_bool().get(measured) == SUCCESS) r->measured = measured;
  return true;
}

int32_t member_int(const object& o, const char* key) {
  int64_t v = 0;
  if (o[key].get_int64().get(v) != SUCCESS || v < INT32_MIN || v > INT32_MAX) return 0;
  return static_cast<int32_t>(v);
}

void member_cpus(Arena* a, const object& o, const char* key, CpuSet* out) {
  StrView text = optional_text(a, o, key);
  if (sv_present(text)) cpuset_parse_list(out, text);
}

// The measurement's source, duration, CPUs and conditions, what kelvane
// diff compares; the figures themselves stand in the findings.
void read_measured(Arena* a, const object& snap, Measurement* m) {
  object mo;
  if (snap["measured"].get_object().get(mo) != SUCCESS) return;
  m->valid = true;
  m->source = optional_text(a, mo, "source");
  double d = 0;
  if (mo["duration_s"].get_double().get(d) == SUCCESS) m->duration_s = d;
  member_cpus(a, mo, "cpus", &m->cpus);
  object co;
  if (mo["conditions"].get_object().get(co) != SUCCESS) return;
  MeasureConditions* c = &m->cond;
  c->tool_version = optional_text(a, co, "version");
  c->priority = member_int(co, "priority");
  c->interval_us = member_int(co, "interval_us");
  c->pm_qos = optional_text(a, co, "pm_qos");
  int64_t us = 0;
  if (co["pm_qos_us"].get_int64().get(us) == SUCCESS && us >= 0 && us <= INT32_MAX)
    c->pm_qos_us = opt_some(static_cast<int32_t>(us));
  c->pm_qos_holder = optional_text(a, co, "pm_qos_holder");
  c->load = optional_text(a, co, "load");
  member_cpus(a, co, "load_cpus", &c->load_cpus);
}

// What the document says about the machine and the program that wrote it.
Snapshot* read_snapshot(Arena* a, const object& top, std::string_view version) {
  Snapshot* s = arena_new<Snapshot>(a);
  s->arena = a;
  s->tool_version = copy(a, version);
  object snap;
  if (top["snapshot"].get_object().get(snap) == SUCCESS) {
    s->host = optional_text(a, snap, "host");
    s->source = optional_text(a, snap, "source");
    read_measured(a, snap, &s->measured);
  }
  return s;
}

// A key given twice in one object: the document says two things, and which
// one a reader takes differs between readers, so it is not a report. Every
// object of the document is checked, each in O(n log n) of its keys.
bool has_duplicate_key(Arena* a, element e) {
  array items;
  if (e.get_array().get(items) == SUCCESS) {
    for (element item : items) {
      if (has_duplicate_key(a, item)) return true;
    }
    return false;
  }
  object o;
  if (e.get_object().get(o) != SUCCESS) return false;
  size_t n = o.size();
  std::string_view* keys = arena_array<std::string_view>(a, n ? n : 1);
  size_t k = 0;
  for (simdjson::dom::key_value_pair m : o) {
    if (k < n) keys[k++] = m.key;
    if (has_duplicate_key(a, m.value)) return true;
  }
  std::sort(keys, keys + k);
  return std::adjacent_find(keys, keys + k) != keys + k;
}

}  // namespace

bool report_read_json(Arena* a, StrView bytes, Report* out) {
  memset(out, 0, sizeof *out);
  out->arena = a;
  // The parser reads up to SIMDJSON_PADDING bytes past the end of the text.
  char* buf = static_cast<char*>(arena_alloc(a, bytes.len + simdjson::SIMDJSON_PADDING));
  if (bytes.len) memcpy(buf, bytes.ptr, bytes.len);
  simdjson::dom::parser parser;
  element doc;
  object top;
  array findings;
  std::string_view version;
  if (parser.parse(buf, bytes.len, false).get(doc) != SUCCESS ||
      doc.get_object().get(top) != SUCCESS || has_duplicate_key(a, doc) ||
      !member_string(top, "tool_version", &version) ||
      top["findings"].get_array().get(findings) != SUCCESS || !read_header(out, top) ||
      !read_category_scores(out, top)) {
    return false;
  }
  out->snapshot = read_snapshot(a, top, version);
  for (element f : findings) {
    if (!read_finding(out, f)) return false;
  }
  return true;
}
