// What the machine is configured to boot next: the kernel command lines of
// its boot loader configuration, read for comparison with /proc/cmdline.
// grub.cfg is never read: it can hold password hashes.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "collect/boot_lines.h"

struct Snapshot;

// Fills snap->boot_config: the boot loader entries when
// /boot/loader/entries holds one for the running kernel, else
// /etc/kernel/cmdline when present, else the GRUB defaults; grubenv's
// kernelopts and tuned_params fill the "$name" words that refer to them.
void collect_boot_config(Snapshot* snap);

// Appends to problems what the kernel would misread in one configured line:
// a parameter the analysis reads glued to the next one, a CPU list left
// empty, an unbalanced double quote.
void boot_line_check(Arena* a, const BootLine* bl, List<BootProblem>* problems);
