#include "report/diff.h"

#include <algorithm>

#include "base/str_index.h"

namespace {

StrView id_of(const Finding* f) {
  return sv_from_cstr(f->id ? f->id : "");
}

// The thing a finding names: its first evidence key, else its title.
StrView subject_of(const Finding* f) {
  return f->evidence.count > 0 ? f->evidence[0].key : f->title;
}

// How often each id occurs on each side, by the id's slot in the index.
struct IdTally {
  StrIndex index;
  uint32_t* old_n;
  uint32_t* new_n;
};

void tally_ids(Arena* a, IdTally* t, const Report* r, uint32_t* counts) {
  for (const Finding* f : r->findings) {
    if (!f) continue;
    uint32_t slot = 0;
    strindex_add(&t->index, a, id_of(f), static_cast<uint32_t>(t->index.count), &slot);
    counts[slot]++;
  }
}

// The matching key: the id alone, or the id and the subject when the id
// occurs more than once on either side. The unit separator cannot occur in
// an id kelvane writes.
StrView match_key(Arena* a, const IdTally* t, const Finding* f) {
  StrView id = id_of(f);
  uint32_t slot = 0;
  strindex_find(&t->index, id, &slot);
  if (t->old_n[slot] <= 1 && t->new_n[slot] <= 1) return id;
  StrView subject = subject_of(f);
  return arena_sprintf(a, "%.*s\x1f%.*s", SV_ARG(id), SV_ARG(subject));
}

// The old findings under one key, in report order, not yet matched.
struct Chain {
  int32_t head;
  int32_t tail;
};

struct OldIndex {
  StrIndex keys;
  Chain* chains;  // by key slot
  int32_t* next;  // by old finding: the next one with the same key, or -1
};

void index_old(Arena* a, const IdTally* t, const Report* r, OldIndex* ix) {
  size_t n = r->findings.count;
  strindex_init(&ix->keys, a, n);
  ix->chains = arena_array<Chain>(a, n + 1);
  ix->next = arena_array<int32_t>(a, n + 1);
  for (size_t i = 0; i < n; i++) {
    ix->next[i] = -1;
    const Finding* f = r->findings[i];
    if (!f) continue;
    auto at = static_cast<int32_t>(i);
    uint32_t slot = 0;
    if (strindex_add(&ix->keys, a, match_key(a, t, f), static_cast<uint32_t>(ix->keys.count),
                     &slot)) {
      ix->chains[slot] = {at, at};
    } else {
      Chain* c = &ix->chains[slot];
      if (c->tail >= 0) ix->next[c->tail] = at;
      if (c->head < 0) c->head = at;
      c->tail = at;
    }
  }
}

// Takes the first unmatched old finding with the key, or -1.
int32_t take_old(OldIndex* ix, StrView key) {
  uint32_t slot = 0;
  if (!strindex_find(&ix->keys, key, &slot)) return -1;
  Chain* c = &ix->chains[slot];
  int32_t i = c->head;
  if (i >= 0) c->head = ix->next[i];
  if (c->head < 0) c->tail = -1;
  return i;
}

void classify(Arena* a, ReportDiff* d, const Finding* o, const Finding* n) {
  int before = o ? severity_badness(o->severity) : 0;
  int after = n ? severity_badness(n->severity) : 0;
  DiffEntry e = {o, n};
  const Finding* f = n ? n : o;
  if (d->conditions_differ.ptr && f->category == Category::measured) {
    if (before > 0 || after > 0) list_push(a, &d->still_open, e);
    return;
  }
  if (after > before) {
    list_push(a, &d->regressed, e);
  } else if (before > 0 && (!n || n->severity == Severity::pass)) {
    list_push(a, &d->fixed, e);
  } else if (before > 0 || after > 0) {
    list_push(a, &d->still_open, e);
  }
}

bool entry_before(const DiffEntry& x, const DiffEntry& y) {
  const Finding* a = diff_entry_finding(&x);
  const Finding* b = diff_entry_finding(&y);
  if (a->category != b->category) return a->category < b->category;
  int c = sv_compare(id_of(a), id_of(b));
  if (c != 0) return c < 0;
  c = sv_compare(subject_of(a), subject_of(b));
  if (c != 0) return c < 0;
  int na = x.new_f ? severity_badness(x.new_f->severity) : -1;
  int nb = y.new_f ? severity_badness(y.new_f->severity) : -1;
  if (na != nb) return na > nb;
  int oa = x.old_f ? severity_badness(x.old_f->severity) : -1;
  int ob = y.old_f ? severity_badness(y.old_f->severity) : -1;
  return oa > ob;
}

void sort_entries(List<DiffEntry>* l) {
  std::sort(l->begin(), l->end(), entry_before);
}

}  // namespace

int severity_badness(Severity s) {
  switch (s) {
    case Severity::fail: return 2;
    case Severity::warn: return 1;
    default: return 0;
  }
}

void diff_reports(Arena* a, const Report* old_r, const Report* new_r, ReportDiff* out) {
  out->old_r = old_r;
  out->new_r = new_r;
  out->fixed = {};
  out->regressed = {};
  out->still_open = {};
  out->conditions_differ = old_r->snapshot && new_r->snapshot
                               ? measure_conditions_differ(a, old_r->snapshot, new_r->snapshot)
                               : kNoneView;
  size_t n_old = old_r->findings.count, n_new = new_r->findings.count;
  IdTally t = {};
  strindex_init(&t.index, a, n_old + n_new);
  t.old_n = arena_array<uint32_t>(a, n_old + n_new + 1);
  t.new_n = arena_array<uint32_t>(a, n_old + n_new + 1);
  tally_ids(a, &t, old_r, t.old_n);
  tally_ids(a, &t, new_r, t.new_n);

  OldIndex ix = {};
  index_old(a, &t, old_r, &ix);
  bool* matched = arena_array<bool>(a, n_old + 1);
  for (const Finding* f : new_r->findings) {
    if (!f) continue;
    int32_t i = take_old(&ix, match_key(a, &t, f));
    if (i >= 0) matched[i] = true;
    classify(a, out, i >= 0 ? old_r->findings[static_cast<size_t>(i)] : nullptr, f);
  }
  for (size_t i = 0; i < n_old; i++) {
    if (!matched[i] && old_r->findings[i]) classify(a, out, old_r->findings[i], nullptr);
  }
  sort_entries(&out->fixed);
  sort_entries(&out->regressed);
  sort_entries(&out->still_open);
}

bool diff_score_dropped(const ReportDiff* d) {
  return d->old_r->score_valid && d->new_r->score_valid && d->new_r->score < d->old_r->score;
}

bool diff_changed(const ReportDiff* d) {
  const Report* o = d->old_r;
  const Report* n = d->new_r;
  if (d->fixed.count || d->regressed.count) return true;
  if (o->score_valid != n->score_valid || o->score != n->score) return true;
  for (int c = 0; c < kCategoryCount; c++) {
    if (o->category_scored[c] != n->category_scored[c] ||
        o->category_score[c] != n->category_score[c]) {
      return true;
    }
  }
  for (const DiffEntry& e : d->still_open) {
    if (!e.old_f || !e.new_f || e.old_f->severity != e.new_f->severity) return true;
  }
  return false;
}

int diff_exit_status(const ReportDiff* d) {
  return d->regressed.count > 0 || diff_score_dropped(d) ? 1 : 0;
}
