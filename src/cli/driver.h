// The run driver: parses the command line, picks capture or analysis, drives
// the subsystems in their fixed order and returns the process exit status.
#pragma once

int kelvane_main(int argc, char** argv);
