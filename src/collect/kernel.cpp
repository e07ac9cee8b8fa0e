#include "collect/kernel.h"

#include "source/source.h"

namespace {

struct PreemptSymbol {
  const char* symbol;
  const char* model;
};

// The configuration's preemption model: the first enabled symbol wins, so a
// PREEMPT_RT kernel built with PREEMPT_LAZY as well reads as "rt".
constexpr PreemptSymbol kPreemptSymbols[] = {
    {"CONFIG_PREEMPT_RT", "rt"},
    {"CONFIG_PREEMPT_RT_FULL", "rt"},
    {"CONFIG_PREEMPT_LAZY", "lazy"},
    {"CONFIG_PREEMPT", "full"},
    {"CONFIG_PREEMPT_VOLUNTARY", "voluntary"},
    {"CONFIG_PREEMPT_NONE", "none"},
};

struct DebugOption {
  const char* symbol;
  const char* description;
};

// Debugging options that add work to hot paths; stored in this order.
// CONFIG_DEBUG_ATOMIC_SLEEP is not among them: the kernel's real-time
// configuration guide (Documentation/core-api/real-time/kernel-configuration.rst,
// "Allowed kernel debug options") allows it.
constexpr DebugOption kDebugOptions[] = {
    {"CONFIG_DEBUG_PREEMPT", "preemption accounting on every enable/disable"},
    {"CONFIG_PROVE_LOCKING", "lockdep validates every lock acquisition"},
    {"CONFIG_LOCKDEP", "lock dependency tracking"},
    {"CONFIG_DEBUG_OBJECTS", "object lifetime tracking on every alloc"},
    {"CONFIG_KASAN", "shadow-memory checks on every access"},
    {"CONFIG_LATENCYTOP", "per-task latency accounting"},
    {"CONFIG_SCHEDSTATS", "scheduler statistics on every context switch"},
    {"CONFIG_DEBUG_LIST", "list integrity checks in hot paths"},
    {"CONFIG_DEBUG_SPINLOCK", "spinlock ownership checks"},
};

// "# CONFIG_X is not set" -> X = "n"; every other comment is ignored.
void parse_comment_line(Arena* a, StrView line, KvList* list) {
  StrView key = line;
  if (!sv_consume_prefix(&key, sv_lit("# ")) || !sv_starts_with(key, "CONFIG_") ||
      !sv_consume_suffix(&key, sv_lit(" is not set")))
    return;
  kv_add(a, list, arena_strndup(a, sv_trim(key)), sv_lit("n"));
}

// Inside a pair of double quotes, or the text itself.
StrView unquote(StrView v) {
  StrView inner = v;
  if (v.len >= 2 && sv_consume_prefix(&inner, sv_lit("\"")) &&
      sv_consume_suffix(&inner, sv_lit("\"")))
    return inner;
  return v;
}

void parse_assignment_line(Arena* a, StrView line, KvList* list) {
  StrView key, value;
  if (!sv_split_once(line, '=', &key, &value)) return;
  value = unquote(sv_trim(value));
  kv_add(a, list, arena_strndup(a, sv_trim(key)), arena_strndup(a, value));
}

// The first candidate that reads and holds more than white space wins.
bool try_config(Snapshot* snap, StrView path) {
  StrView text = source_read_view(snap->src, path);
  if (!text.ptr || sv_trim(text).len == 0) return false;
  parse_kernel_config(snap->arena, text, &snap->config);
  snap->config_available = true;
  snap->config_source = path;
  return true;
}

// A release is only put into paths when it is a plain file-name part, so a
// hostile osrelease cannot steer the search to some other file.
bool release_usable(StrView release) {
  if (!release.ptr || release.len == 0) return false;
  if (sv_eq(release, sv_lit(".")) || sv_eq(release, sv_lit(".."))) return false;
  for (size_t i = 0; i < release.len; i++) {
    char c = release.ptr[i];
    if (c == '/' || c == '\0') return false;
  }
  return true;
}

void find_config(Snapshot* snap) {
  Arena* a = snap->arena;
  if (try_config(snap, sv_lit("/proc/config.gz"))) return;
  if (release_usable(snap->release)) {
    if (try_config(snap, arena_sprintf(a, "/boot/config-%.*s", SV_ARG(snap->release)))) return;
    if (try_config(snap,
                   arena_sprintf(a, "/lib/modules/%.*s/build/.config", SV_ARG(snap->release))))
      return;
  }
  StrList matches = {};
  source_glob(snap->src, "/boot/config-*", &matches);
  for (StrView path : matches) {
    if (try_config(snap, path)) return;
  }
}

void detect_rt(Snapshot* snap) {
  int64_t realtime = 0;
  if (source_read_int(snap->src, "/sys/kernel/realtime", 10, &realtime) && realtime == 1) {
    snap->rt_evidence = sv_lit("/sys/kernel/realtime = 1");
  } else if (sv_contains(snap->proc_version, "PREEMPT_RT") ||
             sv_contains(snap->proc_version, "PREEMPT RT")) {
    snap->rt_evidence = sv_lit("PREEMPT_RT in /proc/version");
  } else if (kv_is_enabled(&snap->config, "CONFIG_PREEMPT_RT") ||
             kv_is_enabled(&snap->config, "CONFIG_PREEMPT_RT_FULL")) {
    snap->rt_evidence = sv_lit("CONFIG_PREEMPT_RT=y");
  }
  snap->is_rt = snap->rt_evidence.ptr != nullptr;
}

StrView config_preempt_model(const KvList* config) {
  for (const PreemptSymbol& p : kPreemptSymbols) {
    if (kv_is_enabled(config, p.symbol)) return sv_from_cstr(p.model);
  }
  return kNoneView;
}

void detect_preempt_model(Snapshot* snap) {
  snap->config_preempt_model = config_preempt_model(&snap->config);
  snap->preempt_dynamic = kv_is_enabled(&snap->config, "CONFIG_PREEMPT_DYNAMIC");
  StrView active = parse_preempt_file(
      snap->arena, source_read_trimmed(snap->src, "/sys/kernel/debug/sched/preempt"),
      &snap->preempt_models);
  if (active.ptr) {
    snap->preempt_model = active;
  } else if (snap->is_rt) {
    snap->preempt_model = sv_lit("rt");
  } else {
    snap->preempt_model = snap->config_preempt_model;
  }
}

// CONFIG_HZ is the tick rate only when it is a positive number; anything else
// leaves the rate unknown rather than claiming a tickless or negative rate.
void read_hz(Snapshot* snap) {
  int64_t hz = 0;
  if (kv_get_int(&snap->config, "CONFIG_HZ", &hz) && hz > 0) {
    snap->hz.has = true;
    snap->hz.value = hz;
  }
}

void read_debug_options(Snapshot* snap) {
  for (const DebugOption& d : kDebugOptions) {
    if (kv_is_enabled(&snap->config, d.symbol))
      kv_add(snap->arena, &snap->debug_options, sv_from_cstr(d.symbol),
             sv_from_cstr(d.description));
  }
}

}  // namespace

