#include "source/pm_qos_hold.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// A /proc entry name that is a pid.
bool pid_name(const char* name, int32_t* pid) {
  char* end = nullptr;
  long v = strtol(name, &end, 10);
  if (end == name || *end || v <= 0 || v > INT32_MAX) return false;
  *pid = static_cast<int32_t>(v);
  return true;
}

// Whether any fd of /proc/PID links to device.
bool holds(const char* proc, int32_t pid, const char* device) {
  char dir[64 + PATH_MAX];
  snprintf(dir, sizeof dir, "%s/%d/fd", proc, pid);
  DIR* d = opendir(dir);
  if (!d) return false;
  bool found = false;
  size_t want = strlen(device);
  while (dirent* e = readdir(d)) {
    char target[PATH_MAX];
    ssize_t n = readlinkat(dirfd(d), e->d_name, target, sizeof target);
    if (n == static_cast<ssize_t>(want) && memcmp(target, device, want) == 0) {
      found = true;
      break;
    }
  }
  closedir(d);
  return found;
}

StrView read_comm(Arena* a, const char* proc, int32_t pid) {
  char path[64 + PATH_MAX];
  snprintf(path, sizeof path, "%s/%d/comm", proc, pid);
  char buf[17] = {};
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return sv_lit("?");
  ssize_t n = read(fd, buf, 16);
  close(fd);
  if (n <= 0) return sv_lit("?");
  while (n > 0 && buf[n - 1] == '\n') n--;
  return arena_strndup(a, sv_make(buf, static_cast<size_t>(n)));
}

// The device answers a read with the value as a native 32-bit integer.
bool read_value(const char* device, int32_t* out) {
  int fd = open(device, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int32_t v = 0;
  ssize_t n = read(fd, &v, sizeof v);
  close(fd);
  if (n != static_cast<ssize_t>(sizeof v) || v < 0) return false;
  *out = v;
  return true;
}

}  // namespace

bool pm_qos_find_holder(Arena* a, const char* proc, const char* device, PmQosHolder* out) {
  *out = PmQosHolder{};
  DIR* d = opendir(proc);
  if (!d) return false;
  int32_t self = static_cast<int32_t>(getpid());
  while (dirent* e = readdir(d)) {
    int32_t pid = 0;
    if (!pid_name(e->d_name, &pid) || pid == self) continue;
    if (out->held && pid > out->pid) continue;
    if (!holds(proc, pid, device)) continue;
    out->held = true;
    out->pid = pid;
  }
  closedir(d);
  if (!out->held) return false;
  out->comm = read_comm(a, proc, out->pid);
  out->value_known = read_value(device, &out->value_us);
  return true;
}

StrView pm_qos_holder_text(Arena* a, const PmQosHolder* h) {
  StrView t = arena_sprintf(a, "pid %d (%.*s)", h->pid, SV_ARG(h->comm));
  char* p = const_cast<char*>(t.ptr);
  for (size_t i = 0; i < t.len; i++)
    if (static_cast<unsigned char>(p[i]) < 0x20 || p[i] == 0x7f) p[i] = '?';
  return t;
}
