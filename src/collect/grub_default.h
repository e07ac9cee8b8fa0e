// /etc/default/grub and /etc/default/grub.d/*.cfg: shell files that
// grub-mkconfig sources in that order, so a later assignment wins.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

// One variable assignment, its value after quote removal and expansion.
struct ShellAssign {
  StrView name;
  StrView value;
  int32_t line;  // 1-based line where the assignment starts
};

// The variables assigned so far, across files; the last one of a name wins.
struct ShellVars {
  List<ShellAssign> assigns;
};

// The last assignment of name, or null.
const ShellAssign* shell_vars_get(const ShellVars* vars, const char* name);

// Reads the NAME=value assignments of a GRUB default file as the POSIX
// shell that sources it would (GRUB manual, "Simple configuration
// handling": "It is sourced by a shell script, and so must be valid POSIX
// shell input; normally, it will just be a sequence of 'KEY=value' lines"):
// single quotes keep every byte, double quotes keep all but \-escapes and
// $NAME, ${NAME}, ${NAME:-word} and ${NAME:+word} expansions, which read the
// variables assigned before (in vars, from earlier files too); an unset
// variable expands to nothing. Lines that are not assignments are skipped.
// Appends to vars; returns the 1-based line of an unbalanced quote (whose
// assignment is dropped), or 0 when every quote closes.
int32_t parse_grub_default(Arena* a, StrView text, ShellVars* vars);
