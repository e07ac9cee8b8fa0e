// Making text from the analysed machine safe and printable: control bytes
// become "?", and with --ascii every non-ASCII character is folded to 7 bits.
// Thread names, host names, configuration values and paths can hold any byte;
// printed raw, an escape sequence would drive the reader's terminal.
#pragma once

#include "base/arena.h"
#include "base/str.h"

// With ascii set and any byte of 0x80 or more in the text: a new Arena text in
// which the micro sign (C2 B5) and the Greek mu (CE BC) become "u" and every
// other non-ASCII sequence (a lead byte and the continuation bytes 0x80..0xBF
// that follow it) becomes one "?". Otherwise the text itself.
StrView ascii_fold(Arena* a, StrView text, bool ascii);

// What every text taken from a Finding or the Snapshot passes through before
// the text report prints it:
//  - every byte below 0x20 other than newline and tab, and 0x7F, becomes "?";
//  - with ascii, non-ASCII is folded as ascii_fold does;
//  - without ascii, a byte that is not part of a well-formed UTF-8 sequence
//    becomes "?", and so does a C1 control character (U+0080..U+009F), which
//    some terminals obey like an escape sequence.
// Returns the text itself when nothing had to change. An absent text stays
// absent.
StrView text_clean(Arena* a, StrView text, bool ascii);

// As text_clean, for texts printed on one line (titles, evidence, host names,
// paths): a newline becomes "?" as well, so a hostile thread name cannot start
// a line of its own that looks like part of the report.
StrView text_clean_line(Arena* a, StrView text, bool ascii);
