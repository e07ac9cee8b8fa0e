// The plan's shared wording: the combined command line's instructions and
// the boot-time script and unit that keep the runtime fixes.
#include "report/plan.h"

const char kPlanBootApply[] =
    "Debian/Ubuntu: add them to the line in GRUB_CMDLINE_LINUX_DEFAULT in /etc/default/grub "
    "and run update-grub. RHEL/Fedora: grubby --update-kernel=ALL --args='...'. Reboot, then "
    "check /proc/cmdline.";

const char kPlanSysctlOverridden[] =
    "These settings are applied after that file and give the same keys other values, which win "
    "at boot: change or remove them as well.";

StrView plan_override_line(Arena* a, const PersistedSysctl* e) {
  return arena_sprintf(a, "%.*s:%d: %.*s = %.*s", SV_ARG(e->file), e->line, SV_ARG(e->key),
                       SV_ARG(e->value));
}

const char* const kPlanUnitLines[] = {
    "# /etc/systemd/system/rt-tuning.service",
    "[Unit]",
    "Description=Real-time tuning",
    "After=sysinit.target",
    "",
    "[Service]",
    "Type=oneshot",
    "RemainAfterExit=yes",
    "ExecStart=/bin/sh /usr/local/sbin/rt-tuning.sh",
    "",
    "[Install]",
    "WantedBy=multi-user.target",
    "",
    "systemctl enable --now rt-tuning.service",
};
const size_t kPlanUnitLineCount = sizeof kPlanUnitLines / sizeof kPlanUnitLines[0];

StrView plan_boot_intro(Arena* a, size_t boot_items, const char* where) {
  return arena_sprintf(
      a,
      "%zu of the findings %s %s fixed by boot parameters. Add them to the kernel command line "
      "the machine boots with now, keeping the parameters already there; where one of these "
      "parameters is already set, replace its value instead of adding it a second time. Check "
      "the CPU numbers against this machine first.",
      boot_items, where, boot_items == 1 ? "is" : "are");
}

namespace {

// A copy of text with control bytes replaced by "?".
StrView one_line(Arena* a, StrView text) {
  char* p = arena_array<char>(a, text.len + 1);
  for (size_t i = 0; i < text.len; i++) {
    unsigned char c = static_cast<unsigned char>(text.ptr[i]);
    p[i] = c < 0x20 || c == 0x7F ? '?' : text.ptr[i];
  }
  return StrView{p, text.len};
}

StrView comment(Arena* a, StrView text) {
  return arena_sprintf(a, "# %.*s", SV_ARG(one_line(a, text)));
}

StrView script_line(Arena* a, const ScriptLine& line) {
  if (!line.command) return comment(a, line.text);
  if (!line.remark.len) return one_line(a, line.text);
  return arena_sprintf(a, "%.*s   # %.*s", SV_ARG(one_line(a, line.text)),
                       SV_ARG(one_line(a, line.remark)));
}

}  // namespace

StrList plan_runtime_script(Arena* a, const List<RuntimeItem>* items) {
  StrList out = {};
  list_push(a, &out, sv_lit("#!/bin/sh"));
  list_push(a, &out, sv_lit("# /usr/local/sbin/rt-tuning.sh"));
  for (const RuntimeItem& it : *items) {
    StrView title = one_line(a, it.finding->title);
    list_push(a, &out, arena_sprintf(a, "# %zu. %.*s", it.number, SV_ARG(title)));
    for (const ScriptLine& line : it.finding->script) list_push(a, &out, script_line(a, line));
  }
  return out;
}
