#include "report/prom_write.h"

#include "report/escape.h"

namespace {

const char* prom_ascii(unsigned char c, char*) {
  switch (c) {
    case '\\': return "\\\\";
    case '"': return "\\\"";
    case '\n': return "\\n";
    default: return c < 0x20 || c == 0x7F ? kReplacement : nullptr;
  }
}

constexpr EscapeRules kPromLabel = {prom_ascii, nullptr, kReplacement};

}  // namespace

void prom_label_value(FILE* out, StrView v) { escape_write(out, v, &kPromLabel); }

void prom_sample(PromFamily* f) {
  if (!f->started) {
    fprintf(f->out, "# HELP %s %s\n# TYPE %s gauge\n", f->name, f->help, f->name);
    f->started = true;
  }
  fputs(f->name, f->out);
}

void prom_label(PromFamily* f, bool first, const char* name, StrView value) {
  fprintf(f->out, "%c%s=\"", first ? '{' : ',', name);
  prom_label_value(f->out, value);
  fputc('"', f->out);
}

void prom_int(PromFamily* f, bool labelled, int64_t v) {
  fprintf(f->out, "%s%lld\n", labelled ? "} " : " ", static_cast<long long>(v));
}

void prom_real(PromFamily* f, bool labelled, double v) {
  fprintf(f->out, "%s%.6g\n", labelled ? "} " : " ", v);
}
