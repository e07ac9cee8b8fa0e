// CpuSet: a fixed 4096-CPU bitmap held by value; its text forms are the
// kernel's cpulist (0-3,8) and comma-separated hexadecimal mask (ff,00000003).
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"

constexpr int32_t kMaxCpus = 4096;

struct CpuSet {
  uint64_t bits[kMaxCpus / 64];
};

void cpuset_clear(CpuSet* s);
void cpuset_add(CpuSet* s, int32_t cpu);
void cpuset_remove(CpuSet* s, int32_t cpu);
bool cpuset_has(const CpuSet* s, int32_t cpu);
int32_t cpuset_count(const CpuSet* s);
bool cpuset_empty(const CpuSet* s);
bool cpuset_intersects(const CpuSet* a, const CpuSet* b);
void cpuset_copy(CpuSet* dst, const CpuSet* src);
void cpuset_or(CpuSet* dst, const CpuSet* src);
void cpuset_and(CpuSet* dst, const CpuSet* src);
void cpuset_andnot(CpuSet* dst, const CpuSet* src);
bool cpuset_equal(const CpuSet* a, const CpuSet* b);
int32_t cpuset_first(const CpuSet* s);
int32_t cpuset_next(const CpuSet* s, int32_t cpu);

void cpuset_parse_list(CpuSet* s, StrView text);
// The largest number a cpulist text names (its last CPU for the kernel's
// plain lists), or -1 when it names none: a CPU past kMaxCpus - 1 is dropped
// by the parser, and this says that it was there.
int64_t cpulist_highest(StrView text);
StrView cpuset_format_list(Arena* a, const CpuSet* s);
void cpuset_parse_mask(CpuSet* s, StrView text);
// The hexadecimal mask form that cpumask files take: 32-bit words from the
// highest non-zero one down, separated by ",", the first unpadded and the
// rest eight digits wide ("3", "1,00000000"); "0" for the empty set.
StrView cpuset_format_mask(Arena* a, const CpuSet* s);
// isolcpus= value: leading flag words (domain, managed_irq, nohz) then a cpulist.
void parse_isolcpus(Arena* a, StrView text, CpuSet* s, StrList* flags);

// A boot parameter's cpulist with the kernel's two extra spellings written
// out: "N" stands for the last possible CPU (last_cpu) and "all" (any case)
// for 0-N, so isolcpus=2-N or nohz_full=all:1/2 parse like any cpulist.
// Every other piece, flag words included, is kept as it is. With last_cpu
// below 0 (unknown) N and all are kept, and the list parser skips them.
StrView cpuset_resolve_boot_list(Arena* a, StrView text, int32_t last_cpu);

// for (int32_t c : CpuIter{&set}) visits members in ascending order.
struct CpuIter {
  const CpuSet* set;
  struct It {
    const CpuSet* set;
    int32_t cpu;
    int32_t operator*() const { return cpu; }
    It& operator++() {
      cpu = cpuset_next(set, cpu);
      return *this;
    }
    bool operator!=(const It& o) const { return cpu != o.cpu; }
  };
  It begin() const { return It{set, cpuset_first(set)}; }
  It end() const { return It{set, -1}; }
};
