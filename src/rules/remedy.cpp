#include "rules/remedy.h"

#include "base/shell_quote.h"

void cmd_init(ShellCmd* c, Arena* a) {
  sb_init(&c->sb, a);
  c->unprintable = false;
}

void cmd_code(ShellCmd* c, const char* code) {
  sb_append_cstr(&c->sb, code);
}

void cmd_word(ShellCmd* c, StrView word) {
  for (size_t i = 0; i < word.len; i++) {
    auto b = static_cast<unsigned char>(word.ptr[i]);
    if (b < 0x20 || b == 0x7f) c->unprintable = true;
  }
  sb_append_shell_word(&c->sb, word);
}

void cmd_int(ShellCmd* c, long long n) {
  sb_printf(&c->sb, "%lld", n);
}

void cmd_cpu_words(ShellCmd* c, const CpuSet* s) {
  bool first = true;
  for (int32_t cpu : CpuIter{s}) {
    sb_printf(&c->sb, first ? "%d" : " %d", cpu);
    first = false;
  }
}

void cmd_cpulist(ShellCmd* c, const CpuSet* s) {
  sb_append_view(&c->sb, cpuset_format_list(c->sb.arena, s));
}

void cmd_mask(ShellCmd* c, const CpuSet* s) {
  sb_append_view(&c->sb, cpuset_format_mask(c->sb.arena, s));
}

void cmd_cpu_loop(ShellCmd* c, const CpuSet* s, const char* body) {
  cmd_code(c, "for c in ");
  cmd_cpu_words(c, s);
  sb_printf(&c->sb, "; do %s; done", body);
}

namespace {

constexpr char kUnprintable[] =
    "(A command is left out here: a name it needs holds a control character, which no "
    "command line can show.)";

void new_line(Remedy* r) {
  if (r->text.len) sb_append_char(&r->text, '\n');
}

void push(Remedy* r, StrView text, StrView remark, bool command) {
  list_push(r->arena, &r->script, ScriptLine{text, remark, command});
}

}  // namespace

void remedy_init(Remedy* r, Arena* a) {
  r->arena = a;
  sb_init(&r->text, a);
  r->script = {};
  r->has_prose = false;
}

void remedy_say(Remedy* r, StrView prose) {
  new_line(r);
  sb_append_view(&r->text, prose);
  push(r, prose, kNoneView, false);
  r->has_prose = true;
}

void remedy_run_remark(Remedy* r, const ShellCmd* c, StrView remark, RemarkForm form) {
  if (c->unprintable) {
    remedy_say(r, sv_lit(kUnprintable));
    return;
  }
  StrView cmd = sb_view(&c->sb);
  new_line(r);
  if (r->has_prose) sb_append_cstr(&r->text, "  ");
  sb_append_view(&r->text, cmd);
  if (remark.len) {
    sb_printf(&r->text, form == RemarkForm::paren ? "   (%.*s)" : "   # %.*s", SV_ARG(remark));
  }
  push(r, cmd, remark, true);
}

void remedy_run(Remedy* r, const ShellCmd* c) {
  remedy_run_remark(r, c, kNoneView, RemarkForm::hash);
}

void remedy_lead(Remedy* r, StrView lead, const ShellCmd* c) {
  if (c->unprintable) {
    remedy_say(r, lead);
    remedy_say(r, sv_lit(kUnprintable));
    return;
  }
  StrView cmd = sb_view(&c->sb);
  new_line(r);
  sb_printf(&r->text, "%.*s %.*s", SV_ARG(lead), SV_ARG(cmd));
  push(r, lead, kNoneView, false);
  push(r, cmd, kNoneView, true);
  r->has_prose = true;
}

void finding_set_remedy(Finding* f, const Remedy* r) {
  f->remediation = sb_view(&r->text);
  f->script = r->script;
}

void finding_set_command(Finding* f, Arena* a, const ShellCmd* c, StrView remark,
                         RemarkForm form) {
  Remedy fix;
  remedy_init(&fix, a);
  remedy_run_remark(&fix, c, remark, form);
  finding_set_remedy(f, &fix);
}

void finding_set_command_code(Finding* f, Arena* a, const char* code, StrView remark,
                              RemarkForm form) {
  ShellCmd c;
  cmd_init(&c, a);
  cmd_code(&c, code);
  finding_set_command(f, a, &c, remark, form);
}

void finding_set_said_command(Finding* f, Arena* a, StrView prose, const ShellCmd* c) {
  Remedy fix;
  remedy_init(&fix, a);
  remedy_say(&fix, prose);
  remedy_run(&fix, c);
  finding_set_remedy(f, &fix);
}

void finding_set_said_code(Finding* f, Arena* a, StrView prose, const char* code) {
  ShellCmd c;
  cmd_init(&c, a);
  cmd_code(&c, code);
  finding_set_said_command(f, a, prose, &c);
}
