// signals.cpp: signal handlers through sigaction.
#include "platform/signals.h"

int PLATFORM_SetSignalHandler(int signal, SignalHandler handler) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Without SA_NODEFER a fault inside the handler of the same signal
  // would find it blocked, and the kernel would kill the process without
  // the orderly end the handler is there to give. A handler that returns
  // (a request noted for later) must not make a read or write under way
  // fail: SA_RESTART resumes it.
  action.sa_flags = SA_NODEFER | SA_RESTART;
  return sigaction(signal, &action, nullptr) == 0 ? 1 : 0;
}
