#include "measure/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "base/stop_signals.h"

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

// How a wait ended: the output closed or the child was reaped, the deadline
// passed, or a caught signal came.
enum class End { ended, deadline, signal };

// Reads until end of file, a read error, the deadline (microseconds of the
// monotonic clock) or a caught signal.
End read_until(int fd, int wake, OutBuf* b, int64_t deadline) {
  char scratch[4096];
  for (;;) {
    if (stop_signals_caught()) return End::signal;
    int64_t left = ceil_ms(deadline - now_us());
    if (left <= 0) return End::deadline;
    pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int ready = poll(p, 2, static_cast<int>(left > 1000000 ? 1000000 : left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return End::ended;
    if (ready == 0 || !p[0].revents) continue;  // the loop head checks signal and deadline
    size_t room = 0;
    char* dst = free_space(b, &room, scratch, sizeof scratch);
    ssize_t n = read(fd, dst, room);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return End::ended;
    if (dst != scratch) b->len += static_cast<size_t>(n);
  }
}

// Sleeps until the child can be reaped, wake is readable or the time is up:
// on a pidfd (pidfd_open(2)) where the kernel has one, else for at most
// 10 ms, so that the caller looks again.
void wait_event(pid_t pid, int* pidfd, int wake, int64_t until) {
  int64_t left = ceil_ms(until - now_us());
  if (*pidfd == -1) {
    *pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (*pidfd < 0) *pidfd = -2;  // no pidfds here: poll the child instead
  }
  if (*pidfd < 0) {
    usleep(static_cast<useconds_t>((left < 10 ? left : 10) * 1000));
    return;
  }
  pollfd p[2] = {{*pidfd, POLLIN, 0}, {wake, POLLIN, 0}};
  poll(p, wake >= 0 ? 2 : 1, static_cast<int>(left > 1000000 ? 1000000 : left));
}

// Waits for the child until the monotonic time until; a caught signal (wake
// becomes readable) ends the wait when wake is given, else -1.
End wait_child(pid_t pid, int64_t until, int wake) {
  int pidfd = -1;
  End end = End::deadline;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) {
      end = End::ended;
      break;
    }
    if (wake >= 0 && stop_signals_caught()) {
      end = End::signal;
      break;
    }
    if (now_us() >= until) break;
    wait_event(pid, &pidfd, wake, until);
  }
  if (pidfd >= 0) close(pidfd);
  return end;
}

// Stops the tool's process group: sig, SIGKILL after the grace, then the
// tool is reaped. The group is the tool's own (see spawn); should it not
// exist, the tool alone is signalled.
void stop_group(pid_t pid, int sig, int64_t grace_ms) {
  if (kill(-pid, sig) != 0) kill(pid, sig);
  if (wait_child(pid, now_us() + grace_ms * 1000, -1) == End::ended) return;
  if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Between fork and exec: a process group of its own, the caught signals back
// to their defaults (SIGINT always, as it is what stops the tool), SIGINT
// when kelvane dies, and standard input from /dev/null (a tool in a
// background group that read the terminal would be stopped).
[[noreturn]] void exec_child(int fds[2], const char* const* argv, pid_t parent,
                             const sigset_t* mask) {
  setpgid(0, 0);
  stop_signals_reset_in_child();
  prctl(PR_SET_PDEATHSIG, SIGINT);
  // kelvane died before the line above took effect: nobody would stop the tool.
  if (getppid() != parent) _exit(127);
  sigprocmask(SIG_SETMASK, mask, nullptr);
  int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null >= 0) dup2(null, STDIN_FILENO);
  if (fds[1] < 0) fds[1] = open("/dev/null", O_WRONLY | O_CLOEXEC);
  // The read end closes by itself on exec (O_CLOEXEC); so does the write
  // end once it has been duplicated onto both output streams.
  dup2(fds[1], STDOUT_FILENO);
  dup2(fds[1], STDERR_FILENO);
  execv(argv[0], const_cast<char* const*>(argv));
  _exit(127);
}

// Forks the tool with the caught signals blocked, so that none reaches the
// child before it has put its own dispositions in place. Both sides set the
// process group, so that it exists before either one acts on it.
pid_t spawn(int fds[2], const char* const* argv) {
  sigset_t old;
  stop_signals_block(&old);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) exec_child(fds, argv, parent, &old);
  if (pid > 0) setpgid(pid, pid);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return pid;
}

}  // namespace

bool run_tool_within(Arena* a, const char* const* argv, ToolLimits limits, ToolRun* r) {
  *r = ToolRun{kNoneView, 0, 0};
  if (!argv || !argv[0]) return false;
  int64_t start = now_us();
  int64_t deadline = start + limits.deadline_ms * 1000;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  StopSignals g = {};
  if (!stop_signals_catch(&g)) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  pid_t pid = spawn(fds, argv);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    stop_signals_release(&g);
    return false;
  }
  OutBuf b = {a, static_cast<char*>(arena_alloc(a, kFirstBuffer)), 0, kFirstBuffer};
  End end = read_until(fds[0], g.wake[0], &b, deadline);
  close(fds[0]);
  // The output has ended; a tool that closed its streams but goes on
  // running is held to the same deadline.
  if (end == End::ended) end = wait_child(pid, deadline, g.wake[0]);
  if (end != End::ended) stop_group(pid, end == End::signal ? SIGINT : SIGTERM, limits.grace_ms);
  r->elapsed_ms = (now_us() - start) / 1000;
  r->signal = stop_signals_caught();
  stop_signals_release(&g);
  if (b.len == 0) return false;
  r->out = StrView{b.data, b.len};
  return true;
}

pid_t background_start(const char* const* argv) {
  if (!argv || !argv[0]) return -1;
  int fds[2] = {-1, -1};  // output to /dev/null, opened in the child
  pid_t pid = spawn(fds, argv);
  return pid > 0 ? pid : -1;
}

void background_stop(pid_t pid, int64_t grace_ms) {
  if (pid > 0) stop_group(pid, SIGTERM, grace_ms);
}

bool run_tool(Arena* a, const char* const* argv, int32_t timeout_s, ToolRun* r) {
  int64_t basis = timeout_s > 0 ? timeout_s : 0;
  return run_tool_within(a, argv, ToolLimits{(basis + kToolSlackS) * 1000, kToolGraceMs}, r);
}
