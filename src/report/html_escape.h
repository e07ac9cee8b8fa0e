// Text from the analysed machine, the Report or a Finding made safe for the
// HTML page: markup characters become entities and the bytes stay a valid
// UTF-8 document.
#pragma once

#include <cstddef>
#include <cstdio>

#include "base/str.h"

// Writes the text with '"' as "&quot;", '&' as "&amp;", '<' as "&lt;" and
// '>' as "&gt;". Well-formed UTF-8, tab, newline and carriage return are
// copied; every ill-formed byte run and every other control byte (C0, DEL)
// becomes U+FFFD, so a hostile name can neither open markup nor make the page
// invalid UTF-8. A null pointer writes nothing.
void html_escape(FILE* out, const char* p, size_t len);
inline void html_escape(FILE* out, StrView v) { html_escape(out, v.ptr, v.len); }
inline void html_escape(FILE* out, const char* s) { html_escape(out, sv_from_cstr(s)); }

// The first bytes of text, at most max_bytes, cut at a UTF-8 character
// boundary: a multi-byte character that does not fit is left out whole.
// Cut before escaping, so an entity is never split.
StrView html_cut_label(StrView text, size_t max_bytes);
