// Bodies of the libFuzzer targets for the boot configuration, persisted
// sysctl and TuneD parsers, and for what capture keeps of boot files; shared
// with the unit test that feeds the seeds and kept inputs through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/arena.h"
#include "base/boot_params_read.h"
#include "collect/bls_entry.h"
#include "collect/cmdline.h"
#include "collect/grub_default.h"
#include "collect/sysctl_conf.h"
#include "collect/tuned.h"
#include "source/capture_boot.h"

inline StrView boot_fuzz_view(const uint8_t* data, size_t size) {
  return StrView{reinterpret_cast<const char*>(data), size};
}

inline int32_t boot_fuzz_lines(StrView v) {
  int32_t n = 1;
  for (size_t i = 0; i < v.len; i++) n += v.ptr[i] == '\n';
  return n;
}

// Assignments and the unbalanced quote lie on lines of the file.
inline void fuzz_grub_default(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView text = boot_fuzz_view(data, size);
  ShellVars vars{};
  int32_t bad = parse_grub_default(&a, text, &vars);
  int32_t lines = boot_fuzz_lines(text);
  if (bad < 0 || bad > lines) abort();
  for (const ShellAssign& v : vars.assigns) {
    if (v.line < 1 || v.line > lines || v.name.len == 0) abort();
  }
  arena_release(&a);
}

inline void fuzz_bls_entry(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView text = boot_fuzz_view(data, size);
  BlsEntry e{};
  parse_bls_entry(&a, text, &e);
  int32_t prev = 0;
  for (const BlsOptions& o : e.options) {
    if (o.line <= prev) abort();
    prev = o.line;
  }
  KvList env{};
  parse_grubenv(&a, text, &env);
  arena_release(&a);
}

// A boot line: no "--" reaches the kernel's words, and every reading of a
// parameter means the same as itself, whatever its kind.
inline void fuzz_boot_line(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  KvList params{};
  parse_cmdline_words(&a, boot_fuzz_view(data, size), &params);
  for (const KvPair& kv : params) {
    if (sv_eq_cstr(kv.key, "--") && !kv.value.ptr) abort();
    BootValue v{true, kv.value};
    for (BootValueKind k : {BootValueKind::flag, BootValueKind::text, BootValueKind::cpulist,
                            BootValueKind::isolcpus}) {
      if (!boot_values_same(&a, k, v, v, size > 0 ? data[0] : -1)) abort();
    }
  }
  arena_release(&a);
}

inline void fuzz_sysctl_conf(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  List<PersistedSysctl> out{};
  parse_sysctl_conf(&a, boot_fuzz_view(data, size), sv_lit("/etc/sysctl.d/x.conf"), &out);
  for (const PersistedSysctl& p : out) {
    if (p.key.len == 0 || !p.value.ptr || p.line < 1) abort();
  }
  KvList vars{};
  parse_tuned_variables(&a, boot_fuzz_view(data, size), &vars);
  arena_release(&a);
}

// What capture keeps of a boot file has as many lines as the file.
inline void fuzz_capture_boot(const uint8_t* data, size_t size) {
  Arena a;
  arena_init(&a);
  StrView text = boot_fuzz_view(data, size);
  for (BootFileKind k : {BootFileKind::grub_default, BootFileKind::bls_entry,
                         BootFileKind::kernel_cmdline, BootFileKind::grubenv}) {
    for (bool redact : {false, true}) {
      StrView kept = boot_file_keep(&a, k, text, redact);
      if (boot_fuzz_lines(kept) != boot_fuzz_lines(text)) abort();
    }
  }
  boot_line_redact(&a, text);
  arena_release(&a);
}
