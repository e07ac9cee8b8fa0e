// What the machine is configured to boot next: the kernel command lines of
// its boot loader configuration, read for comparison with /proc/cmdline.
// grub.cfg is never read: it can hold password hashes.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

struct Snapshot;

// One configured piece of a kernel command line (a GRUB variable, an
// options line), after quote removal and grubenv expansion.
struct BootLine {
  StrView file;
  int32_t line;    // 1-based line in file
  StrView text;
  KvList params;   // as the kernel reads them (boot_line_params)
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
  KvList booted;             // /proc/cmdline as the kernel reads it
};

// Fills snap->boot_config: Boot Loader Specification entries when
// /boot/loader/entries holds one for the running kernel, else
// /etc/kernel/cmdline when present, else the GRUB defaults; grubenv's
// kernelopts and tuned_params fill the "$name" words that refer to them.
void collect_boot_config(Snapshot* snap);

// Appends to problems what the kernel would misread in one configured line:
// a parameter the analysis reads glued to the next one, a CPU list left
// empty, an unbalanced double quote.
void boot_line_check(Arena* a, const BootLine* bl, List<BootProblem>* problems);
