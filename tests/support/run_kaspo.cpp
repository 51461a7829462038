// run_kaspo.cpp: one run of the kaspo program with captured streams.
#include "support/run_kaspo.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "support/scratch_dir.h"

#ifndef KASPO_BINARY
#error "KASPO_BINARY must name the kaspo program"
#endif

namespace {
// Variables passed through so that a sanitizer build of the program
// reports like the test that runs it.
constexpr const char* kPassThrough[] = {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                                        "TSAN_OPTIONS"};

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
[[noreturn]] void StartChild(int in_fd, const std::string& out, const std::string& err,
                             const KaspoRun& run, char** argv, char** envp) {
  int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in_fd < 0 || out_fd < 0 || err_fd < 0) _exit(126);
  if (dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0) _exit(126);
  if (chdir(run.cwd.c_str()) != 0) _exit(126);
  if (run.file_size_limit >= 0) {
    const rlimit limit = {static_cast<rlim_t>(run.file_size_limit),
                          static_cast<rlim_t>(run.file_size_limit)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  execve(argv[0], argv, envp);
  _exit(127);
}

// Waits for the child, killing it at the deadline.
int WaitFor(pid_t pid, bool* timed_out) {
  const std::time_t deadline = std::time(nullptr) + KASPO_RUN_TIMEOUT_SECONDS;
  int wait_status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &wait_status, WNOHANG);
    if (done == pid) break;
    if (done < 0) return -1;
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

// Forks the program with `in_fd` as its standard input and the streams
// captured below `streams`. Returns the child's id, or -1.
pid_t Launch(const KaspoRun& run, int in_fd, const ScratchDir& streams) {
  std::vector<std::string> argv_texts = {KASPO_BINARY};
  argv_texts.insert(argv_texts.end(), run.args.begin(), run.args.end());
  std::vector<std::string> env_texts = BuildEnvironment(run);
  std::vector<char*> argv = Pointers(&argv_texts);
  std::vector<char*> envp = Pointers(&env_texts);
  const std::string out = streams.Path("stdout");
  const std::string err = streams.Path("stderr");
  pid_t pid = fork();
  if (pid == 0) StartChild(in_fd, out, err, run, argv.data(), envp.data());
  return pid;
}

bool HasEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid == pid;
}
}  // namespace

bool RunKaspo(const KaspoRun& run, KaspoResult* result) {
  *result = KaspoResult{};
  // The captured streams live apart from the working directory, so that
  // they never show in a listing of it.
  ScratchDir streams;
  const int in_fd = open(streams.WriteFile("stdin", run.input).c_str(), O_RDONLY | O_CLOEXEC);
  const pid_t pid = in_fd < 0 ? -1 : Launch(run, in_fd, streams);
  if (in_fd >= 0) close(in_fd);
  if (pid < 0) {
    result->err = "fork failed";
    return false;
  }
  result->status = WaitFor(pid, &result->timed_out);
  result->out = streams.ReadFile("stdout");
  result->err = streams.ReadFile("stderr");
  return true;
}

bool RunKaspoTogether(const std::vector<KaspoRun>& runs, std::vector<KaspoResult>* results) {
  results->assign(runs.size(), KaspoResult{});
  // Not vector<bool>: each thread writes its own element.
  std::vector<char> started(runs.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    threads.emplace_back([&, i] { started[i] = RunKaspo(runs[i], &(*results)[i]) ? 1 : 0; });
  }
  for (std::thread& thread : threads) thread.join();
  for (char ok : started) {
    if (!ok) return false;
  }
  return true;
}

KaspoProcess::~KaspoProcess() {
  if (input >= 0) close(input);
  if (pid > 0) {
    kill(static_cast<pid_t>(pid), SIGKILL);
    waitpid(static_cast<pid_t>(pid), nullptr, 0);
  }
}

bool StartKaspo(const KaspoRun& run, KaspoProcess* out) {
  // A program that ended early must fail the test, not kill it.
  signal(SIGPIPE, SIG_IGN);
  out->streams = std::make_unique<ScratchDir>();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t pid = Launch(run, fds[0], *out->streams);
  close(fds[0]);
  out->input = fds[1];
  if (pid < 0) return false;
  out->pid = pid;
  return SendKaspo(out, run.input);
}

bool SendKaspo(KaspoProcess* process, const std::string& input) {
  std::size_t done = 0;
  while (done < input.size()) {
    const ssize_t put = write(process->input, input.data() + done, input.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool AwaitKaspo(KaspoProcess* process, const std::string& text) {
  const std::time_t deadline = std::time(nullptr) + KASPO_RUN_TIMEOUT_SECONDS;
  for (;;) {
    // Read before the check for the end, so output written just before
    // the end still counts.
    const bool ended = HasEnded(static_cast<pid_t>(process->pid));
    const std::string out = process->streams->ReadFile("stdout");
    const std::size_t at = out.find(text, process->seen);
    if (at != std::string::npos) {
      process->seen = at + text.size();
      return true;
    }
    if (ended || std::time(nullptr) > deadline) return false;
    struct timespec pause = {0, 2000000};
    nanosleep(&pause, nullptr);
  }
}

bool FinishKaspo(KaspoProcess* process, KaspoResult* result) {
  *result = KaspoResult{};
  close(process->input);
  process->input = -1;
  if (process->pid <= 0) return false;
  result->status = WaitFor(static_cast<pid_t>(process->pid), &result->timed_out);
  process->pid = -1;
  result->out = process->streams->ReadFile("stdout");
  result->err = process->streams->ReadFile("stderr");
  return true;
}

bool RunKaspoSignalled(const KaspoRun& run, const std::string& cue, int signal,
                       KaspoResult* result) {
  KaspoProcess process;
  if (!StartKaspo(run, &process)) return false;
  if (AwaitKaspo(&process, cue)) kill(static_cast<pid_t>(process.pid), signal);
  return FinishKaspo(&process, result);
}
