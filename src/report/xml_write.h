// Writing text into an XML document (the JUnit report): markup characters
// become entities, and whatever XML 1.0 cannot carry is replaced the way the
// JSON writer replaces ill-formed UTF-8.
#pragma once

#include <cstdio>

#include "base/str.h"

// Writes v escaped: & < > " ' as entities. Ill-formed UTF-8 runs, control
// bytes other than tab, newline and carriage return, and the non-characters
// U+FFFE and U+FFFF become U+FFFD, since XML 1.0 has no way to write them.
// In an attribute (attribute = true) tab, newline and carriage return are
// written as character references so that they survive the attribute-value
// normalisation of a reader.
void xml_text(FILE* out, StrView v, bool attribute);
