#include <gtest/gtest.h>

#include "collect/cmdline.h"
#include "collect/consoles.h"
#include "rules/rule_module_test.h"

namespace {

class ConsoleRulesTest : public RuleModuleTest {};

// A PREEMPT_RT machine with this /proc/consoles text and boot line.
void rt(Snapshot* s, const char* consoles, const char* line) {
  s->is_rt = true;
  if (consoles) s->consoles_read = parse_consoles(s->arena, sv_from_cstr(consoles), &s->consoles);
  s->cmdline = sv_from_cstr(line);
  parse_cmdline_words(s->arena, s->cmdline, &s->cmdline_params);
}

constexpr const char* kLegacySerial = "ttyS0                -W- (EC p  )    4:64\n";
constexpr const char* kNbconSerial = "ttyS0                -W- (EC Np  )    4:64\n";
constexpr const char* kVt = "tty0                 -WU (E  p  )    4:1\n";

const RuleCase kCases[] = {
    {"tty0 listed", [](Snapshot* s) { rt(s, kVt, "ro"); }, Profile::hard_rt,
     "noise.graphics_console", Severity::warn, 1, "Kernel messages go to the graphics console tty0"},
    {"console=tty0, consoles unread", [](Snapshot* s) { rt(s, nullptr, "console=ttyS0 console=tty0"); },
     Profile::hard_rt, "noise.graphics_console", Severity::warn, 1,
     "Kernel messages go to the graphics console tty0"},
    {"serial only", [](Snapshot* s) { rt(s, kLegacySerial, "console=ttyS0,115200"); },
     Profile::hard_rt, "noise.graphics_console", Severity::pass, 1, "No framebuffer or VGA console"},
    {"not PREEMPT_RT", [](Snapshot* s) { rt(s, kVt, "ro"); s->is_rt = false; }, Profile::hard_rt,
     "noise.graphics_console", kNoFinding, 0, ""},
    {"legacy serial, printk 7",
     [](Snapshot* s) { rt(s, kLegacySerial, "quiet"); s->console_loglevel = opt_some(int64_t{7}); },
     Profile::hard_rt, "noise.console_loglevel", Severity::warn, 1,
     "Legacy console ttyS0 prints at log level 7"},
    {"legacy serial, ignore_loglevel beats printk",
     [](Snapshot* s) { rt(s, kLegacySerial, "ignore_loglevel"); s->console_loglevel = opt_some(int64_t{4}); },
     Profile::hard_rt, "noise.console_loglevel", Severity::warn, 1,
     "Legacy console ttyS0 prints at log level 15"},
    {"legacy serial, quiet", [](Snapshot* s) { rt(s, kLegacySerial, "quiet"); }, Profile::hard_rt,
     "noise.console_loglevel", Severity::pass, 1, "Console log level 4 keeps ttyS0 quiet"},
    {"nbcon serial", [](Snapshot* s) { rt(s, kNbconSerial, "ignore_loglevel"); }, Profile::hard_rt,
     "noise.console_loglevel", Severity::pass, 1, "No legacy serial console"},
};

TEST_F(ConsoleRulesTest, Cases) { expect_cases(console_rules, kCases, Category::noise); }

}  // namespace
