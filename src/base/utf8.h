// The one UTF-8 decoder: the JSON escaper and the text report's cleaner
// agree on what is well-formed.
#pragma once

#include <cstddef>
#include <cstdint>

// Length of the well-formed UTF-8 sequence at the start of p[0..n), or 0 when
// the bytes there do not start one (overlong forms, surrogates, code points
// above U+10FFFF, stray continuation bytes, truncated sequences). *cp gets the
// code point of a sequence; *bad is the length of the maximal ill-formed
// subpart when there is none, at least 1 (what one U+FFFD replaces).
size_t utf8_decode(const unsigned char* p, size_t n, uint32_t* cp, size_t* bad);
// utf8_decode without the code point.
size_t utf8_sequence_length(const unsigned char* p, size_t n, size_t* bad);
