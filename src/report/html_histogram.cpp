// "Latency histograms" of the HTML report: when cyclictest printed its
// histogram, one chart per measured CPU -- samples per microsecond on a log
// scale, the target as a dashed line and the worst latency marked -- the
// picture real-time engineers otherwise plot from cyclictest by hand.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "report/html_escape.h"
#include "report/html_page.h"

namespace {

// Chart geometry: the plot area is the box inside the margins.
constexpr int kWidth = 640;
constexpr int kHeight = 228;
constexpr int kLeft = 56;
constexpr int kRight = 16;
constexpr int kTop = 28;
constexpr int kBottom = 40;
constexpr int kPlotW = kWidth - kLeft - kRight;
constexpr int kPlotH = kHeight - kTop - kBottom;
constexpr int kAxisY = kTop + kPlotH;
constexpr double kMinBar = 2;  // a bin of one sample stays visible
// The axis reaches the target unless it lies further out than this many
// times the measured extent; it is then named in the caption only.
constexpr int64_t kTargetReach = 4;
constexpr int kTicks = 8;  // about this many labelled ticks on the axis

// Consecutive bins that fall into one pixel column, drawn as one bar.
struct Bar {
  int64_t lo_us, hi_us;  // [lo, hi)
  uint64_t count;
};

struct Chart {
  const PerCpuLatency* cpu;
  double target_us;
  bool target_shown;
  int64_t xmax;  // end of the axis in microseconds
  int64_t step;  // between labelled ticks
  int decades;   // the count axis runs from 1 to 10^decades
  List<Bar> bars;
  uint64_t samples;
};

bool usable(double v) {
  return std::isfinite(v) && v > 0;
}

// 1, 2 or 5 times a power of ten: the smallest such step that labels the
// extent with at most kTicks ticks.
int64_t nice_step(int64_t extent) {
  for (int64_t mag = 1;; mag *= 10) {
    for (int64_t m : {1, 2, 5}) {
      if (extent <= m * mag * kTicks) return m * mag;
    }
  }
}

double x_of(const Chart* c, double us) {
  return kLeft + kPlotW * us / static_cast<double>(c->xmax);
}

int64_t pixel_of(const Chart* c, int64_t us) {
  return us * kPlotW / c->xmax;
}

void scale_x(Chart* c) {
  const PerCpuLatency* cpu = c->cpu;
  int64_t extent = 1;
  for (const HistBin& b : cpu->histogram) extent = std::max(extent, int64_t{b.us} + 1);
  if (cpu->max_us.has && usable(cpu->max_us.value) && cpu->max_us.value < 1e12) {
    extent = std::max(extent, static_cast<int64_t>(std::ceil(cpu->max_us.value)));
  }
  c->target_shown =
      usable(c->target_us) && c->target_us <= static_cast<double>(extent * kTargetReach);
  if (c->target_shown) extent = std::max(extent, static_cast<int64_t>(std::ceil(c->target_us)));
  c->step = nice_step(extent);
  c->xmax = (extent + c->step - 1) / c->step * c->step;
}

void build_bars(Arena* a, Chart* c) {
  uint64_t most = 1;
  for (const HistBin& b : c->cpu->histogram) {
    if (b.us < 0 || b.count == 0) continue;
    c->samples += b.count;
    Bar* last = c->bars.count ? &c->bars[c->bars.count - 1] : nullptr;
    if (last && b.us >= last->lo_us && pixel_of(c, last->lo_us) == pixel_of(c, b.us)) {
      last->hi_us = std::max(last->hi_us, int64_t{b.us} + 1);
      last->count += b.count;
    } else {
      list_push(a, &c->bars, Bar{b.us, int64_t{b.us} + 1, b.count});
      last = &c->bars[c->bars.count - 1];
    }
    most = std::max(most, last->count);
  }
  c->decades = 1;
  for (uint64_t p = 10; p < most && c->decades < 19; p *= 10) c->decades++;
}

double bar_height(const Chart* c, double count) {
  return kMinBar + (kPlotH - kMinBar) * std::log10(count) / c->decades;
}

// 10^k for k = 0 ... 19, the range of a 64-bit count.
constexpr const char* kDecadeLabels[] = {"1",    "10",   "100", "1k",   "10k",  "100k", "1M",
                                         "10M",  "100M", "1G",  "10G",  "100G", "1T",   "10T",
                                         "100T", "1P",   "10P", "100P", "1E",   "10E"};

void write_count_axis(FILE* out, const Chart* c) {
  for (int k = 0; k <= c->decades; k++) {
    double y = kAxisY - bar_height(c, std::pow(10.0, k));
    fprintf(out,
            "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"currentColor\" "
            "opacity=\".12\"/>\n",
            kLeft, y, kLeft + kPlotW, y);
    fprintf(out,
            "<text x=\"%d\" y=\"%.1f\" font-size=\"10\" text-anchor=\"end\" fill=\"currentColor\" "
            "opacity=\".6\">",
            kLeft - 6, y + 3.5);
    fprintf(out, "%s</text>\n", kDecadeLabels[k]);
  }
  fprintf(out,
          "<text x=\"%d\" y=\"12\" font-size=\"11\" fill=\"currentColor\" opacity=\".75\">"
          "samples (log scale)</text>\n",
          kLeft - 40);
}

void write_bars(FILE* out, const Chart* c) {
  for (const Bar& b : c->bars) {
    double x = x_of(c, static_cast<double>(b.lo_us));
    double w = std::max(1.0, x_of(c, static_cast<double>(b.hi_us)) - x);
    double h = bar_height(c, static_cast<double>(b.count));
    bool late = c->target_shown && static_cast<double>(b.lo_us) >= c->target_us;
    fprintf(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"><title>",
            x, kAxisY - h, w, h, late ? "var(--fail)" : "var(--accent)");
    if (b.hi_us - b.lo_us == 1) {
      fprintf(out, "%lld &micro;s", static_cast<long long>(b.lo_us));
    } else {
      fprintf(out, "%lld&ndash;%lld &micro;s", static_cast<long long>(b.lo_us),
              static_cast<long long>(b.hi_us - 1));
    }
    fprintf(out, ": %llu samples</title></rect>\n", static_cast<unsigned long long>(b.count));
  }
}

void write_time_axis(FILE* out, const Chart* c) {
  fprintf(out,
          "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"currentColor\" "
          "opacity=\".4\"/>\n",
          kLeft, kAxisY, kLeft + kPlotW, kAxisY);
  for (int64_t t = 0; t <= c->xmax; t += c->step) {
    fprintf(out,
            "<text x=\"%.1f\" y=\"%d\" font-size=\"10\" text-anchor=\"middle\" "
            "fill=\"currentColor\" opacity=\".6\">%lld</text>\n",
            x_of(c, static_cast<double>(t)), kAxisY + 14, static_cast<long long>(t));
  }
  fprintf(out,
          "<text x=\"%d\" y=\"%d\" font-size=\"11\" text-anchor=\"middle\" fill=\"currentColor\" "
          "opacity=\".75\">latency (&micro;s)</text>\n",
          kLeft + kPlotW / 2, kHeight - 6);
}

// A vertical line across the plot with its label near the top, on the side
// of the line with more room.
struct Marker {
  double us;
  const char* label;  // "target" or "worst"
  const char* color;
  const char* dash;  // stroke-dasharray, or "" for a solid line
  int label_y;
};

void write_marker(const HtmlPage* p, const Chart* c, const Marker* m) {
  FILE* out = p->out;
  double x = x_of(c, std::min(m->us, static_cast<double>(c->xmax)));
  fprintf(out,
          "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"%s\" stroke-width=\"1.5\"", x,
          kTop, x, kAxisY, m->color);
  if (*m->dash) fprintf(out, " stroke-dasharray=\"%s\"", m->dash);
  fputs("/>\n", out);
  bool left = x > kLeft + kPlotW * 0.75;
  fprintf(out, "<text x=\"%.1f\" y=\"%d\" font-size=\"11\" text-anchor=\"%s\" fill=\"%s\">%s ",
          left ? x - 4 : x + 4, m->label_y, left ? "end" : "start", m->color, m->label);
  html_escape(out, html_latency(p, true, m->us));
  fputs("</text>\n", out);
}

void write_caption(const HtmlPage* p, const Chart* c) {
  FILE* out = p->out;
  const PerCpuLatency* cpu = c->cpu;
  uint64_t over = cpu->overflows.has ? cpu->overflows.value : 0;
  fprintf(out, "<figcaption>CPU %d: %llu samples, worst ", static_cast<int>(cpu->cpu),
          static_cast<unsigned long long>(c->samples + over));
  html_escape(out, html_latency(p, cpu->max_us.has, cpu->max_us.value));
  fputs(", target ", out);
  html_escape(out, html_latency(p, usable(c->target_us), c->target_us));
  fputs(c->target_shown || !usable(c->target_us) ? "." : " (beyond the axis).", out);
  if (over) {
    fprintf(out, " %llu sample%s above the histogram's last bin %s not drawn.",
            static_cast<unsigned long long>(over), over == 1 ? "" : "s", over == 1 ? "is" : "are");
  }
  fputs("</figcaption>\n", out);
}

void write_chart(const HtmlPage* p, const PerCpuLatency* cpu) {
  Chart c = {};
  c.cpu = cpu;
  c.target_us = p->report->target_us;
  scale_x(&c);
  build_bars(p->arena, &c);
  FILE* out = p->out;
  fprintf(out,
          "<figure class=\"hist\">\n<svg width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
          "xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"Latency histogram of "
          "CPU %d\">\n",
          kWidth, kHeight, kWidth, kHeight, static_cast<int>(cpu->cpu));
  write_count_axis(out, &c);
  write_bars(out, &c);
  write_time_axis(out, &c);
  if (c.target_shown) {
    Marker target = {c.target_us, "target", "var(--warn)", "5 3", kTop + 10};
    write_marker(p, &c, &target);
  }
  if (cpu->max_us.has && usable(cpu->max_us.value)) {
    bool missed = usable(c.target_us) && cpu->max_us.value > c.target_us;
    Marker worst = {cpu->max_us.value, "worst", missed ? "var(--fail)" : "var(--pass)", "",
                    kTop + 24};
    write_marker(p, &c, &worst);
  }
  fputs("</svg>\n", out);
  write_caption(p, &c);
  fputs("</figure>\n", out);
}

bool has_histogram(const PerCpuLatency* c) {
  for (const HistBin& b : c->histogram) {
    if (b.us >= 0 && b.count > 0) return true;
  }
  return false;
}

}  // namespace

void html_write_histograms(const HtmlPage* p) {
  const Measurement& m = p->snap->measured;
  if (!m.valid) return;
  bool any = false;
  for (const PerCpuLatency& c : m.per_cpu) any = any || has_histogram(&c);
  if (!any) return;
  fputs(
      "<h2>Latency histograms</h2>\n<div class=\"panel\">\n<p style=\"margin-top:0;"
      "font-size:13px;color:var(--muted)\">Samples per microsecond of latency as cyclictest "
      "counted them, on a log scale: the dashed line is the target, the solid line the worst "
      "latency seen.</p>\n",
      p->out);
  for (const PerCpuLatency& c : m.per_cpu) {
    if (has_histogram(&c)) write_chart(p, &c);
  }
  fputs("</div>\n", p->out);
}
