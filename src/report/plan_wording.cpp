// The plan's shared wording: the combined command line's instructions and
// the boot-time script and unit that keep the runtime fixes.
#include "report/plan.h"

const char kPlanBootApply[] =
    "Debian/Ubuntu: add them to the line in GRUB_CMDLINE_LINUX_DEFAULT in /etc/default/grub "
    "and run update-grub. RHEL/Fedora: grubby --update-kernel=ALL --args='...'. Reboot, then "
    "check /proc/cmdline.";

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

// A command, with a trailing "(...)" remark turned into a comment.
StrView command(Arena* a, StrView line) {
  StrView cmd = sv_trim(line);
  for (size_t i = cmd.len; i-- > 1;) {
    if (cmd.ptr[i] != '(' || cmd.ptr[i - 1] != ' ' || !sv_ends_with(cmd, ")")) continue;
    StrView head = sv_trim(sv_slice(cmd, 0, i));
    StrView remark = sv_slice(cmd, i + 1, cmd.len - 1);
    return arena_sprintf(a, "%.*s   # %.*s", SV_ARG(one_line(a, head)),
                         SV_ARG(one_line(a, remark)));
  }
  return one_line(a, cmd);
}

// A prose lead-in before the command on the same line ("Then set it again:
// echo ...") becomes a comment line of its own.
void add_command_line(Arena* a, StrView line, StrList* out) {
  for (size_t i = 0; i + 1 < line.len; i++) {
    if (line.ptr[i] == '>') break;
    if (line.ptr[i] != ':' || line.ptr[i + 1] != ' ') continue;
    list_push(a, out, comment(a, sv_slice(line, 0, i + 1)));
    line = sv_slice(line, i + 2, line.len);
    break;
  }
  list_push(a, out, command(a, line));
}

void add_remediation(Arena* a, StrView text, StrList* out) {
  StrView rest = text;
  while (rest.ptr) {
    StrView line = sv_next_token(&rest, "\n");
    if (sv_trim(line).len == 0) continue;
    if (line.ptr[0] == ' ' || line.ptr[0] == '\t') {
      list_push(a, out, command(a, line));
    } else if (writes_runtime_state(line)) {
      add_command_line(a, line, out);
    } else {
      list_push(a, out, comment(a, line));
    }
  }
}

}  // namespace

StrList plan_runtime_script(Arena* a, const List<RuntimeItem>* items) {
  StrList out = {};
  list_push(a, &out, sv_lit("#!/bin/sh"));
  list_push(a, &out, sv_lit("# /usr/local/sbin/rt-tuning.sh"));
  for (const RuntimeItem& it : *items) {
    StrView title = one_line(a, it.finding->title);
    list_push(a, &out, arena_sprintf(a, "# %zu. %.*s", it.number, SV_ARG(title)));
    add_remediation(a, it.finding->remediation, &out);
  }
  return out;
}
