#include "measure/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace {

constexpr size_t kFirstBuffer = size_t{64} << 10;
// Output past this is read and dropped so the tool is never blocked on a
// full pipe, but cannot exhaust memory.
constexpr size_t kMaxOutput = size_t{64} << 20;

// The monotonic clock in microseconds. Deadlines and the grace are kept at
// this grain: in whole milliseconds, truncated, each fired up to a
// millisecond before its time.
int64_t now_us() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Whole milliseconds, rounded up, for poll and the waits.
int64_t ceil_ms(int64_t us) { return us <= 0 ? 0 : (us + 999) / 1000; }

struct OutBuf {
  Arena* arena;
  char* data;
  size_t len;
  size_t cap;
};

// Room for the next read: doubles a full buffer up to kMaxOutput, then a
// scratch area whose bytes are dropped.
char* free_space(OutBuf* b, size_t* room, char* scratch, size_t scratch_len) {
  if (b->len == b->cap && b->cap < kMaxOutput) {
    b->data = static_cast<char*>(arena_realloc(b->arena, b->data, b->cap, b->cap * 2));
    b->cap *= 2;
  }
  if (b->len < b->cap) {
    *room = b->cap - b->len;
    return b->data + b->len;
  }
  *room = scratch_len;
  return scratch;
}

// Reads until end of file, a read error, or the deadline (microseconds of
// the monotonic clock). Answers false when
// the deadline passed with the tool still running.
bool read_until(int fd, OutBuf* b, int64_t deadline) {
  char scratch[4096];
  for (;;) {
    int64_t left = ceil_ms(deadline - now_us());
    if (left <= 0) return false;
    pollfd p = {fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left > 1000000 ? 1000000 : left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return true;
    if (ready == 0) continue;  // the loop head checks the deadline
    size_t room = 0;
    char* dst = free_space(b, &room, scratch, sizeof scratch);
    ssize_t n = read(fd, dst, room);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    if (dst != scratch) b->len += static_cast<size_t>(n);
  }
}

// Waits for the child up to ms milliseconds; answers whether it was reaped.
bool reap_within(pid_t pid, int64_t ms) {
  int64_t end = now_us() + ms * 1000;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return true;
    if (now_us() >= end) return false;
    usleep(10000);
  }
}

// A tool past its deadline: SIGTERM, SIGKILL after the grace, then reaped.
void stop_child(pid_t pid, int64_t grace_ms) {
  kill(pid, SIGTERM);
  if (reap_within(pid, grace_ms)) return;
  kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

[[noreturn]] void exec_child(int fds[2], const char* const* argv) {
  // The read end closes by itself on exec (O_CLOEXEC); so does the write
  // end once it has been duplicated onto both output streams.
  dup2(fds[1], STDOUT_FILENO);
  dup2(fds[1], STDERR_FILENO);
  execv(argv[0], const_cast<char* const*>(argv));
  _exit(127);
}

}  // namespace

bool run_tool_within(Arena* a, const char* const* argv, ToolLimits limits, StrView* out) {
  *out = kNoneView;
  if (!argv || !argv[0]) return false;
  int64_t deadline = now_us() + limits.deadline_ms * 1000;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) exec_child(fds, argv);
  close(fds[1]);
  OutBuf b = {a, static_cast<char*>(arena_alloc(a, kFirstBuffer)), 0, kFirstBuffer};
  bool finished = read_until(fds[0], &b, deadline);
  close(fds[0]);
  if (finished) {
    // The output has ended; a tool that closed its streams but goes on
    // running is held to the same deadline.
    if (!reap_within(pid, ceil_ms(deadline - now_us()))) stop_child(pid, limits.grace_ms);
  } else {
    stop_child(pid, limits.grace_ms);
  }
  if (b.len == 0) return false;
  *out = StrView{b.data, b.len};
  return true;
}

bool run_tool(Arena* a, const char* const* argv, int32_t timeout_s, StrView* out) {
  int64_t basis = timeout_s > 0 ? timeout_s : 0;
  return run_tool_within(a, argv, ToolLimits{(basis + kToolSlackS) * 1000, kToolGraceMs}, out);
}
