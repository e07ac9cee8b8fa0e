#include "measure/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
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

// The signals a run catches. The handler records the first and writes a byte
// to the self-pipe whose read end the output poll watches, so a signal wakes
// the run at once whatever it is waiting on.
constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCaughtCount = sizeof kCaught / sizeof kCaught[0];
volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_wake_fd = -1;

void on_signal(int sig) {
  int saved = errno;
  if (!g_signal) g_signal = sig;
  int fd = g_wake_fd;
  if (fd >= 0) {
    char byte = 0;
    ssize_t n = write(fd, &byte, 1);  // a full pipe wakes the poll already
    (void)n;
  }
  errno = saved;
}

// The handlers of one run and the dispositions they replaced.
struct SignalGuard {
  struct sigaction old[kCaughtCount];
  bool installed[kCaughtCount];
  int wake[2];
};

// A signal the caller chose to ignore (nohup's SIGHUP, a background job's
// SIGINT) stays ignored.
bool guard_begin(SignalGuard* g) {
  if (pipe2(g->wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  g_signal = 0;
  g_wake_fd = g->wake[1];
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < kCaughtCount; i++) {
    g->installed[i] = false;
    if (sigaction(kCaught[i], nullptr, &g->old[i]) != 0) continue;
    if (!(g->old[i].sa_flags & SA_SIGINFO) && g->old[i].sa_handler == SIG_IGN) continue;
    g->installed[i] = sigaction(kCaught[i], &sa, nullptr) == 0;
  }
  return true;
}

void guard_end(SignalGuard* g) {
  for (int i = 0; i < kCaughtCount; i++) {
    if (g->installed[i]) sigaction(kCaught[i], &g->old[i], nullptr);
  }
  g_wake_fd = -1;
  close(g->wake[0]);
  close(g->wake[1]);
}

// How a wait ended: the output closed or the child was reaped, the deadline
// passed, or a caught signal came.
enum class End { ended, deadline, signal };

// Reads until end of file, a read error, the deadline (microseconds of the
// monotonic clock) or a caught signal.
End read_until(int fd, int wake, OutBuf* b, int64_t deadline) {
  char scratch[4096];
  for (;;) {
    if (g_signal) return End::signal;
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

// Waits for the child until the monotonic time until, in steps of 10 ms; a
// caught signal ends the wait when watch_signals is set.
End wait_child(pid_t pid, int64_t until, bool watch_signals) {
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) return End::ended;
    if (watch_signals && g_signal) return End::signal;
    if (now_us() >= until) return End::deadline;
    usleep(10000);
  }
}

// Stops the tool's process group: sig, SIGKILL after the grace, then the
// tool is reaped. The group is the tool's own (see spawn); should it not
// exist, the tool alone is signalled.
void stop_group(pid_t pid, int sig, int64_t grace_ms) {
  if (kill(-pid, sig) != 0) kill(pid, sig);
  if (wait_child(pid, now_us() + grace_ms * 1000, false) == End::ended) return;
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
  for (int sig : kCaught) {
    struct sigaction cur = {};
    sigaction(sig, nullptr, &cur);
    if (sig == SIGINT || cur.sa_handler == on_signal) signal(sig, SIG_DFL);
  }
  prctl(PR_SET_PDEATHSIG, SIGINT);
  // kelvane died before the line above took effect: nobody would stop the tool.
  if (getppid() != parent) _exit(127);
  sigprocmask(SIG_SETMASK, mask, nullptr);
  int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null >= 0) dup2(null, STDIN_FILENO);
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
  sigset_t stop, old;
  sigemptyset(&stop);
  for (int sig : kCaught) sigaddset(&stop, sig);
  sigprocmask(SIG_BLOCK, &stop, &old);
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
  SignalGuard g = {};
  if (!guard_begin(&g)) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  pid_t pid = spawn(fds, argv);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    guard_end(&g);
    return false;
  }
  OutBuf b = {a, static_cast<char*>(arena_alloc(a, kFirstBuffer)), 0, kFirstBuffer};
  End end = read_until(fds[0], g.wake[0], &b, deadline);
  close(fds[0]);
  // The output has ended; a tool that closed its streams but goes on
  // running is held to the same deadline.
  if (end == End::ended) end = wait_child(pid, deadline, true);
  if (end != End::ended) stop_group(pid, end == End::signal ? SIGINT : SIGTERM, limits.grace_ms);
  r->elapsed_ms = (now_us() - start) / 1000;
  r->signal = g_signal;
  guard_end(&g);
  if (b.len == 0) return false;
  r->out = StrView{b.data, b.len};
  return true;
}

bool run_tool(Arena* a, const char* const* argv, int32_t timeout_s, ToolRun* r) {
  int64_t basis = timeout_s > 0 ? timeout_s : 0;
  return run_tool_within(a, argv, ToolLimits{(basis + kToolSlackS) * 1000, kToolGraceMs}, r);
}

void die_of_signal(int sig) {
  struct sigaction sa = {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  _exit(128 + sig);
}
