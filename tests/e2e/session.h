// session.h: what every end-to-end dialogue shares: a fresh directory
// per test (a working directory and a home for the engine) and the texts
// that open and close every run.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/run_kaspo.h"
#include "support/scratch_dir.h"

// The exit status of every run that got past the start of the database:
// the engine's exit handling ends every such run with 1, a quit included.
inline constexpr int kRunStatus = 1;

// Standard error of every run that got past the start of the database,
// before its first command: the engine's banner.
inline constexpr char kStartupErr[] = "Tarvic-SQL-database 2.0.1 (12.07.2003)\n\n";

inline constexpr char kBanner[] = "Kaspo 1.1 (12.07.2003)\n";
inline constexpr char kMenu[] =
    "(n)ew kaspo,(o)pen kaspo,(s)ave kaspo,s(t)atus\n"
    "(a)dd item,(c)hange item,(d)elete item,(e)xport item\n"
    "(f)ind item,(l)ist items,(g)eneric search\n"
    "(v)erify items\n"
    "(cd)change directory,(ls)list directory\n"
    "(h)elp,(q)uit\n\n";

// The status command "t": its line on standard output and what it prints
// on standard error (nothing).
inline std::string StatusLine(const std::string& path, int items, long long kb, long long db_kb) {
  return "kaspo '" + path + "', " + std::to_string(items) + " items (size " + std::to_string(kb) +
         " kb, db-size " + std::to_string(db_kb) + " kb)\n";
}
inline std::string StatusErr() { return ""; }

// What start-up prints on standard output for a named container whose
// file does not exist: its status line, then an empty line; and on
// standard error what the status command prints there.
inline std::string NamedContainerStatus(const std::string& path) {
  return StatusLine(path, 0, 0, 0) + "\n";
}
inline std::string NamedContainerErr(const std::string& /*path*/) { return StatusErr(); }

// The save at "q" of a changed container: standard output and error.
inline std::string QuitSaving(const std::string& path) {
  return "kaspo-db '" + path + "' saved!\n";
}
inline std::string QuitSavingErr(const std::string& /*path*/) { return ""; }

// The main prompt for a current directory.
inline std::string Prompt(const std::string& dir = ".") { return "[" + dir + "] > "; }

class Session : public ::testing::Test {
 protected:
  ScratchDir scratch_;
  std::string home_ = scratch_.MakeDir("home");
  std::string work_ = scratch_.MakeDir("work");

  KaspoRun Setting(const std::string& input, const std::vector<std::string>& args,
                   const std::optional<std::string>& kaspo_path = std::nullopt) {
    KaspoRun run;
    run.args = args;
    run.input = input;
    run.cwd = work_;
    run.home = home_;
    run.kaspo_path = kaspo_path;
    return run;
  }

  // Starts kaspo as Run does, but leaves it running for SendKaspo,
  // AwaitKaspo and FinishKaspo.
  void Start(KaspoProcess* process, const std::string& input,
             const std::vector<std::string>& args = {}) {
    ASSERT_TRUE(StartKaspo(Setting(input, args), process));
  }

  // Runs kaspo in the working directory with `input` on standard input.
  KaspoResult Run(const std::string& input, const std::vector<std::string>& args = {},
                  const std::optional<std::string>& kaspo_path = std::nullopt) {
    KaspoRun run = Setting(input, args, kaspo_path);
    KaspoResult result;
    EXPECT_TRUE(RunKaspo(run, &result)) << result.err;
    EXPECT_FALSE(result.timed_out) << "the program did not end";
    return result;
  }

  // Runs a dialogue with no container and compares both streams: stdout
  // after the banner and menu, stderr after the start-up notices.
  void ExpectDialogue(const std::string& input, const std::string& out_after_menu,
                      const std::string& err_after_start) {
    KaspoResult result = Run(input);
    EXPECT_EQ(result.out, kBanner + std::string(kMenu) + out_after_menu);
    EXPECT_EQ(result.err, kStartupErr + err_after_start);
    EXPECT_EQ(result.status, kRunStatus);
  }
};
