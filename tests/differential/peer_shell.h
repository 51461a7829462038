// peer_shell.h: runs a batch of statements through one sqlite3 shell
// process and cuts its output into one outcome per query.
#pragma once

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "differential/result_compare.h"

namespace diff {

// The shell's path on PATH; empty when it is not installed.
inline std::string FindShell() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/sqlite3";
    if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

inline constexpr char kMarker[] = "@@Q ";  // printed before each query's rows
inline constexpr char kEndMarker[] = "@@END";

// The script for one batch: settings, set-up statements, then each query
// behind a marker line. The shell's LIKE is made case-sensitive like ours.
inline std::string ShellScript(const std::vector<std::string>& setup,
                               const std::vector<std::string>& queries) {
  std::string script = ".headers off\n.mode list\n.separator |\n";
  script += "PRAGMA case_sensitive_like=ON;\n";
  for (const std::string& s : setup) script += s + ";\n";
  for (size_t i = 0; i < queries.size(); ++i) {
    script += ".print " + std::string(kMarker) + std::to_string(i) + "\n" + queries[i] + ";\n";
  }
  return script + ".print " + kEndMarker + "\n";
}

// Runs the shell on the script file with an in-memory database; its
// standard error joins the output so that errors land in their query's
// block. False when the shell could not be run.
inline bool RunShell(const std::string& shell, const std::string& script_path,
                     std::string* output) {
  const std::string command = "'" + shell + "' -batch :memory: < '" + script_path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char buf[4096];
  size_t n;
  output->clear();
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) output->append(buf, n);
  pclose(pipe);  // a failed statement makes the status 1: its block says which
  return true;
}

inline bool IsShellError(const std::string& line) {
  return line.rfind("Parse error", 0) == 0 || line.rfind("Runtime error", 0) == 0 ||
         line.rfind("Error:", 0) == 0;
}

// One outcome per query, in order. Text before the first marker (set-up
// failures) goes to `preamble`. False when a marker is missing.
inline bool SplitOutput(const std::string& output, size_t queries, std::vector<OUTCOME>* outcomes,
                        std::string* preamble) {
  outcomes->assign(queries, OUTCOME{});
  preamble->clear();
  long current = -1;
  size_t seen = 0;
  bool ended = false;
  size_t pos = 0;
  while (pos < output.size()) {
    size_t end = output.find('\n', pos);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind(kMarker, 0) == 0) {
      current = std::strtol(line.c_str() + sizeof kMarker - 1, nullptr, 10);
      if (current != long(seen) || size_t(current) >= queries) return false;
      ++seen;
    } else if (line == kEndMarker) {
      ended = true;
      current = -1;
    } else if (current < 0) {
      *preamble += line + "\n";
    } else {
      OUTCOME& o = (*outcomes)[size_t(current)];
      if (IsShellError(line)) o.failed = true;
      if (o.failed) {
        o.error += line + "\n";
      } else {
        o.rows.push_back(SplitRow(line));
      }
    }
  }
  return ended && seen == queries;
}

}  // namespace diff
