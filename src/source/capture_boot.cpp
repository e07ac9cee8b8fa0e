#include "source/capture_boot.h"

#include <cstring>

#include "base/boot_params_read.h"

namespace {

// Keys whose value is itself a boot line (or part of one): their value is
// redacted word by word, never as a whole.
constexpr const char* kLineHolders[] = {"GRUB_CMDLINE_LINUX", "GRUB_CMDLINE_LINUX_DEFAULT",
                                        "kernelopts", "tuned_params"};

// What each kind of file keeps: lines whose first word starts with one of
// these (a null list keeps every line that is not a comment).
constexpr const char* kGrubKeep[] = {"GRUB_CMDLINE_", "export GRUB_CMDLINE_", nullptr};
constexpr const char* kBlsKeep[] = {"linux", "version", "options", nullptr};
constexpr const char* kEnvKeep[] = {"kernelopts=", "tuned_params=", "saved_entry=", nullptr};

bool holds_line(StrView key) {
  for (const char* k : kLineHolders) {
    if (sv_eq_cstr(key, k)) return true;
  }
  return false;
}

void redact_word(StrBuf* out, StrView word) {
  StrView key, value;
  if (!sv_split_once(word, '=', &key, &value) || value.len == 0 ||
      sv_eq_cstr(key, "BOOT_IMAGE") || boot_param_read_find(key)) {
    sb_append_view(out, word);
    return;
  }
  sb_append_view(out, key);
  sb_append_char(out, '=');
  if (holds_line(key)) {
    redact_word(out, value);
  } else {
    sb_append_cstr(out, "redacted");
  }
}

// Words end at blanks and quotes, which are copied as they are. The kernel
// hands every word after "--" to init as an argument
// (Documentation/admin-guide/kernel-parameters.rst): none of them is a
// parameter, so each is redacted whole.
void redact_text(StrBuf* out, StrView text) {
  size_t i = 0;
  bool init_args = false;
  while (i < text.len) {
    size_t start = i;
    while (i < text.len && !strchr(" \t\r\n\"'", text.ptr[i])) i++;
    StrView word = sv_make(text.ptr + start, i - start);
    if (init_args && word.len) {
      sb_append_cstr(out, "redacted");
    } else if (word.len) {
      redact_word(out, word);
    }
    init_args = init_args || sv_eq_cstr(word, "--");
    if (i < text.len) sb_append_char(out, text.ptr[i++]);
  }
}

bool starts_with_any(StrView line, const char* const* keep) {
  for (; *keep; keep++) {
    if (sv_starts_with(line, *keep)) return true;
  }
  return false;
}

// Whether a quote opened on this line is still open at its end (shell rules:
// "\" escapes outside single quotes).
char quote_after(StrView line, char open) {
  for (size_t i = 0; i < line.len; i++) {
    char c = line.ptr[i];
    if (open != '\'' && c == '\\') {
      i++;
    } else if (open == 0 && (c == '"' || c == '\'')) {
      open = c;
    } else if (c == open) {
      open = 0;
    }
  }
  return open;
}

const char* const* keep_list(BootFileKind kind) {
  switch (kind) {
    case BootFileKind::grub_default: return kGrubKeep;
    case BootFileKind::bls_entry: return kBlsKeep;
    case BootFileKind::grubenv: return kEnvKeep;
    default: return nullptr;
  }
}

}  // namespace

BootFileKind boot_file_kind(StrView path) {
  if (sv_eq_cstr(path, "/etc/default/grub")) return BootFileKind::grub_default;
  if (sv_starts_with(path, "/etc/default/grub.d/")) return BootFileKind::grub_default;
  if (sv_starts_with(path, "/boot/loader/entries/")) return BootFileKind::bls_entry;
  if (sv_eq_cstr(path, "/etc/kernel/cmdline")) return BootFileKind::kernel_cmdline;
  if (sv_ends_with(path, "/grubenv") && sv_starts_with(path, "/boot/")) return BootFileKind::grubenv;
  return BootFileKind::none;
}

StrView boot_file_keep(Arena* a, BootFileKind kind, StrView text, bool redact) {
  const char* const* keep = keep_list(kind);
  StrBuf out;
  sb_init(&out, a);
  StrView cur = text;
  char open = 0;  // a quote of a kept line still open
  while (cur.ptr) {
    bool last = !memchr(cur.ptr, '\n', cur.len);
    StrView line = sv_next_line(&cur);
    StrView t = sv_trim(line);
    bool kept = open || (keep ? starts_with_any(t, keep) : (t.len > 0 && t.ptr[0] != '#'));
    if (kept && kind == BootFileKind::grub_default) open = quote_after(line, open);
    if (kept && redact) redact_text(&out, line);
    if (kept && !redact) sb_append_view(&out, line);
    if (!last) sb_append_char(&out, '\n');
  }
  return sb_view(&out);
}

StrView boot_line_redact(Arena* a, StrView line) {
  StrBuf out;
  sb_init(&out, a);
  redact_text(&out, line);
  return sb_view(&out);
}
