#include "collect/consoles.h"

#include "base/parse.h"
#include "collect/sysfs.h"
#include "source/source.h"

namespace {

// The flag field between parentheses, one letter or a blank per flag
// (fs/proc/consoles.c). Kernels with nbcon consoles print seven flags with
// N fourth; older ones print six, without it. The layout is told by the
// field itself: any other length or letter is not a console line.
constexpr StrView kLegacyFlags = sv_lit("ECBpba");
constexpr StrView kNbconFlags = sv_lit("ECBNpba");
constexpr size_t kNbconAt = 3;

bool flags_match(StrView field, StrView layout) {
  if (field.len != layout.len) return false;
  for (size_t i = 0; i < field.len; i++) {
    if (field.ptr[i] != ' ' && field.ptr[i] != layout.ptr[i]) return false;
  }
  return true;
}

bool parse_console_line(Arena* a, StrView line, Console* out) {
  StrView cur = line;
  StrView name = sv_next_token(&cur, " ");
  StrView before, rest, field, after;
  if (name.len == 0 || !cur.ptr) return false;
  sv_split_once(cur, '(', &before, &rest);
  if (!rest.ptr) return false;
  sv_split_once(rest, ')', &field, &after);
  if (!after.ptr) return false;
  bool nbcon_layout = flags_match(field, kNbconFlags);
  if (!nbcon_layout && !flags_match(field, kLegacyFlags)) return false;
  out->name = arena_strndup(a, name);
  out->enabled = field.ptr[0] == 'E';
  out->nbcon = nbcon_layout && field.ptr[kNbconAt] == 'N';
  return true;
}

}  // namespace

bool parse_consoles(Arena* a, StrView text, List<Console>* out) {
  StrView cur = text;
  bool all = true;
  while (cur.ptr) {
    StrView line = sv_next_line(&cur);
    Console c{};
    if (parse_console_line(a, line, &c))
      *list_grow(a, out) = c;
    else if (sv_trim(line).len > 0)
      all = false;
  }
  return all;
}

void collect_consoles(Snapshot* snap) {
  StrView text = read_if_present(snap->src, "/proc/consoles");
  if (text.ptr) {
    snap->consoles_read = parse_consoles(snap->arena, text, &snap->consoles);
  }
  // The first of kernel.printk's four numbers is the console log level
  // (Documentation/admin-guide/sysctl/kernel.rst, "printk").
  StrView printk = read_if_present(snap->src, "/proc/sys/kernel/printk");
  StrView cur = printk;
  int64_t level;
  if (printk.ptr && parse_i64(sv_next_token(&cur, " \t\n"), &level)) {
    snap->console_loglevel = opt_some(level);
  }
}
