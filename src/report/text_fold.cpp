#include "report/text_fold.h"

#include <cstdint>

#include "base/utf8.h"

namespace {

struct CleanMode {
  bool ascii;     // fold non-ASCII to "u" / "?"
  bool controls;  // replace control bytes
  bool one_line;  // a newline counts as a control byte
};

// Output that stays a view of the input until the first change, so clean
// text costs no copy.
struct LazyOut {
  Arena* arena;
  StrView in;
  StrBuf buf;
  bool copying;
  size_t kept;  // input bytes [0, kept) are accounted for in buf

  // The input bytes [from, to) are copied unchanged.
  void keep(size_t to) {
    if (copying) sb_append(&buf, in.ptr + kept, to - kept);
    kept = to;
  }
  // The input bytes [kept, skip_to) are replaced by text.
  void replace(size_t skip_to, const char* text) {
    if (!copying) {
      sb_init(&buf, arena);
      sb_reserve(&buf, in.len);
      sb_append(&buf, in.ptr, kept);
      copying = true;
    }
    sb_append_cstr(&buf, text);
    kept = skip_to;
  }
  StrView result() {
    keep(in.len);
    return copying ? sb_view(&buf) : in;
  }
};

bool is_cont(uint8_t b) {
  return b >= 0x80 && b <= 0xBF;
}

bool is_control(uint8_t b, CleanMode m) {
  if (b == 0x7F) return true;
  if (b >= 0x20) return false;
  if (b == '\t') return false;
  if (b == '\n') return m.one_line;
  return true;
}

// Length of the greedy sequence at i: the byte and the continuation bytes
// that follow it.
size_t greedy_len(StrView t, size_t i) {
  size_t n = 1;
  while (i + n < t.len && is_cont(static_cast<uint8_t>(t.ptr[i + n]))) n++;
  return n;
}

bool is_mu(StrView t, size_t i, size_t n) {
  if (n != 2) return false;
  auto b0 = static_cast<uint8_t>(t.ptr[i]);
  auto b1 = static_cast<uint8_t>(t.ptr[i + 1]);
  return (b0 == 0xC2 && b1 == 0xB5) || (b0 == 0xCE && b1 == 0xBC);
}

StrView clean(Arena* a, StrView t, CleanMode m) {
  if (!t.ptr) return t;
  LazyOut out{a, t, {}, false, 0};
  size_t i = 0;
  while (i < t.len) {
    auto b = static_cast<uint8_t>(t.ptr[i]);
    if (b < 0x80) {
      if (m.controls && is_control(b, m)) {
        out.keep(i);
        out.replace(i + 1, "?");
      }
      i++;
    } else if (m.ascii) {
      size_t n = greedy_len(t, i);
      out.keep(i);
      out.replace(i + n, is_mu(t, i, n) ? "u" : "?");
      i += n;
    } else if (m.controls) {
      uint32_t cp = 0;
      size_t bad;
      size_t n = utf8_decode(reinterpret_cast<const unsigned char*>(t.ptr) + i, t.len - i, &cp, &bad);
      if (n == 0 || cp <= 0x9F) {
        out.keep(i);
        out.replace(i + (n ? n : 1), "?");
      }
      i += n ? n : 1;
    } else {
      i++;
    }
  }
  return out.result();
}

}  // namespace

StrView ascii_fold(Arena* a, StrView text, bool ascii) {
  if (!ascii) return text;
  return clean(a, text, CleanMode{true, false, false});
}

StrView text_clean(Arena* a, StrView text, bool ascii) {
  return clean(a, text, CleanMode{ascii, true, false});
}

StrView text_clean_line(Arena* a, StrView text, bool ascii) {
  return clean(a, text, CleanMode{ascii, true, true});
}
