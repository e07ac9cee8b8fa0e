#include "collect/sysctl_conf.h"

#include <cstdlib>

#include "collect/snapshot.h"
#include "source/source.h"

namespace {

constexpr const char* kSysctlDirs[] = {"/etc/sysctl.d", "/run/sysctl.d", "/usr/local/lib/sysctl.d",
                                       "/usr/lib/sysctl.d", "/lib/sysctl.d"};

// The dotted form of a key written as a path (first separator "/").
StrView dotted_key(Arena* a, StrView key) {
  size_t i = 0;
  while (i < key.len && key.ptr[i] != '/' && key.ptr[i] != '.') i++;
  if (i == key.len || key.ptr[i] == '.') return key;
  StrBuf sb;
  sb_init(&sb, a);
  for (size_t k = 0; k < key.len; k++) {
    char c = key.ptr[k];
    sb_append_char(&sb, c == '/' ? '.' : c == '.' ? '/' : c);
  }
  return sb_view(&sb);
}

StrView base_name(StrView path) {
  size_t i = path.len;
  while (i > 0 && path.ptr[i - 1] != '/') i--;
  return sv_slice(path, i, path.len);
}

int compare_by_name(const void* x, const void* y) {
  return sv_compare(base_name(*static_cast<const StrView*>(x)),
                    base_name(*static_cast<const StrView*>(y)));
}

}  // namespace

void parse_sysctl_conf(Arena* a, StrView text, StrView file, List<PersistedSysctl>* out) {
  StrView cur = text;
  int32_t line_no = 0;
  while (cur.ptr) {
    StrView line = sv_trim(sv_next_line(&cur));
    line_no++;
    if (line.len == 0 || line.ptr[0] == '#' || line.ptr[0] == ';') continue;
    sv_consume_prefix(&line, sv_lit("-"));
    StrView key, value;
    if (!sv_split_once(line, '=', &key, &value)) continue;
    key = sv_trim(key);
    if (key.len == 0) continue;
    list_push(a, out, PersistedSysctl{dotted_key(a, key), sv_trim(value), file, line_no});
  }
}

const PersistedSysctl* sysctl_conf_get(const SysctlConf* conf, const char* key) {
  for (size_t i = conf->entries.count; i-- > 0;) {
    if (sv_eq_cstr(conf->entries[i].key, key)) return &conf->entries[i];
  }
  return nullptr;
}

void collect_sysctl_conf(Snapshot* snap) {
  Arena* a = snap->arena;
  StrList files{};
  for (const char* dir : kSysctlDirs) {
    StrList found{};
    source_glob(snap->src, arena_cstr(a, arena_sprintf(a, "%s/*.conf", dir)), &found);
    for (StrView f : found) {
      bool hidden = false;
      for (StrView g : files) hidden = hidden || sv_eq(base_name(g), base_name(f));
      if (!hidden) strlist_add(a, &files, f);
    }
  }
  if (files.count > 1) qsort(files.items, files.count, sizeof(StrView), compare_by_name);
  if (source_exists(snap->src, "/etc/sysctl.conf")) strlist_add(a, &files, sv_lit("/etc/sysctl.conf"));
  SysctlConf* conf = &snap->sysctl_conf;
  for (StrView f : files) {
    StrView text = source_read_view(snap->src, f);
    if (!text.ptr) continue;
    strlist_add(a, &conf->files, f);
    parse_sysctl_conf(a, text, f, &conf->entries);
  }
}
