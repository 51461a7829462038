// harness_support.h: what the harnesses that start the engine share: a
// scratch data directory, an engine start that leaves the crash signals to
// the fuzzer, and the exit hook that turns an end the program prescribes
// into an exception the harness can catch.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/start.h"
#include "platform/process.h"
#include "tests/support/engine_env.h"

namespace fuzz {

// An end of the process asked for while an input ran.
struct HarnessExit {
  int status;
};

struct EXITGUARD {
  bool in_input = false;
  bool ending = false;   // the process is ending normally
  std::string save_dir;  // where inputs that ended go; empty: nowhere
  long exits = 0;
};

inline EXITGUARD& ExitGuard() {
  static EXITGUARD guard;
  return guard;
}

// A broken promise of the code under test: abort so the fuzzer keeps the
// input.
inline void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "harness: %s\n", what);
    std::abort();
  }
}

inline void OnExit(PLATFORM_EXITKIND, int status) {
  EXITGUARD& guard = ExitGuard();
  if (guard.in_input) throw HarnessExit{status};
  // At the normal end of a fuzzing run the engine's exit handling asks for
  // status 1, by design; the run itself succeeded.
  if (guard.ending) _exit(0);
}

inline void MarkEnding() { ExitGuard().ending = true; }

// A fresh directory below $TMPDIR (else /tmp) that TARVIC_PATH and HOME
// point at, so the engine writes only there. Installs the exit hook.
// KASPO_FUZZ_EXITS=<dir> asks for every input that ended the process to
// be written to <dir> for review.
inline std::string SetUpProcess() {
  std::string dir;
  Require(MakeTempDir("kaspo-fuzz-", &dir), "no scratch directory");
  PointEngineAt(dir);
  if (const char* exits = std::getenv("KASPO_FUZZ_EXITS")) ExitGuard().save_dir = exits;
  PLATFORM_SetExitHookForTest(OnExit);
  return dir;
}

// Call once after the first engine start: registered after the engine's
// exit handling, it runs before it.
inline void WatchNormalEnd() { std::atexit(MarkEnding); }

// Runs `start` (which starts the engine). The engine catches the crash
// signals to save its tables; the fuzzer and the sanitizers must keep
// seeing them.
template <typename Start>
int KeepingSignals(Start start) {
  std::array<struct sigaction, NSIG> saved{};
  for (int s = 1; s < NSIG; ++s) sigaction(s, nullptr, &saved[size_t(s)]);
  const int ok = start();
  for (int s = 1; s < NSIG; ++s) sigaction(s, &saved[size_t(s)], nullptr);
  return ok;
}

// Runs `body` as the input's work. Returns false (and the status in
// *out_status) when the code asked to end the process.
template <typename Body>
bool RunInput(Body body, int* out_status) {
  EXITGUARD& guard = ExitGuard();
  guard.in_input = true;
  bool ended = false;
  try {
    body();
  } catch (const HarnessExit& e) {
    ended = true;
    *out_status = e.status;
  }
  guard.in_input = false;
  return !ended;
}

// Keeps an input that ended the process, when asked to.
inline void SaveExitInput(const unsigned char* data, size_t size, int status) {
  EXITGUARD& guard = ExitGuard();
  ++guard.exits;
  if (guard.save_dir.empty()) return;
  const std::string path = guard.save_dir + "/exit-" + std::to_string(getpid()) + "-" +
                           std::to_string(guard.exits) + "-status" + std::to_string(status);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
}

}  // namespace fuzz