// The scheduler's preempt file lists the models the kernel accepts, with the
// active one in parentheses: "none voluntary (full) lazy"
// (Documentation/scheduler/sched-preemption.rst). A bracketed piece is kept
// only when it is at least "(x)".
StrView parse_preempt_file(Arena* a, StrView text, StrList* models) {
  StrView active = kNoneView;
  StrView cur = text;
  while (cur.ptr) {
    StrView piece = sv_trim(sv_next_token(&cur, " \t\n"));
    if (piece.len == 0) continue;
    StrView inner = piece;
    bool bracketed = piece.len >= 3 && sv_consume_prefix(&inner, sv_lit("(")) &&
                     sv_consume_suffix(&inner, sv_lit(")"));
    if (bracketed && !active.ptr) active = inner;
    strlist_add(a, models, bracketed ? inner : piece);
  }
  return active;
}

void parse_kernel_config(Arena* a, StrView text, KvList* list) {
  StrView cur = text;
  while (cur.ptr) {
    StrView line = sv_trim(sv_next_line(&cur));
    if (line.len == 0) continue;
    if (line.ptr[0] == '#') {
      parse_comment_line(a, line, list);
    } else {
      parse_assignment_line(a, line, list);
    }
  }
  kv_index(a, list);
}

void collect_kernel(Snapshot* snap) {
  snap->proc_version = source_read_trimmed(snap->src, "/proc/version");
  snap->release = source_read_trimmed(snap->src, "/proc/sys/kernel/osrelease");
  find_config(snap);
  detect_rt(snap);
  detect_preempt_model(snap);
  read_hz(snap);
  read_debug_options(snap);
}
