// run_kaspo.h: runs the built kaspo program (KASPO_BINARY) as a user
// would, with a scripted standard input, a chosen working directory and a
// fixed environment, and captures what it writes and how it ends. For
// end-to-end dialogues.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScratchDir;

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
  long file_size_limit = -1;  // RLIMIT_FSIZE of the program in bytes; none when negative
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

// Runs the programs at the same moment, one thread each, and waits for all
// of them: results[i] belongs to runs[i]. Returns false when one could not
// be started.
[[nodiscard]] bool RunKaspoTogether(const std::vector<KaspoRun>& runs,
                                    std::vector<KaspoResult>* results);

// A run that goes on while the test talks to it, so that two runs can
// work on one container at the same time. Its standard input is a pipe.
struct KaspoProcess {
  long pid = -1;
  int input = -1;                       // the pipe's end the test writes to
  std::unique_ptr<ScratchDir> streams;  // where standard output and error go
  std::size_t seen = 0;                 // output bytes passed by AwaitKaspo
  ~KaspoProcess();                      // kills a run that was not finished
};

// Starts the program and sends `run.input`. False when it could not start.
[[nodiscard]] bool StartKaspo(const KaspoRun& run, KaspoProcess* out);

// Sends more standard input.
[[nodiscard]] bool SendKaspo(KaspoProcess* process, const std::string& input);

// Waits until standard output shows `text` after what earlier waits
// passed (so the same prompt can be waited for again). False when the
// program ended or KASPO_RUN_TIMEOUT_SECONDS passed first.
[[nodiscard]] bool AwaitKaspo(KaspoProcess* process, const std::string& text);

// Ends standard input, waits for the end of the program and returns what
// it wrote, as RunKaspo does.
[[nodiscard]] bool FinishKaspo(KaspoProcess* process, KaspoResult* result);

// Runs the program like RunKaspo and sends it `signal` once, as soon as
// its standard output contains `cue` (the program flushes what it prints
// before it waits or works).
[[nodiscard]] bool RunKaspoSignalled(const KaspoRun& run, const std::string& cue, int signal,
                                     KaspoResult* result);
