// "Idle states" of the HTML report: per CPU which idle states are enabled,
// under column heads that give each state's exit latency, and the CPU's
// latency floor.
#include <cstdint>

#include "report/html_escape.h"
#include "report/html_page.h"

namespace {

// The CPU's C-state floor from its own row.
StrView row_floor(const HtmlPage* p, const CpuIdle* row) {
  const IdleState* deepest = cpu_idle_deepest(row);
  return html_latency(p, deepest != nullptr,
                      deepest ? static_cast<double>(deepest->latency_us.value) : 0);
}

// One column per idle state, states told apart by name (by number when a
// state has no name), so that a CPU with fewer or other states keeps every
// cell under its own state and leaves the cells of states it lacks empty.
struct IdleColumn {
  const IdleState* head;  // the first state of the column's name: name and exit latency
  uint32_t next;          // the column to its right (by creation), kNoColumn at the end
  uint32_t slot;          // its place on the page, counted from the left
};

constexpr uint32_t kNoColumn = UINT32_MAX;

struct IdleTable {
  List<IdleColumn> cols;  // in order of creation
  StrIndex by_key;        // state key -> creation number
  uint32_t first;         // the leftmost column
};

StrView state_key(Arena* a, const IdleState& st) {
  return st.name.ptr ? st.name : arena_sprintf(a, "state%d", st.index);
}

// A state no earlier CPU had goes right after the state before it on its
// own CPU (leftmost when it is its CPU's first), so columns keep the order
// of the states.
void add_column(IdleTable* t, Arena* a, const IdleState& st, uint32_t* after) {
  uint32_t prev = *after;
  uint32_t n = static_cast<uint32_t>(t->cols.count);
  if (!strindex_add(&t->by_key, a, state_key(a, st), n, after)) return;
  list_grow(a, &t->cols)->head = &st;
  uint32_t* link = prev == kNoColumn ? &t->first : &t->cols[prev].next;
  t->cols[n].next = *link;
  *link = n;
}

IdleTable idle_table(Arena* a, const List<CpuIdle>& rows) {
  IdleTable t{};
  t.first = kNoColumn;
  strindex_init(&t.by_key, a, rows[0].states.count);
  for (const CpuIdle& row : rows) {
    uint32_t after = kNoColumn;
    for (const IdleState& st : row.states) add_column(&t, a, st, &after);
  }
  uint32_t slot = 0;
  for (uint32_t c = t.first; c != kNoColumn; c = t.cols[c].next) t.cols[c].slot = slot++;
  return t;
}

void write_idle_head(const HtmlPage* p, const IdleTable* t) {
  FILE* out = p->out;
  fputs("<div class=\"scroll\"><table class=\"data\"><thead><tr><th>CPU</th>", out);
  for (uint32_t c = t->first; c != kNoColumn; c = t->cols[c].next) {
    const IdleState* st = t->cols[c].head;
    fputs("<th>", out);
    html_escape(out, st->name);
    fputs("<br><span class=\"unit\">", out);
    html_escape(out,
                html_latency(p, st->latency_us.has, static_cast<double>(st->latency_us.value)));
    fputs("</span></th>", out);
  }
  fputs("<th>Latency floor</th></tr></thead><tbody>\n", out);
}

// A CPU's row: each of its states in its column (the first of a name when a
// CPU repeats one), an empty cell where it lacks a state.
void write_idle_row(const HtmlPage* p, const IdleTable* t, const CpuIdle& row,
                    const IdleState** cells) {
  FILE* out = p->out;
  size_t ncols = t->cols.count;
  for (size_t k = 0; k < ncols; k++) cells[k] = nullptr;
  for (const IdleState& st : row.states) {
    uint32_t c = 0;
    strindex_find(&t->by_key, state_key(p->arena, st), &c);
    const IdleState** cell = &cells[t->cols[c].slot];
    if (!*cell) *cell = &st;
  }
  fprintf(out, "<tr><td>%d</td>", static_cast<int>(row.cpu));
  for (size_t k = 0; k < ncols; k++) {
    if (!cells[k]) {
      fputs("<td></td>", out);
      continue;
    }
    const char* v = cells[k]->disabled ? "off" : "on";
    fprintf(out, "<td class=\"%s\">%s</td>", v, v);
  }
  fputs("<td><strong>", out);
  html_escape(out, row_floor(p, &row));
  fputs("</strong></td></tr>\n", out);
}

}  // namespace

void html_write_idle(const HtmlPage* p) {
  const List<CpuIdle>& rows = p->snap->cpuidle;
  if (rows.count == 0) return;
  FILE* out = p->out;
  fputs(
      "<h2>Idle states</h2>\n<div class=\"panel\">\n<p style=\"margin-top:0;font-size:13px;"
      "color:var(--muted)\">Each state's exit latency is the longest a wakeup may take to "
      "leave it, on any CPU allowed to enter it.</p>\n",
      out);
  IdleTable t = idle_table(p->arena, rows);
  auto cells = static_cast<const IdleState**>(
      arena_alloc(p->arena, (t.cols.count + 1) * sizeof(const IdleState*)));
  write_idle_head(p, &t);
  for (const CpuIdle& row : rows) write_idle_row(p, &t, row, cells);
  fputs("</tbody></table></div>\n</div>\n", out);
}
