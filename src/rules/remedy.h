// A fix told as lines of prose and of commands. One builder writes both what
// the reports show (the finding's remediation text) and what the boot script
// runs (its script lines), so the script is made of commands as data and
// never of prose that happens to mention a path.
//
// A command is built from the rule's own program text, numbers formatted
// here, and words read from the machine, each of which passes through the
// one shell-quoting function (base/shell_quote.h).
#pragma once

#include "base/arena.h"
#include "base/cpuset.h"
#include "base/str.h"
#include "rules/finding.h"

struct ShellCmd {
  StrBuf sb;
  bool unprintable;  // a machine word holds a control byte: no line can show it
};

void cmd_init(ShellCmd* c, Arena* a);
// Program text as written: a literal of the rule, never text from the machine.
void cmd_code(ShellCmd* c, const char* code);
// A word read from the machine (a path, a name, a value): one quoted word.
void cmd_word(ShellCmd* c, StrView word);
void cmd_int(ShellCmd* c, long long n);
// The CPUs as decimal words for a shell loop ("2 3 6 7").
void cmd_cpu_words(ShellCmd* c, const CpuSet* s);
// The CPUs as a cpulist ("2-3,6") and as a hexadecimal mask ("cc").
void cmd_cpulist(ShellCmd* c, const CpuSet* s);
void cmd_mask(ShellCmd* c, const CpuSet* s);
// "for c in 2 3; do BODY; done": BODY is program text that names the CPU $c.
void cmd_cpu_loop(ShellCmd* c, const CpuSet* s, const char* body);

// How a command's remark is shown in the remediation text: "cmd   (remark)"
// or "cmd   # remark". The boot script always writes "cmd   # remark".
enum class RemarkForm : uint8_t { paren, hash };

struct Remedy {
  Arena* arena;
  StrBuf text;
  List<ScriptLine> script;
  bool has_prose;  // a line of prose came first: commands below it are indented
};

void remedy_init(Remedy* r, Arena* a);
// A line of prose; a comment in the boot script.
void remedy_say(Remedy* r, StrView prose);
// A command that writes the running kernel's state, on a line of its own,
// indented by two spaces under prose. An unprintable command is left out,
// and a line of prose says why.
void remedy_run(Remedy* r, const ShellCmd* c);
void remedy_run_remark(Remedy* r, const ShellCmd* c, StrView remark, RemarkForm form);
// Prose and the command it leads to on one line ("Then set it again: echo
// ..."); the prose becomes a comment line of its own in the script.
void remedy_lead(Remedy* r, StrView lead, const ShellCmd* c);
// Sets the finding's remediation text and its script lines.
void finding_set_remedy(Finding* f, const Remedy* r);
// A fix that is one command, with an optional remark.
void finding_set_command(Finding* f, Arena* a, const ShellCmd* c, StrView remark = kNoneView,
                         RemarkForm form = RemarkForm::paren);
// A fix told in one line of prose, then the one command it leads to.
void finding_set_said_command(Finding* f, Arena* a, StrView prose, const ShellCmd* c);
void finding_set_said_code(Finding* f, Arena* a, StrView prose, const char* code);
// A fix that is one command of program text alone.
void finding_set_command_code(Finding* f, Arena* a, const char* code, StrView remark = kNoneView,
                              RemarkForm form = RemarkForm::paren);
