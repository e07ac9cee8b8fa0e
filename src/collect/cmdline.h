// Boot command-line collector: /proc/cmdline split into words and the
// isolation and noise-related boot parameters read from them.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/snapshot.h"

// Splits a command line at white space into key/value pairs appended to out:
// the text before the first "=" is the key, the rest the value (absent for a
// word without "="). Quotes have no special meaning.
void parse_cmdline_words(Arena* a, StrView text, KvList* out);

// Fills the Boot command line group of the Snapshot from its Source.
void collect_cmdline(Snapshot* snap);
