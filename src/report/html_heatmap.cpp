// "Interrupt distribution" of the HTML report: an SVG grid of interrupts
// (rows) by online CPUs (columns), each cell shaded by how often the
// interrupt fired there on a log scale, isolated CPUs shaded and their cells
// drawn in the fail colour.
#include <cmath>
#include <cstdint>

#include "report/html_escape.h"
#include "report/html_page.h"

namespace {

constexpr size_t kMaxRows = 24;
constexpr size_t kMaxColumns = 64;
constexpr size_t kLabelBytes = 16;
constexpr int kCell = 26;  // pitch of the grid; cells are 22 x 22

struct HeatMap {
  const Snapshot* snap;
  const IrqInfo* rows[kMaxRows];
  size_t nrows;
  int32_t cols[kMaxColumns];
  size_t ncols;
  uint8_t* col_of;  // CPU -> column + 1; 0 for a CPU without a column
  double max;       // M: the largest value over the rows' counters
};

// The counter fired at all: in the window when sampled, since boot otherwise.
bool fired(const Snapshot* s, const IrqCount* c) {
  return s->sampled ? c->delta >= 1 : c->count >= 1;
}

// What a cell shows. Sampled counters are rates: the growth over the window
// divided by its length, so "/s" is true for any --interval.
double counter_value(const Snapshot* s, const IrqCount* c) {
  if (!s->sampled) return static_cast<double>(c->count);
  double d = static_cast<double>(c->delta);
  return s->sample_window_s > 0 ? d / s->sample_window_s : d;
}

bool row_fired(const Snapshot* s, const IrqInfo* irq) {
  for (const IrqCount& c : irq->per_cpu) {
    if (fired(s, &c)) return true;
  }
  return false;
}

void choose_rows(HeatMap* m) {
  for (const IrqInfo& irq : m->snap->irqs) {
    if (m->nrows == kMaxRows) break;
    if (row_fired(m->snap, &irq)) m->rows[m->nrows++] = &irq;
  }
  for (size_t r = 0; r < m->nrows; r++) {
    for (const IrqCount& c : m->rows[r]->per_cpu) {
      double v = counter_value(m->snap, &c);
      if (v > m->max) m->max = v;
    }
  }
  if (!(m->max > 0)) m->max = 1;
}

void choose_columns(HeatMap* m, Arena* a) {
  m->col_of = static_cast<uint8_t*>(arena_alloc(a, kMaxCpus));
  for (int32_t cpu : CpuIter{&m->snap->online}) {
    if (m->ncols == kMaxColumns) break;
    m->cols[m->ncols] = cpu;
    m->col_of[cpu] = static_cast<uint8_t>(++m->ncols);
  }
}

// Rates below 100 keep three significant digits (0.5/s must not read as 0).
void write_value(FILE* out, const Snapshot* s, const IrqCount* c) {
  if (!s->sampled) {
    fprintf(out, "%llu", static_cast<unsigned long long>(c->count));
    return;
  }
  double v = counter_value(s, c);
  fprintf(out, v >= 100 ? "%.0f/s" : "%.3g/s", v);
}

void write_cell(FILE* out, const HeatMap* m, size_t col, int y, const IrqInfo* irq,
                const IrqCount* c) {
  int32_t cpu = m->cols[col];
  bool isolated = cpuset_has(&m->snap->isolated, cpu);
  double v = counter_value(m->snap, c);
  double opacity = 0.15 + 0.85 * std::log(v + 1) / std::log(m->max + 1);
  fprintf(out,
          "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" rx=\"2\" fill=\"%s\" "
          "opacity=\"%.3f\"><title>",
          110 + kCell * static_cast<int>(col), y, 22, 22,
          isolated ? "var(--fail)" : "var(--accent)", opacity);
  html_escape(out, irq->device);
  fprintf(out, " on CPU %d: ", static_cast<int>(cpu));
  write_value(out, m->snap, c);
  fputs("</title></rect>\n", out);
}

void write_row(FILE* out, const HeatMap* m, size_t r) {
  const IrqInfo* irq = m->rows[r];
  int y = 22 + kCell * static_cast<int>(r);
  fprintf(out,
          "<text x=\"100\" y=\"%d\" font-size=\"11\" text-anchor=\"end\" fill=\"currentColor\" "
          "opacity=\".75\">",
          y + 15);
  html_escape(out, html_cut_label(irq->device, kLabelBytes));
  fputs("</text>\n", out);
  // The first counter of each column, found in one pass over the row.
  const IrqCount* slot[kMaxColumns] = {};
  for (const IrqCount& c : irq->per_cpu) {
    if (c.cpu < 0 || c.cpu >= kMaxCpus || m->col_of[c.cpu] == 0) continue;
    const IrqCount** s = &slot[m->col_of[c.cpu] - 1];
    if (!*s) *s = &c;
  }
  for (size_t col = 0; col < m->ncols; col++) {
    if (slot[col] && fired(m->snap, slot[col])) write_cell(out, m, col, y, irq, slot[col]);
  }
}

void write_grid(FILE* out, const HeatMap* m) {
  int cols = static_cast<int>(m->ncols), rows = static_cast<int>(m->nrows);
  int width = 116 + kCell * cols, height = 28 + kCell * rows;
  fprintf(out,
          "<svg width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
          "xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"Interrupts per "
          "CPU\">\n",
          width, height, width, height);
  for (int c = 0; c < cols; c++) {
    if (!cpuset_has(&m->snap->isolated, m->cols[c])) continue;
    fprintf(out,
            "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"currentColor\" "
            "opacity=\".07\"/>\n",
            108 + kCell * c, 16, kCell, 4 + kCell * rows);
  }
  for (int c = 0; c < cols; c++) {
    fprintf(out,
            "<text x=\"%d\" y=\"%d\" font-size=\"10\" text-anchor=\"middle\" "
            "fill=\"currentColor\" opacity=\".6\">%d</text>\n",
            121 + kCell * c, 12, static_cast<int>(m->cols[c]));
  }
  for (size_t r = 0; r < m->nrows; r++) write_row(out, m, r);
  fputs("</svg>\n", out);
}

void write_caption(FILE* out, Arena* a, const Snapshot* s) {
  fputs("<p style=\"font-size:12px;color:var(--muted);margin:10px 0 0\">", out);
  if (s->sampled) {
    fprintf(out, "Interrupts per second over a %.1f s sample. ", s->sample_window_s);
  } else {
    fputs("Cumulative counts since boot (no live sampling). ", out);
  }
  if (!cpuset_empty(&s->isolated)) {
    fputs("Shaded columns are isolated CPUs ", out);
    html_escape(out, cpuset_format_list(a, &s->isolated));
    fputs("; interrupts landing there are highlighted.", out);
  }
  fputs("</p>\n</div>\n", out);
}

}  // namespace

void html_write_heatmap(const HtmlPage* p) {
  const Snapshot* s = p->snap;
  if (!s->interrupts_available) return;
  HeatMap m = {};
  m.snap = s;
  choose_rows(&m);
  if (m.nrows == 0 || cpuset_empty(&s->online)) return;
  choose_columns(&m, p->arena);
  fputs("<h2>Interrupt distribution</h2>\n<div class=\"panel scroll\">\n", p->out);
  write_grid(p->out, &m);
  write_caption(p->out, p->arena, s);
}
