#include "collect/tick_trace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/parse.h"
#include "collect/tick_stop.h"
#include "source/file_read.h"

namespace {

constexpr StrView kPrefix = sv_lit("kelvane-");

// dir/name into out; false when it does not fit.
bool join(char (&out)[PATH_MAX], const char* dir, const char* name) {
  int n = snprintf(out, sizeof out, "%s/%s", dir, name);
  return n > 0 && n < static_cast<int>(sizeof out);
}

// The event's directory under an instance and its parents, deepest first.
constexpr const char* kEventDirs[] = {"events/timer/tick_stop", "events/timer", "events"};

// A tracefs mkdir in instances/ makes the instance's files itself; a plain
// directory standing in for tracefs does not, so the event's directories
// are made when missing and left alone when there (EEXIST).
bool make_event_dirs(const char* dir) {
  char path[PATH_MAX];
  for (size_t i = sizeof kEventDirs / sizeof *kEventDirs; i-- > 0;) {
    if (!join(path, dir, kEventDirs[i])) return false;
    if (mkdir(path, 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool write_file(const char* dir, const char* name, const char* text, int flags) {
  char path[PATH_MAX];
  if (!join(path, dir, name)) return false;
  int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC | flags, 0644);
  if (fd < 0) return false;
  size_t len = strlen(text);
  bool ok = write(fd, text, len) == static_cast<ssize_t>(len);
  return close(fd) == 0 && ok;
}

// On tracefs, rmdir of an instance removes its files with it and unlinking
// them fails harmlessly; in a plain directory only what was made here is in
// the way.
void remove_instance(const char* dir) {
  char path[PATH_MAX];
  if (join(path, dir, "events/timer/tick_stop/enable")) unlink(path);
  for (const char* sub : kEventDirs) {
    if (join(path, dir, sub)) rmdir(path);
  }
  rmdir(dir);
}

// Whether pid is a running kelvane: its /proc/PID/comm names it.
bool kelvane_running(int64_t pid) {
  char path[64], comm[32] = {};
  snprintf(path, sizeof path, "/proc/%lld/comm", static_cast<long long>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ssize_t n = read(fd, comm, sizeof comm - 1);
  close(fd);
  return n > 0 && sv_eq_cstr(sv_trim(StrView{comm, static_cast<size_t>(n)}), "kelvane");
}

}  // namespace

void tick_trace_sweep(StrView tracefs, int32_t self) {
  char instances[PATH_MAX], path[PATH_MAX];
  int n = snprintf(instances, sizeof instances, "%.*s/instances", SV_ARG(tracefs));
  DIR* d = n > 0 && n < static_cast<int>(sizeof instances) ? opendir(instances) : nullptr;
  if (!d) return;
  while (dirent* e = readdir(d)) {
    StrView name = sv_from_cstr(e->d_name);
    int64_t pid = 0;
    if (!sv_consume_prefix(&name, kPrefix) || !sv_all_digits(name) || !parse_i64(name, &pid))
      continue;
    if (pid != self && kelvane_running(pid)) continue;
    if (join(path, instances, e->d_name)) remove_instance(path);
  }
  closedir(d);
}

bool tick_trace_start(TickTrace* t, StrView tracefs, int32_t self) {
  t->dir[0] = 0;
  tick_trace_sweep(tracefs, self);
  char dir[PATH_MAX];
  int n = snprintf(dir, sizeof dir, "%.*s/instances/kelvane-%d", SV_ARG(tracefs), self);
  if (n <= 0 || n >= static_cast<int>(sizeof dir) || mkdir(dir, 0755) != 0) return false;
  memcpy(t->dir, dir, sizeof dir);
  // A small buffer: the window's events are few, and the instance's default
  // buffer is per CPU. Kept at the default where it cannot be set.
  write_file(dir, "buffer_size_kb", "64", 0);
  if (make_event_dirs(dir) &&
      write_file(dir, "events/timer/tick_stop/enable", "1", O_CREAT))
    return true;
  remove_instance(t->dir);
  t->dir[0] = 0;
  return false;
}

StrView tick_trace_finish(TickTrace* t, Arena* a) {
  if (!t->dir[0]) return {};
  char path[PATH_MAX];
  StrView text{};
  int fd = join(path, t->dir, "trace") ? open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd >= 0) {
    char* buf = arena_array<char>(a, kTickTraceMax);
    ssize_t n = file_read_fully(fd, buf, kTickTraceMax);
    if (n >= 0) text = StrView{buf, static_cast<size_t>(n)};
    close(fd);
  }
  remove_instance(t->dir);
  t->dir[0] = 0;
  return text;
}
