// The kernel command lines a machine is configured to boot next, as the
// boot configuration collector reads them (collect/boot_config.h).
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

// One configured piece of a kernel command line (a GRUB variable, an
// options line), after quote removal and grubenv expansion.
struct BootLine {
  StrView file;
  int32_t line;    // 1-based line in file
  StrView text;
  KvList params;   // as the kernel reads them (parse_cmdline_words)
};

// One kernel command line the boot loader builds from its pieces, in order.
struct BootTarget {
  StrView label;  // the entry file, or "GRUB defaults"
  List<BootLine> lines;
  bool unresolved;  // a "$name" word no grubenv variable fills: the line is not known whole
};

// A configured line the kernel would misread.
struct BootProblem {
  StrView file;
  int32_t line;
  StrView what;  // "nohz_full=2-3rcu_nocbs=2-3 glues two parameters together"
  StrView param; // the parameter concerned, or absent
};

struct BootConfig {
  StrView used;              // which configuration; absent when none was found
  StrList files;             // the files read for it
  List<BootTarget> targets;  // the running kernel's entry first
  List<BootProblem> problems;
  StrList others;            // other boot loaders' configuration files present
};
