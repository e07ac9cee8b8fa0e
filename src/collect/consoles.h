// The kernel's consoles (/proc/consoles) and the console log level
// (kernel.printk), which together say how much kernel output is pushed
// through which console drivers.
#pragma once

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/snapshot.h"

// Parses /proc/consoles into *out: one Console per line whose flag field
// has one of the two layouts the kernel prints. False when a line that is
// not blank has neither: the list then does not say what the consoles are.
bool parse_consoles(Arena* a, StrView text, List<Console>* out);

// Fills consoles, consoles_read (the file was read and every line parsed)
// and console_loglevel from the Source.
void collect_consoles(Snapshot* snap);
