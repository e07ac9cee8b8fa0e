// Word wrapping of the text report's paragraphs (details, impacts, fixes and
// the plan's prose) at 78 columns.
#pragma once

#include <cstdio>

#include "base/arena.h"
#include "base/str.h"

constexpr int kWrapColumns = 78;

// Prints text wrapped after the given prefixes. The text first passes through
// text_clean (control bytes, ASCII folding). The usable width is 78 minus the
// length of the continuation prefix. The text is taken line by line:
//  - a line that begins with a space or a tab (a command, say) is printed as
//    the current prefix, the line unchanged and a newline;
//  - an empty line prints nothing;
//  - any other line is split into words at spaces (empty words dropped) and
//    filled greedily; a word longer than the width stands on a line of its
//    own and is never split.
// The first printed line uses first_prefix, every later one cont_prefix.
// An absent or empty text prints nothing.
void wrap_text(FILE* out, Arena* a, StrView text, bool ascii, const char* first_prefix,
               const char* cont_prefix);
