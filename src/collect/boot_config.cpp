#include "collect/boot_config.h"

#include "base/boot_params_read.h"
#include "collect/bls_entry.h"
#include "collect/cmdline.h"
#include "collect/grub_default.h"
#include "collect/snapshot.h"
#include "collect/sysfs.h"
#include "source/source.h"

namespace {

constexpr const char* kGrubenvFiles[] = {"/boot/grub2/grubenv", "/boot/grub/grubenv"};
constexpr const char* kKernelCmdline = "/etc/kernel/cmdline";
constexpr const char* kGrubDefault = "/etc/default/grub";

// The configuration files of each boot loader, for saying which one was
// compared when several are present.

struct BootScan {
  Snapshot* snap;
  KvList env;        // grubenv variables
  StrView env_file;  // the grubenv read, or absent
  bool env_used;
};

// Words "$name" or "${name}" that name a grubenv variable become its value;
// GRUB expands them when it boots the entry.
StrView expand_env(BootScan* b, StrView text, bool* unresolved) {
  Arena* a = b->snap->arena;
  StrBuf out;
  sb_init(&out, a);
  StrView cur = text;
  while (cur.ptr) {
    StrView w = sv_next_token(&cur, " \t");
    if (w.len == 0) continue;
    StrView name = w;
    StrView value = kNoneView;
    if (sv_consume_prefix(&name, sv_lit("$"))) {
      if (sv_consume_prefix(&name, sv_lit("{"))) sv_consume_suffix(&name, sv_lit("}"));
      value = kv_get(&b->env, arena_cstr(a, name));
      *unresolved = *unresolved || !value.ptr;
    }
    if (out.len > 0) sb_append_char(&out, ' ');
    sb_append_view(&out, value.ptr ? value : w);
    b->env_used = b->env_used || value.ptr;
  }
  return sb_view(&out);
}

void add_line(BootScan* b, BootTarget* t, StrView file, int32_t line, StrView text) {
  Arena* a = b->snap->arena;
  BootLine* bl = list_grow(a, &t->lines);
  bl->file = file;
  bl->line = line;
  bl->text = expand_env(b, text, &t->unresolved);
  parse_cmdline_words(a, bl->text, &bl->params);
  boot_line_check(a, bl, &b->snap->boot_config.problems);
}

void add_file(BootScan* b, StrView file) {
  BootConfig* bc = &b->snap->boot_config;
  if (!strlist_contains(&bc->files, file)) strlist_add(b->snap->arena, &bc->files, file);
}

void read_grubenv(BootScan* b) {
  for (const char* path : kGrubenvFiles) {
    StrView text = read_if_present(b->snap->src, path);
    if (!text.ptr) continue;
    parse_grubenv(b->snap->arena, text, &b->env);
    b->env_file = sv_from_cstr(path);
    return;
  }
}

// The entry that boots the running kernel: its version line is the release,
// or its linux line names it ("/vmlinuz-RELEASE", "/MACHINE-ID/RELEASE/linux").
bool entry_runs(Arena* a, const BlsEntry* e, StrView release) {
  if (!release.ptr || release.len == 0) return false;
  if (sv_eq(e->version, release) || !e->linux.ptr) return sv_eq(e->version, release);
  StrView tail = arena_sprintf(a, "-%.*s", SV_ARG(release));
  StrView dir = arena_sprintf(a, "/%.*s/", SV_ARG(release));
  return (e->linux.len >= tail.len &&
          sv_eq(sv_slice(e->linux, e->linux.len - tail.len, e->linux.len), tail)) ||
         sv_contains(e->linux, dir.ptr);
}

void add_entry(BootScan* b, StrView file, const BlsEntry* e) {
  Arena* a = b->snap->arena;
  BootTarget* t = list_grow(a, &b->snap->boot_config.targets);
  t->label = file;
  for (const BlsOptions& o : e->options) add_line(b, t, file, o.line, o.text);
  add_file(b, file);
}

// The entry GRUB boots by default: grubenv's saved_entry names its file.
bool is_default_entry(const BootScan* b, StrView file) {
  StrView saved = kv_get(&b->env, "saved_entry");
  if (!saved.ptr || saved.len == 0) return false;
  StrView name = file;
  sv_consume_prefix(&name, sv_lit("/boot/loader/entries/"));
  sv_consume_suffix(&name, sv_lit(".conf"));
  return sv_eq(name, saved);
}

bool collect_bls(BootScan* b) {
  Snapshot* snap = b->snap;
  StrList files{};
  source_glob(snap->src, "/boot/loader/entries/*.conf", &files);
  bool running = false;
  for (StrView f : files) {
    BlsEntry e{};
    parse_bls_entry(snap->arena, source_read_view(snap->src, f), &e);
    bool runs = entry_runs(snap->arena, &e, snap->release);
    if (!runs && !is_default_entry(b, f)) continue;
    running = running || runs;
    add_entry(b, f, &e);
  }
  if (running) return true;
  snap->boot_config.targets = {};  // a default entry alone says nothing of this boot
  snap->boot_config.files = {};
  snap->boot_config.problems = {};
  b->env_used = false;
  return false;
}

// /etc/kernel/cmdline: the whole file is the command line kernel-install
// writes into the entries it creates (kernel-install(8)); "#" lines are
// comments.
bool collect_kernel_cmdline(BootScan* b) {
  StrView text = read_if_present(b->snap->src, kKernelCmdline);
  if (!text.ptr) return false;
  BootTarget* t = list_grow(b->snap->arena, &b->snap->boot_config.targets);
  t->label = sv_from_cstr(kKernelCmdline);
  StrView cur = text;
  int32_t line = 0;
  while (cur.ptr) {
    StrView l = sv_trim(sv_next_line(&cur));
    line++;
    if (l.len > 0 && l.ptr[0] != '#') add_line(b, t, t->label, line, l);
  }
  add_file(b, t->label);
  return true;
}

void grub_problem(BootScan* b, StrView file, int32_t line) {
  BootProblem p{file, line, sv_lit("unbalanced quote"), kNoneView};
  list_push(b->snap->arena, &b->snap->boot_config.problems, p);
}

// GRUB_CMDLINE_LINUX, then GRUB_CMDLINE_LINUX_DEFAULT: the line of a normal
// (not recovery) menu entry (GRUB manual, "Simple configuration handling").
bool collect_grub_defaults(BootScan* b) {
  Snapshot* snap = b->snap;
  StrList files{};
  if (source_exists(snap->src, kGrubDefault)) strlist_add(snap->arena, &files, sv_from_cstr(kGrubDefault));
  source_glob(snap->src, "/etc/default/grub.d/*.cfg", &files);
  if (files.count == 0) return false;
  ShellVars vars{};
  List<StrView> origin{};  // the file of each assignment
  for (StrView f : files) {
    int32_t bad = parse_grub_default(snap->arena, source_read_view(snap->src, f), &vars);
    while (origin.count < vars.assigns.count) list_push(snap->arena, &origin, f);
    if (bad) grub_problem(b, f, bad);
    add_file(b, f);
  }
  BootTarget* t = list_grow(snap->arena, &snap->boot_config.targets);
  t->label = sv_lit("GRUB defaults");
  static constexpr const char* kCmdlineVars[] = {"GRUB_CMDLINE_LINUX", "GRUB_CMDLINE_LINUX_DEFAULT"};
  for (const char* name : kCmdlineVars) {
    const ShellAssign* v = shell_vars_get(&vars, name);
    if (v) add_line(b, t, origin[static_cast<size_t>(v - vars.assigns.items)], v->line, v->value);
  }
  return true;
}

// The boot configurations in the order they are tried: what the report calls
// each, the path whose presence shows it, and how it is read.
struct Loader {
  const char* used;
  const char* mark;
  bool (*run)(BootScan* b);
};

constexpr Loader kLoaders[] = {
    {"boot loader entries", "/boot/loader/entries", collect_bls},
    {"/etc/kernel/cmdline", kKernelCmdline, collect_kernel_cmdline},
    {"GRUB defaults", kGrubDefault, collect_grub_defaults},
};

void note_others(Snapshot* snap, const Loader* used) {
  for (const Loader& l : kLoaders) {
    if (&l == used || !source_exists(snap->src, l.mark)) continue;
    strlist_add(snap->arena, &snap->boot_config.others, sv_from_cstr(l.mark));
  }
}

}  // namespace

