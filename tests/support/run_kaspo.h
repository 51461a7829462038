// run_kaspo.h: runs the built kaspo program (KASPO_BINARY) as a user
// would, with a scripted standard input, a chosen working directory and a
// fixed environment, and captures what it writes and how it ends. For
// end-to-end dialogues.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct KaspoRun {
  std::vector<std::string> args;  // after the program name
  std::string input;              // standard input, byte for byte; then it ends
  std::string cwd;                // working directory of the program
  // HOME and TARVIC_PATH; the engine writes its data directory below it,
  // so it must be a temporary directory.
  std::string home;
  std::optional<std::string> kaspo_path;  // KASPO_PATH; unset when empty
  // Further variables. Nothing else is inherited, except the sanitizer
  // options of the test itself.
  std::vector<std::pair<std::string, std::string>> env;
};

struct KaspoResult {
  std::string out;         // standard output
  std::string err;         // standard error
  int status = -1;         // exit status; 128 + the signal number if killed
  bool timed_out = false;  // killed after KASPO_RUN_TIMEOUT_SECONDS
};

// A dialogue that waits for input that never comes would hang the test
// suite; the program is killed after this long instead.
inline constexpr int KASPO_RUN_TIMEOUT_SECONDS = 60;

// Runs the program. Returns false (with `result->err` saying why) when it
// could not be started at all.
[[nodiscard]] bool RunKaspo(const KaspoRun& run, KaspoResult* result);

// Runs the program like RunKaspo and sends it `signal` once, as soon as
// its standard output contains `cue` (the program flushes what it prints
// before it waits or works).
[[nodiscard]] bool RunKaspoSignalled(const KaspoRun& run, const std::string& cue, int signal,
                                     KaspoResult* result);
