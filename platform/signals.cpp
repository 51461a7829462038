// signals.cpp: signal handlers through sigaction, the recorded end request
// and its wake-up pipe.
#include "platform/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/process.h"

namespace {
// The end request and the pipe that wakes a wait (the "self-pipe"): the
// handler writes one byte, which stays unread, so that every later wait
// sees it at once.
struct SIGNALSTATE {
  volatile std::sig_atomic_t end_signal = 0;
  int wake_read = -1;
  int wake_write = -1;
};

SIGNALSTATE& State() {
  static SIGNALSTATE state;
  return state;
}

constexpr int kEndStatus = 1;  // the status every end after the engine's start has
}  // namespace

int PLATFORM_SetSignalHandler(int signal, SignalHandler handler) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Without SA_NODEFER a fault inside the handler of the same signal
  // would find it blocked, and the kernel would kill the process without
  // the orderly end the handler is there to give. A handler that returns
  // (a request noted for later) must not make a read or write under way
  // fail: SA_RESTART resumes it. A wait for input still ends, through the
  // wake-up pipe.
  action.sa_flags = SA_NODEFER | SA_RESTART;
  return sigaction(signal, &action, nullptr) == 0 ? 1 : 0;
}

int PLATFORM_IgnoreSignal(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  return sigaction(signal, &action, nullptr) == 0 ? 1 : 0;
}

void PLATFORM_PrepareEndSignals() {
  SIGNALSTATE& state = State();
  if (state.wake_read >= 0) return;
  int fds[2];
  // Non-blocking: a handler must never wait for a full pipe.
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  state.wake_read = fds[0];
  state.wake_write = fds[1];
}

void PLATFORM_RecordEnd(int signal) {
  SIGNALSTATE& state = State();
  if (state.end_signal != 0) return;
  state.end_signal = signal;
  if (state.wake_write < 0) return;
  const int saved = errno;
  const char byte = 1;
  (void)!write(state.wake_write, &byte, 1);
  errno = saved;
}

int PLATFORM_EndRequested() { return State().end_signal; }

void PLATFORM_SignalWrite(const char* text) {
  const int saved = errno;
  (void)!write(STDERR_FILENO, text, std::strlen(text));
  errno = saved;
}

void PLATFORM_SignalExit(int status) { _exit(status); }

int PLATFORM_WaitForInput(int fd) {
  SIGNALSTATE& state = State();
  for (;;) {
    if (state.end_signal != 0) return 0;
    if (fd < 0) return 1;
    struct pollfd fds[2] = {{fd, POLLIN, 0}, {state.wake_read, POLLIN, 0}};
    const int ready = poll(fds, state.wake_read >= 0 ? 2 : 1, -1);
    // A descriptor that cannot be waited for is left to the read to report.
    if (ready < 0 && errno != EINTR) return 1;
    if (ready > 0 && fds[0].revents != 0 && state.end_signal == 0) return 1;
  }
}

void PLATFORM_EndIfRequested() {
  if (State().end_signal != 0) PLATFORM_Exit(kEndStatus);
}
