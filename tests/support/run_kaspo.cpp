// run_kaspo.cpp: one run of the kaspo program with captured streams.
#include "support/run_kaspo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <functional>

#include "support/scratch_dir.h"

#ifndef KASPO_BINARY
#error "KASPO_BINARY must name the kaspo program"
#endif

namespace {
// Variables passed through so that a sanitizer build of the program
// reports like the test that runs it.
constexpr const char* kPassThrough[] = {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"};

std::vector<std::string> BuildEnvironment(const KaspoRun& run) {
  std::vector<std::string> env = {"HOME=" + run.home, "TARVIC_PATH=" + run.home, "LC_ALL=C"};
  if (run.kaspo_path) env.push_back("KASPO_PATH=" + *run.kaspo_path);
  for (const auto& [name, value] : run.env) env.push_back(name + "=" + value);
  for (const char* name : kPassThrough) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>* texts) {
  std::vector<char*> pointers;
  for (std::string& text : *texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child: only async-signal-safe calls until exec.
[[noreturn]] void StartChild(const std::string& in, const std::string& out, const std::string& err,
                             const std::string& cwd, char** argv, char** envp) {
  int in_fd = open(in.c_str(), O_RDONLY);
  int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in_fd < 0 || out_fd < 0 || err_fd < 0) _exit(126);
  if (dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(126);
  if (chdir(cwd.c_str()) != 0) _exit(126);
  execve(argv[0], argv, envp);
  _exit(127);
}

// Waits for the child, killing it at the deadline. `tick` (when given)
// runs between the looks at the child.
int WaitFor(pid_t pid, bool* timed_out, const std::function<void()>& tick = {}) {
  const std::time_t deadline = std::time(nullptr) + KASPO_RUN_TIMEOUT_SECONDS;
  int wait_status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &wait_status, WNOHANG);
    if (done == pid) break;
    if (done < 0) return -1;
    if (tick) tick();
    if (std::time(nullptr) > deadline) {
      *timed_out = true;
      kill(pid, SIGKILL);
      waitpid(pid, &wait_status, 0);
      break;
    }
    struct timespec pause = {0, 2000000};
    nanosleep(&pause, nullptr);
  }
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}
// Runs the program; `tick` sees the path of its standard output while it
// runs.
bool Run(const KaspoRun& run, KaspoResult* result,
         const std::function<void(pid_t, const ScratchDir&)>& tick) {
  *result = KaspoResult{};
  // The captured streams live apart from the working directory, so that
  // they never show in a listing of it.
  ScratchDir streams;
  std::string in = streams.WriteFile("stdin", run.input);
  std::string out = streams.Path("stdout");
  std::string err = streams.Path("stderr");
  std::vector<std::string> argv_texts = {KASPO_BINARY};
  argv_texts.insert(argv_texts.end(), run.args.begin(), run.args.end());
  std::vector<std::string> env_texts = BuildEnvironment(run);
  std::vector<char*> argv = Pointers(&argv_texts);
  std::vector<char*> envp = Pointers(&env_texts);
  pid_t pid = fork();
  if (pid < 0) {
    result->err = "fork failed";
    return false;
  }
  if (pid == 0) StartChild(in, out, err, run.cwd, argv.data(), envp.data());
  std::function<void()> look;
  if (tick) look = [&] { tick(pid, streams); };
  result->status = WaitFor(pid, &result->timed_out, look);
  result->out = streams.ReadFile("stdout");
  result->err = streams.ReadFile("stderr");
  return true;
}
}  // namespace

bool RunKaspo(const KaspoRun& run, KaspoResult* result) { return Run(run, result, {}); }

bool RunKaspoSignalled(const KaspoRun& run, const std::string& cue, int signal,
                       KaspoResult* result) {
  bool sent = false;
  return Run(run, result, [&](pid_t pid, const ScratchDir& streams) {
    if (sent || streams.ReadFile("stdout").find(cue) == std::string::npos) return;
    kill(pid, signal);
    sent = true;
  });
}
