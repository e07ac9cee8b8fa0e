// Source: where every file of the analysed machine comes from -- the live
// system, an unpacked tree (--root) or a bundle loaded into memory. Paths are
// always absolute paths as they are on the analysed machine.
#pragma once

#include <cstdint>

#include "base/arena.h"
#include "base/list.h"
#include "base/str.h"
#include "base/str_index.h"

struct ReadError {
  StrView path;  // normalised path as the collectors name it
  StrView name;  // "ENOENT", "EISDIR", "EBADGZIP", "errno %d" ...
};

struct Source;

// A read buffer that successive reads reuse: each read replaces what it held,
// so a walk over thousands of small files costs one buffer, not one per file.
// Starts zero-filled; grows from the Arena when a file does not fit.
struct ReadBuf {
  char* data;
  size_t cap;
};

// The operations of a kind of Source; each receives a normalised path.
// read_into is optional: a kind that already holds its files in memory (a
// bundle) leaves it null and is served by read_raw without copying.
struct SourceOps {
  bool (*read_raw)(Source* src, StrView path, StrView* out);
  bool (*exists)(Source* src, StrView path);
  void (*list)(Source* src, StrView path, StrList* out);
  // dot_names: wildcards match a leading "." of a name too.
  void (*glob)(Source* src, StrView pattern, bool dot_names, StrList* out);
  bool (*read_into)(Source* src, StrView path, ReadBuf* buf, StrView* out);
};

struct Source {
  Arena* arena;
  bool live;
  const char* label;  // "live system", the tree path, or the bundle path as given
  StrView root;       // prefix for a directory source; "" for live and bundle
  List<ReadError> read_errors;
  SourceOps ops;
  void* ctx;
  // read_errors by path, kept by record_read_error so that recording stays
  // linear however many reads fail; entries appended to the list directly
  // (beyond read_errors_indexed) are indexed on the next record.
  StrIndex read_error_index;
  size_t read_errors_indexed;
  // Files under /proc or /sys read successfully through source_read and its
  // kin: none at all means the Source holds no machine to analyse.
  uint64_t kernel_reads;
};

// Whether anything under /proc or /sys could be read through src so far.
bool source_has_kernel_data(const Source* src);

StrView source_read(Source* src, const char* path);
StrView source_read_view(Source* src, StrView path);
StrView source_read_trimmed(Source* src, const char* path);
// source_read into a reused buffer: the view stays valid until the next read
// into buf (a bundle answers a view of its member, valid for the run). Failures
// are recorded as source_read records them; ".gz" files are inflated into the
// Arena as source_read does.
StrView source_read_reuse(Source* src, StrView path, ReadBuf* buf);
bool source_read_int(Source* src, const char* path, int base, int64_t* out);
bool source_exists(Source* src, const char* path);
void source_list(Source* src, const char* dir, StrList* out);
void source_glob(Source* src, const char* pattern, StrList* out);
// source_glob whose wildcards match a leading "." of a name as well, for
// directories whose entries are all named by the machine's users (cgroups):
// there a name such as ".hidden" or "..\x" is a name like any other.
void source_glob_dot_names(Source* src, const char* pattern, StrList* out);

StrView source_read_trimmedf(Source* src, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
bool source_read_intf(Source* src, int64_t* out, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
bool source_existsf(Source* src, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

void record_read_error(Source* src, StrView path, StrView name);
void record_read_errno(Source* src, StrView path, int err);
StrView errno_name(Arena* a, int err);

// The largest file a Source reads, and the most a ".gz" file of the analysed
// machine may inflate to: 64 MiB. The largest files the analysis reads,
// /proc/interrupts and the kernel configuration, stay a few MiB even on
// machines of thousands of CPUs and interrupts; a file beyond the bound is
// broken or hostile, and reading it whole would let one file take gigabytes
// of memory. Such a file is unreadable: its read fails, recorded as EFBIG,
// before more than the bound is held.
constexpr uint64_t kMaxFileSize = uint64_t{64} << 20;

// The canonical absolute form of path: the path itself when it already is
// one (no copy, so not necessarily NUL-terminated), else an Arena copy.
StrView normalize_path(Arena* a, StrView path);
// Inflates gzip or zlib data (first member only). Refuses output beyond
// kGunzipLimit bytes so a small hostile file cannot exhaust memory.
constexpr uint64_t kGunzipLimit = uint64_t{1} << 30;
bool gunzip(Arena* a, StrView data, StrView* out);
// gunzip with an explicit bound: fails once the output would exceed limit bytes.
bool gunzip_limited(Arena* a, StrView data, StrView* out, uint64_t limit);
enum class Inflated { ok, malformed, too_big };
// gunzip_limited telling a stream that is not gzip or zlib data from one
// whose output exceeds limit bytes.
Inflated gunzip_bounded(Arena* a, StrView data, StrView* out, uint64_t limit);
