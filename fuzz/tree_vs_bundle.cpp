#include "tree_vs_bundle.h"

#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pipeline_check.h"
#include "pipeline_input.h"
#include "source/bundle.h"
#include "source/source_open.h"

namespace {

constexpr uint64_t kInflateLimit = uint64_t{64} << 20;

// A name a tree can hold exactly as the bundle does: absolute, no empty,
// "." or ".." component, components within NAME_MAX.
bool layable(StrView path) {
  if (!sv_starts_with(path, "/") || path.len > 1024) return false;
  StrView cur = sv_slice(path, 1, path.len);
  while (true) {
    StrView part = cur, rest = kNoneView;
    bool more = sv_split_once(cur, '/', &part, &rest);
    if (part.len == 0 || part.len > NAME_MAX || sv_eq_cstr(part, ".") || sv_eq_cstr(part, ".."))
      return false;
    if (!more) return true;
    cur = rest;
  }
}

bool is_dir(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_parents(char* full, size_t root_len) {
  for (char* p = full + root_len + 1; (p = strchr(p, '/')); p++) {
    *p = '\0';
    bool ok = mkdir(full, 0755) == 0 || is_dir(full);
    *p = '/';
    if (!ok) return false;
  }
  return true;
}

bool write_all(int fd, StrView v) {
  for (size_t done = 0; done < v.len;) {
    ssize_t n = write(fd, v.ptr + done, v.len - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// False when the file or directory cannot stand on disk as named (a file
// where a directory must be, or the other way round).
bool lay_out(Arena* a, const char* dir, const PipelineFile& f) {
  if (!layable(f.path)) return false;
  char* full = arena_cstr(a, arena_sprintf(a, "%s%.*s", dir, SV_ARG(f.path)));
  if (!make_parents(full, strlen(dir))) return false;
  if (f.is_dir) return mkdir(full, 0755) == 0 || is_dir(full);
  // A name given again replaces the file, as a later member of an archive
  // replaces an earlier one.
  int fd = open(full, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write_all(fd, f.content);
  close(fd);
  return ok;
}

int remove_entry(const char* path, const struct stat*, int, struct FTW* ftw) {
  if (ftw->level > 0) remove(path);
  return 0;
}

// The JSON report of src without its "source" member; absent when src holds
// no machine.
StrView report_without_source(Arena* a, const PipelineInput* in, Source* src) {
  Report* r = src ? pipeline_analyse(a, in, src) : nullptr;
  if (!r) return kNoneView;
  StrView json = pipeline_json(a, r);
  StrBuf out;
  sb_init(&out, a);
  for (StrView cur = json; cur.len;) {
    StrView line = sv_next_line(&cur);
    if (!sv_starts_with(sv_trim(line), "\"source\":"))
      sb_append_view(&out, line), sb_append_char(&out, '\n');
  }
  return sb_view(&out);
}

const char* compare(Arena* a, const PipelineInput* in, const char* dir, StrView tar) {
  StrView err;
  StrView from_bundle =
      report_without_source(a, in, bundle_load(a, "fuzz", tar, kInflateLimit, &err));
  StrView from_tree = report_without_source(a, in, source_open(a, dir, &err));
  if (sv_eq(from_bundle, from_tree)) return nullptr;
  fprintf(stderr, "---- bundle\n%.*s---- tree\n%.*s", SV_ARG(from_bundle), SV_ARG(from_tree));
  return "the tree and the bundle give different reports";
}

}  // namespace

const char* tree_vs_bundle_check_input(const uint8_t* data, size_t size, const char* dir) {
  Arena a;
  arena_init(&a);
  PipelineInput in;
  pipeline_input_parse(&a, data, size, &in);
  in.opt.measure = false;  // measurement does not read the source
  StrView tar;
  bool laid = pipeline_input_tar(&a, &in, &tar);
  for (size_t i = 0; laid && i < in.files.count; i++) laid = lay_out(&a, dir, in.files[i]);
  const char* bad = laid ? compare(&a, &in, dir, tar) : nullptr;
  nftw(dir, remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  arena_release(&a);
  return bad;
}
