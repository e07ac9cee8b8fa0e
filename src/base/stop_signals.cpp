#include "base/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kStop[kStopSignalCount] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_wake_fd = -1;
int g_wake_read = -1;  // the self-pipe's read end while the handlers are in

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

}  // namespace

bool stop_signals_catch(StopSignals* s) {
  if (pipe2(s->wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  g_signal = 0;
  g_wake_fd = s->wake[1];
  g_wake_read = s->wake[0];
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < kStopSignalCount; i++) {
    s->installed[i] = false;
    if (sigaction(kStop[i], nullptr, &s->old[i]) != 0) continue;
    if (!(s->old[i].sa_flags & SA_SIGINFO) && s->old[i].sa_handler == SIG_IGN) continue;
    s->installed[i] = sigaction(kStop[i], &sa, nullptr) == 0;
  }
  return true;
}

void stop_signals_release(StopSignals* s) {
  for (int i = 0; i < kStopSignalCount; i++) {
    if (s->installed[i]) sigaction(kStop[i], &s->old[i], nullptr);
  }
  g_wake_fd = -1;
  g_wake_read = -1;
  close(s->wake[0]);
  close(s->wake[1]);
}

int stop_signals_caught() { return g_signal; }

void stop_signals_sleep_ms(int ms) {
  if (ms <= 0) return;
  // With the handlers in, a signal caught before the poll has already made
  // the pipe readable; without them, poll on nothing is a plain sleep.
  struct pollfd p = {g_wake_read, POLLIN, 0};
  poll(&p, g_wake_read >= 0 ? 1 : 0, ms);
}

void stop_signals_block(sigset_t* old) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kStop) sigaddset(&set, sig);
  sigprocmask(SIG_BLOCK, &set, old);
}

void stop_signals_reset_in_child() {
  for (int sig : kStop) {
    struct sigaction cur = {};
    sigaction(sig, nullptr, &cur);
    if (sig == SIGINT || cur.sa_handler == on_signal) signal(sig, SIG_DFL);
  }
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
