// process.cpp: the single exit path of the process.
#include "platform/process.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/report.h"

namespace {
struct ProcessState {
  FatalHandler fatal_handler = nullptr;
  bool in_fatal = false;  // a fatal end inside the handler must not recurse
  ExitHook exit_hook = nullptr;
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

void CallHook(PLATFORM_EXITKIND kind, int status) {
  if (State().exit_hook != nullptr) State().exit_hook(kind, status);
}
}  // namespace

void PLATFORM_Exit(int status) {
  CallHook(PLATFORM_EXIT_NORMAL, status);
  PLATFORM_ReleaseHold();
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

int PLATFORM_AtExit(ExitHandler handler) { return std::atexit(handler) == 0 ? 1 : 0; }

long PLATFORM_ProcessId() { return static_cast<long>(getpid()); }

void PLATFORM_QuickExit(int status) {
  CallHook(PLATFORM_EXIT_QUICK, status);
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

void PLATFORM_SetFatalHandler(FatalHandler handler) { State().fatal_handler = handler; }

void PLATFORM_FatalExit() {
  CallHook(PLATFORM_EXIT_FATAL, 1);
  ProcessState& state = State();
  if (state.fatal_handler != nullptr && !state.in_fatal) {
    state.in_fatal = true;
    state.fatal_handler();
  }
  PLATFORM_Exit(1);
}

void PLATFORM_SetExitHookForTest(ExitHook hook) { State().exit_hook = hook; }
