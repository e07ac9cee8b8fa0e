#include "report/text_wrap.h"

#include <cstring>

#include "report/text_fold.h"

namespace {

// Fills one line of words; returns nothing, prints the words and a newline
// when the line had any.
void fill_line(FILE* out, StrView line, const char** prefix, const char* cont, size_t width) {
  size_t running = 0;
  bool any = false;
  StrView cur = line;
  for (StrView w = sv_next_token(&cur, " "); w.ptr; w = sv_next_token(&cur, " ")) {
    if (w.len == 0) continue;
    if (!any) {
      fputs(*prefix, out);
      *prefix = cont;
      running = w.len;
      any = true;
    } else {
      running += w.len + 1;
      if (running > width) {
        fputc('\n', out);
        fputs(cont, out);
        running = w.len;
      } else {
        fputc(' ', out);
      }
    }
    sv_put(out, w);
  }
  if (any) fputc('\n', out);
}

}  // namespace

void wrap_text(FILE* out, Arena* a, StrView text, bool ascii, const char* first_prefix,
               const char* cont_prefix) {
  if (!text.ptr || text.len == 0) return;
  StrView t = text_clean(a, text, ascii);
  size_t plen = strlen(cont_prefix);
  size_t width = plen < kWrapColumns ? kWrapColumns - plen : 0;
  const char* prefix = first_prefix;
  StrView cur = t;
  for (StrView line = sv_next_token(&cur, "\n"); line.ptr; line = sv_next_token(&cur, "\n")) {
    if (line.len == 0) continue;
    if (line.ptr[0] == ' ' || line.ptr[0] == '\t') {
      fputs(prefix, out);
      sv_put(out, line);
      fputc('\n', out);
      prefix = cont_prefix;
      continue;
    }
    fill_line(out, line, &prefix, cont_prefix, width);
  }
}
