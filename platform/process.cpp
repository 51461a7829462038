// process.cpp: the single exit path of the process.
#include "platform/process.h"

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "platform/report.h"

namespace {
struct ProcessState {
  FatalHandler fatal_handler = nullptr;
  bool in_fatal = false;  // a fatal end inside the handler must not recurse
  ExitHook exit_hook = nullptr;
  std::vector<std::pair<CleanupFn, void*>> cleanups;
  EndHandler end_handler = nullptr;
  bool in_end = false;  // an end asked for by the end work must not run it again
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

void CallHook(PLATFORM_EXITKIND kind, int status) {
  if (State().exit_hook != nullptr) State().exit_hook(kind, status);
}

// Without an allocation or a release of memory: a fatal end may come from
// exhausted memory.
void RunCleanups() {
  auto& cleanups = State().cleanups;
  while (!cleanups.empty()) {
    const auto [cleanup, context] = cleanups.back();
    cleanups.pop_back();
    cleanup(context);
  }
}
}  // namespace

void PLATFORM_AddCleanup(CleanupFn cleanup, void* context) {
  State().cleanups.emplace_back(cleanup, context);
}

void PLATFORM_RemoveCleanup(CleanupFn cleanup, void* context) {
  auto& cleanups = State().cleanups;
  for (auto it = cleanups.begin(); it != cleanups.end(); ++it) {
    if (it->first == cleanup && it->second == context) {
      cleanups.erase(it);
      return;
    }
  }
}

void PLATFORM_SetEndHandler(EndHandler handler) { State().end_handler = handler; }

void PLATFORM_Exit(int status) {
  CallHook(PLATFORM_EXIT_NORMAL, status);
  PLATFORM_FlushOutputBuffers();
  RunCleanups();
  ProcessState& state = State();
  if (state.end_handler != nullptr && !state.in_end) {
    state.in_end = true;
    state.end_handler();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}

int PLATFORM_AtExit(ExitHandler handler) { return std::atexit(handler) == 0 ? 1 : 0; }

long PLATFORM_ProcessId() { return static_cast<long>(getpid()); }

int PLATFORM_Cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

bool PLATFORM_ProcessRuns(long pid) {
  if (pid <= 0) return false;
  // EPERM: it runs, under a user whom we may not signal.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void PLATFORM_QuickExit(int status) {
  CallHook(PLATFORM_EXIT_QUICK, status);
  RunCleanups();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

void PLATFORM_SetFatalHandler(FatalHandler handler) { State().fatal_handler = handler; }

void PLATFORM_FatalExit() {
  CallHook(PLATFORM_EXIT_FATAL, 1);
  // The threads stop before the handler saves: nothing writes beside it,
  // whichever way it then ends the process.
  RunCleanups();
  ProcessState& state = State();
  if (state.fatal_handler != nullptr && !state.in_fatal) {
    state.in_fatal = true;
    state.fatal_handler();
  }
  PLATFORM_Exit(1);
}

void PLATFORM_SetExitHookForTest(ExitHook hook) { State().exit_hook = hook; }
