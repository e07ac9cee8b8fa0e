// libFuzzer harness for the HTML escaping of untrusted names: whatever the
// bytes, the escaped text opens no markup, is valid UTF-8 without control
// bytes, and a device label cut to 16 bytes escapes to a prefix of the
// escaped whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/utf8.h"
#include "report/html_escape.h"
#include "report/json_write.h"

namespace {

struct Escaped {
  char* data = nullptr;
  size_t len = 0;
  ~Escaped() { free(data); }
};

void escape_into(Escaped* e, StrView v) {
  FILE* f = open_memstream(&e->data, &e->len);
  if (!f) abort();
  html_escape(f, v);
  fclose(f);
}

// Every "&" starts one of the four entities; no byte opens or quotes markup.
void check_markup(const Escaped& e) {
  for (size_t i = 0; i < e.len; i++) {
    char c = e.data[i];
    if (c == '<' || c == '>' || c == '"') abort();
    if (c != '&') continue;
    bool entity = false;
    for (const char* ent : {"&amp;", "&lt;", "&gt;", "&quot;"}) {
      size_t n = strlen(ent);
      if (i + n <= e.len && memcmp(e.data + i, ent, n) == 0) entity = true;
    }
    if (!entity) abort();
  }
}

void check_utf8(const Escaped& e) {
  auto p = reinterpret_cast<const unsigned char*>(e.data);
  for (size_t i = 0; i < e.len;) {
    size_t bad = 1;
    size_t n = utf8_sequence_length(p + i, e.len - i, &bad);
    if (n == 0) abort();
    if (n == 1 && ((p[i] < 0x20 && p[i] != '\t' && p[i] != '\n' && p[i] != '\r') || p[i] == 0x7F)) {
      abort();
    }
    i += n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StrView text{reinterpret_cast<const char*>(data), size};
  Escaped whole;
  escape_into(&whole, text);
  check_markup(whole);
  check_utf8(whole);
  StrView label = html_cut_label(text, 16);
  if (label.len > 16 || label.ptr != text.ptr) abort();
  Escaped cut;
  escape_into(&cut, label);
  if (cut.len > whole.len || memcmp(cut.data, whole.data, cut.len) != 0) abort();
  return 0;
}
