// The one way a word read from a machine enters a shell command. A command
// kelvane prints may be pasted into a root shell or run at every boot, so a
// name, a path or a value from the analysed machine can never be anything
// but a single literal word there.
#pragma once

#include "base/arena.h"
#include "base/str.h"

// Appends v as one POSIX shell word that stands for exactly its bytes: bare
// when it is not empty and every byte is a letter, a digit or one of
// "%+,-./:=@_" (none has a meaning to the shell, also not first), else in
// single quotes, each single quote inside written as '\''. Control bytes are
// kept: a newline inside single quotes is a literal newline.
void sb_append_shell_word(StrBuf* sb, StrView v);

// Appends v in single quotes whatever it holds, as sb_append_shell_word
// quotes: for a value shown as one quoted argument (--args='...').
void sb_append_shell_quoted(StrBuf* sb, StrView v);

// A copy of v in the Arena made as sb_append_shell_word makes it.
StrView shell_word(Arena* a, StrView v);