void boot_line_check(Arena* a, const BootLine* bl, List<BootProblem>* problems) {
  // The kernel reads a double quote as protecting blanks up to the next one;
  // an odd count runs the rest of the line into one value.
  size_t quotes = 0;
  for (size_t i = 0; i < bl->text.len; i++) quotes += bl->text.ptr[i] == '"';
  if (quotes % 2) {
    list_push(a, problems, BootProblem{bl->file, bl->line, sv_lit("unbalanced quote"), kNoneView});
  }
  for (const KvPair& kv : bl->params) {
    const BootParamRead* p = boot_param_read_find(kv.key);
    bool list = p && (p->kind == BootValueKind::cpulist || p->kind == BootValueKind::isolcpus);
    if (list && kv.value.ptr && kv.value.len == 0) {
      StrView what = arena_sprintf(a, "%s= is empty", p->name);
      list_push(a, problems, BootProblem{bl->file, bl->line, what, sv_from_cstr(p->name)});
      continue;
    }
    for (size_t i = 0; kv.value.ptr && i < kBootParamsReadCount; i++) {
      StrView glued = arena_sprintf(a, "%s=", kBootParamsRead[i].name);
      if (!sv_contains(kv.value, glued.ptr)) continue;
      StrView what = arena_sprintf(a, "%.*s=%.*s glues two parameters together", SV_ARG(kv.key),
                                   SV_ARG(kv.value));
      list_push(a, problems, BootProblem{bl->file, bl->line, what, kv.key});
      break;
    }
  }
}

void collect_boot_config(Snapshot* snap) {
  BootScan b{snap, {}, kNoneView, false};
  read_grubenv(&b);
  for (const Loader& step : kLoaders) {
    if (!step.run(&b)) continue;
    snap->boot_config.used = sv_from_cstr(step.used);
    if (b.env_used) add_file(&b, b.env_file);
    note_others(snap, &step);
    return;
  }
}
