// The run driver: parses the command line, picks capture or analysis, drives
// the subsystems in their fixed order and returns the process exit status.
#pragma once

int kelvane_main(int argc, char** argv);

struct Arena;
struct Options;
struct Report;
struct Source;

// Collection, stamping and the rules for one opened Source, as an analysis
// run does them; kelvane diff grades bundles and trees through it. Null, with
// the message printed, when the Source holds no /proc or /sys data.
Report* analyse_source(Arena* a, const Options* o, Source* src);
