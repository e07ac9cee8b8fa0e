#include "report/escape.h"

#include "base/utf8.h"

void escape_write(FILE* out, StrView v, const EscapeRules* rules) {
  auto s = reinterpret_cast<const unsigned char*>(v.ptr);
  size_t len = s ? v.len : 0;
  size_t run = 0;  // start of the bytes not written yet, all of which pass
  size_t i = 0;
  char scratch[kEscapeScratch];
  while (i < len) {
    const char* replace;
    size_t skip = 1;
    if (s[i] < 0x80) {
      replace = rules->ascii(s[i], scratch);
    } else {
      size_t n = utf8_sequence_length(s + i, len - i, &skip);
      bool refused = n > 0 && rules->refused && rules->refused(s + i, n);
      if (n > 0 && !refused) {
        i += n;
        continue;
      }
      if (refused) skip = n;
      replace = rules->invalid;
    }
    if (!replace) {
      i++;
      continue;
    }
    if (i > run) fwrite(s + run, 1, i - run, out);
    fputs(replace, out);
    i += skip;
    run = i;
  }
  if (len > run) fwrite(s + run, 1, len - run, out);
}
