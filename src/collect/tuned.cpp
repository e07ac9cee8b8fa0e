#include "collect/tuned.h"

#include "base/cpuset.h"
#include "collect/snapshot.h"
#include "source/source.h"

namespace {

// Profiles whose variables file names the isolated cores.
constexpr const char* kIsolatingProfiles[] = {"realtime", "cpu-partitioning"};

// value with its ${name} references filled from vars; absent when a
// reference is not an earlier variable.
StrView expand_refs(Arena* a, StrView value, const KvList* vars) {
  StrBuf sb;
  sb_init(&sb, a);
  StrView rest = value;
  StrView before, after;
  while (sv_split_once(rest, '$', &before, &after)) {
    sb_append_view(&sb, before);
    StrView name, tail;
    if (!sv_consume_prefix(&after, sv_lit("{")) || !sv_split_once(after, '}', &name, &tail)) {
      return kNoneView;
    }
    StrView v = kv_get(vars, arena_cstr(a, name));
    if (!v.ptr) return kNoneView;
    sb_append_view(&sb, v);
    rest = tail;
  }
  sb_append_view(&sb, before);
  return sb_view(&sb);
}

bool isolating(StrView profile) {
  for (const char* p : kIsolatingProfiles) {
    if (sv_eq_cstr(profile, p)) return true;
  }
  return false;
}

}  // namespace

void parse_tuned_variables(Arena* a, StrView text, KvList* out) {
  StrView cur = text;
  while (cur.ptr) {
    StrView line = sv_trim(sv_next_line(&cur));
    if (line.len == 0 || line.ptr[0] == '#') continue;
    StrView key, value;
    if (!sv_split_once(line, '=', &key, &value)) continue;
    kv_add(a, out, sv_trim(key), expand_refs(a, sv_trim(value), out));
  }
}

void collect_tuned(Snapshot* snap) {
  Source* src = snap->src;
  if (!source_exists(src, "/etc/tuned/active_profile")) return;
  snap->tuned_profile = source_read_trimmed(src, "/etc/tuned/active_profile");
  StrView cur = snap->tuned_profile;
  while (cur.ptr) {
    StrView word = sv_next_token(&cur, " \t");
    if (!isolating(word)) continue;
    const char* path =
        arena_cstr(snap->arena, arena_sprintf(snap->arena, "/etc/tuned/%.*s-variables.conf", SV_ARG(word)));
    if (!source_exists(src, path)) continue;
    KvList vars{};
    parse_tuned_variables(snap->arena, source_read(src, path), &vars);
    snap->tuned_variables_file = sv_from_cstr(path);
    StrView cores = kv_get(&vars, "isolated_cores");
    if (!cores.ptr) return;
    snap->tuned_isolated_cores.has = true;
    cpuset_parse_list(&snap->tuned_isolated_cores.value, cores);
    return;
  }
}
