// Console rules: what the kernel prints and through which console drivers.
// A framebuffer or VGA console on a PREEMPT_RT kernel, and a legacy serial
// console that receives every message above a quiet log level, both put
// slow console output in the kernel's way. Every finding here belongs to the
// "noise" category.
#include <cstdint>

#include "base/boot_params_read.h"
#include "collect/snapshot.h"
#include "rules/finding.h"
#include "rules/remedy.h"
#include "rules/rules.h"
#include "source/boot_param_check.h"

namespace {

constexpr Category kCat = Category::noise;

// Above this console log level, warnings and notices reach the console too
// (the level "quiet" sets: Documentation/admin-guide/kernel-parameters.txt).
constexpr int64_t kQuietLevel = 4;
// ignore_loglevel prints every message whatever the level: the highest.
constexpr int64_t kAllLevels = 15;

// A virtual terminal console, drawn by a framebuffer or VGA driver: "tty"
// and the terminal's number ("tty0" is the one in the foreground).
bool is_vt_console(StrView name) {
  StrView n = name;
  StrView dev, opts;
  sv_split_once(n, ',', &dev, &opts);
  return sv_consume_prefix(&dev, sv_lit("tty")) && sv_all_digits(dev);
}

// The first console= word of the boot line naming a virtual terminal.
StrView vt_console_param(const Snapshot* s) {
  for (const KvPair& p : s->cmdline_params) {
    if (boot_name_eq(p.key, sv_from_cstr(boot_param("console"))) && p.value.ptr &&
        is_vt_console(p.value))
      return p.value;
  }
  return kNoneView;
}

const Console* vt_console(const Snapshot* s) {
  for (const Console& c : s->consoles)
    if (c.enabled && is_vt_console(c.name)) return &c;
  return nullptr;
}

// RHEL for Real Time, "Disabling graphics console output": drawing kernel
// messages on a graphics console takes long sections that a real-time
// kernel cannot preempt.
void rule_graphics_console(Report* r, const Snapshot* s) {
  if (!s->is_rt) return;
  const Console* vt = vt_console(s);
  StrView param = vt_console_param(s);
  if (!vt && !param.ptr) {
    if (s->consoles_read) {
      add_finding(r, "noise.graphics_console", kCat, Severity::pass,
                  sv_lit("No framebuffer or VGA console"));
    }
    return;
  }
  Finding* f = add_finding(r, "noise.graphics_console", kCat, Severity::warn,
                           arena_sprintf(r->arena, "Kernel messages go to the graphics console %.*s",
                                         SV_ARG(vt ? vt->name : param)));
  finding_set_impact(f, sv_lit("Every kernel message is drawn on a framebuffer or VGA console, "
                               "which scrolls and repaints the screen in sections the real-time "
                               "kernel cannot preempt."));
  finding_set_remediation(f, sv_lit("Boot without console=tty0, with a serial console (or none) "
                                    "instead, and keep the log level quiet."));
  if (vt) finding_add_evidence(r, f, sv_lit("/proc/consoles"), vt->name);
  if (param.ptr) finding_add_evidence(r, f, sv_lit("/proc/cmdline"), param);
}

// A legacy (not nbcon) console other than a virtual terminal: a serial line
// or the like, which prints from whatever context emitted the message.
const Console* legacy_console(const Snapshot* s) {
  for (const Console& c : s->consoles)
    if (c.enabled && !c.nbcon && !is_vt_console(c.name)) return &c;
  return nullptr;
}

struct LogLevel {
  bool known;
  int64_t level;
  StrView source;  // where it comes from, for the evidence
};

// ignore_loglevel always wins; then kernel.printk as the kernel reports it;
// then loglevel= or quiet of the boot line; then the configured default.
LogLevel console_level(const Snapshot* s) {
  const KvList* params = &s->cmdline_params;
  int64_t v;
  if (kv_has(params, boot_param("ignore_loglevel")))
    return {true, kAllLevels, sv_lit("ignore_loglevel")};
  if (s->console_loglevel.has) return {true, s->console_loglevel.value, sv_lit("kernel.printk")};
  if (kv_get_int(params, boot_param("loglevel"), &v)) return {true, v, sv_lit("loglevel=")};
  if (kv_has(params, boot_param("quiet"))) return {true, kQuietLevel, sv_lit("quiet")};
  if (kv_get_int(&s->config, "CONFIG_CONSOLE_LOGLEVEL_DEFAULT", &v))
    return {true, v, sv_lit("CONFIG_CONSOLE_LOGLEVEL_DEFAULT")};
  return {};
}

// Documentation/admin-guide/sysctl/kernel.rst, printk: messages with a
// higher priority than console_loglevel are printed to the console.
void rule_console_loglevel(Report* r, const Snapshot* s) {
  if (!s->consoles_read) return;
  const Console* legacy = legacy_console(s);
  if (!legacy) {
    add_finding(r, "noise.console_loglevel", kCat, Severity::pass,
                sv_lit("No legacy serial console"));
    return;
  }
  LogLevel lv = console_level(s);
  if (!lv.known) return;
  if (lv.level <= kQuietLevel) {
    add_finding(r, "noise.console_loglevel", kCat, Severity::pass,
                arena_sprintf(r->arena, "Console log level %lld keeps %.*s quiet",
                              static_cast<long long>(lv.level), SV_ARG(legacy->name)));
    return;
  }
  Finding* f = add_finding(
      r, "noise.console_loglevel", kCat, Severity::warn,
      arena_sprintf(r->arena, "Legacy console %.*s prints at log level %lld", SV_ARG(legacy->name),
                    static_cast<long long>(lv.level)));
  finding_set_impact(f, sv_lit("Every kernel message above the level is pushed through the slow "
                               "console driver, a character at a time, by whichever task or "
                               "interrupt printed it."));
  finding_set_said_code(f, r->arena,
                        sv_lit("Lower the console log level (boot with quiet and without "
                               "ignore_loglevel), or use a console driver that prints from its "
                               "own thread (nbcon):"),
                        "echo 4 > /proc/sys/kernel/printk");
  finding_add_evidence(r, f, sv_lit("/proc/consoles"), legacy->name);
  finding_add_evidence(r, f, lv.source,
                       arena_sprintf(r->arena, "%lld", static_cast<long long>(lv.level)));
}

}  // namespace

void console_rules(Report* report, const RuleContext* ctx) {
  const Snapshot* s = ctx->snapshot;
  rule_graphics_console(report, s);
  rule_console_loglevel(report, s);
}
