// The command line of the program: help switches and too many files, the
// usage errors of the script commands, and one script that takes a tree
// through every command.
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "e2e/session.h"
#include "platform/files.h"

namespace {
// A usage request of the dialogue ends the program before the database
// starts; the script commands give 2 for a usage error.
constexpr int kUsageStatus = 1;
constexpr int kScriptUsage = 2;
constexpr int kScriptFailed = 1;

constexpr char kUsage[] =
    "Usage: kaspo <kaspofile>\n"
    "       kaspo -l|--list    <kaspofile> [-v] [NAME...]\n"
    "       kaspo -x|--extract <kaspofile> [-C DIR] [--overwrite] [NAME...]\n"
    "       kaspo -p|--print   <kaspofile> NAME\n"
    "       kaspo -a|--add     <kaspofile> [-z] [-m TEXT] PATH...\n"
    "       kaspo -d|--delete  <kaspofile> NAME...\n"
    "       kaspo -t|--test    <kaspofile> [NAME...]\n"
    "       kaspo --version\n"
    "       kaspo -h|-?|--help\n"
    "       (-q: nothing but errors)\n";

using Usage = Session;

TEST_F(Usage, HelpOrTwoFilesPrintTheUsageLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"-h"}, {"-?"}, {"--help"}, {"x", "-h"}, {"-h", "x"}, {"x", "y"}, {"x", "y", "z"}};
  for (const std::vector<std::string>& args : cases) {
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    KaspoResult result = Run("q\n", args);
    EXPECT_EQ(result.out, std::string(kBanner) + kUsage);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, kUsageStatus);
  }
  // Within a script command the help switch is the same usage, alone.
  KaspoResult inside = Run("", {"-l", "box", "--help"});
  EXPECT_EQ(inside.out, kUsage);
  EXPECT_EQ(inside.status, kUsageStatus);
}

TEST_F(Usage, ScriptCommandsRefuseWhatTheyCannotMeanWithStatusTwo) {
  const std::string again = "Try 'kaspo --help'.\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-k"}, "kaspo: unknown option '-k'\n"},
      {{"--version.ksp"}, "kaspo: unknown option '--version.ksp'\n"},
      {{"-l"}, "kaspo: no kaspofile given\n"},
      {{"-p", "box"}, "kaspo: '-p' takes one NAME\n"},
      {{"-d", "box"}, "kaspo: '-d' takes a NAME at least\n"},
      {{"-l", "box", "-z"}, "kaspo: option '-z' does not go with '-l'\n"},
      {{"-x", "box", "-C"}, "kaspo: option '-C' needs a value\n"},
  };
  for (const auto& [args, err] : cases) {
    SCOPED_TRACE(args[0]);
    KaspoResult result = Run("", args);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, err + again);
    EXPECT_EQ(result.status, kScriptUsage);
  }
  KaspoResult version = Run("", {"--version"});
  EXPECT_EQ(version.out, "Kaspo 1.1 (12.07.2003)\nTarvic-SQL-database 2.0.1 (12.07.2003)\n");
  EXPECT_EQ(version.status, 0);
}

TEST_F(Usage, AScriptTakesATreeThroughEveryCommand) {
  scratch_.MakeDir("work/docs");
  scratch_.MakeDir("work/docs/sub");
  scratch_.MakeDir("work/out");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"docs/GPL", "gpl text"},
      {"docs/LGPL-2", "lgpl text"},
      {"docs/a.txt", "alpha"},
      {"docs/sub/b.txt", "beta"},
      {"docs/sub/r.bin", std::string(70000, '\xB0') + "end"}};
  for (const auto& [name, content] : files) scratch_.WriteFile("work/" + name, content);
  ASSERT_EQ(symlink("a.txt", scratch_.Path("work/docs/link").c_str()), 0);
  std::string all_names;
  for (const auto& file : files) all_names += file.first + "\n";

  // A tree: every regular file under its path, the link left out (status 1).
  KaspoResult add = Run("", {"-a", "box", "docs"});
  EXPECT_EQ(add.out, all_names);
  EXPECT_EQ(add.err, "warning: file 'docs/link' is not a regular file, not added!\n");
  EXPECT_EQ(add.status, kScriptFailed);
  // Added again, compressed: each item is replaced, not doubled; a
  // directory's items are named from its parent, "docs/sub" gives "sub/...".
  KaspoResult again = Run("", {"-a", "box.ksp", "-z", "-q", "docs/sub", "docs"});
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.status, kScriptFailed);
  KaspoResult list = Run("", {"--list", "box"});
  EXPECT_EQ(list.out,
            "         8  compressed  docs/GPL\n"
            "         9  compressed  docs/LGPL-2\n"
            "         5  compressed  docs/a.txt\n"
            "         4  compressed  docs/sub/b.txt\n"
            "     70003  compressed  docs/sub/r.bin\n"
            "         4  compressed  sub/b.txt\n"
            "     70003  compressed  sub/r.bin\n");
  EXPECT_EQ(list.status, 0);

  // Exact names and patterns; a name that selects nothing is an error.
  KaspoResult exact = Run("", {"-l", "box", "docs/GPL", "*/r.bin", "nothing"});
  EXPECT_EQ(exact.out,
            "         8  compressed  docs/GPL\n"
            "     70003  compressed  docs/sub/r.bin\n"
            "     70003  compressed  sub/r.bin\n");
  EXPECT_EQ(exact.err, "item 'nothing' not found!\n");
  EXPECT_EQ(exact.status, kScriptFailed);

  // Extracted into a tree again; a second time nothing is overwritten
  // without --overwrite.
  KaspoResult x = Run("", {"-x", "box", "-C", "out", "docs/*"});
  EXPECT_EQ(x.status, 0) << x.err;
  for (const auto& [name, content] : files) {
    EXPECT_TRUE(scratch_.ReadFile("work/out/" + name) == content) << name;
  }
  KaspoResult kept = Run("", {"-x", "box", "-C", "out", "docs/a.txt"});
  EXPECT_EQ(kept.err, "warning: file 'out/docs/a.txt' exists, not overwritten!\n");
  EXPECT_EQ(kept.status, kScriptFailed);
  KaspoResult replaced = Run("", {"-x", "box", "-C", "out", "--overwrite", "docs/a.txt"});
  EXPECT_EQ(replaced.out, "out/docs/a.txt\n");
  EXPECT_EQ(replaced.status, 0);

  // No directory on the way is followed through a link.
  scratch_.MakeDir("work/trap");
  scratch_.MakeDir("work/out2");
  ASSERT_EQ(symlink("../trap", scratch_.Path("work/out2/docs").c_str()), 0);
  KaspoResult trapped = Run("", {"-x", "box", "-C", "out2", "docs/a.txt"});
  EXPECT_EQ(trapped.err,
            "warning: directory for 'out2/docs/a.txt' cannot be made, not exported!\n");
  EXPECT_EQ(trapped.status, kScriptFailed);
  EXPECT_FALSE(PLATFORM_Exists(scratch_.Path("work/trap/a.txt").c_str()));

  // The content alone on standard output (a pipe), and a test of all.
  KaspoResult print = Run("", {"-p", "box", "docs/sub/r.bin"});
  EXPECT_TRUE(print.out == files[4].second);
  EXPECT_EQ(print.err, "");
  KaspoResult test = Run("", {"-t", "box"});
  EXPECT_EQ(test.out, "verified 7 items, 0 damaged, 0 without checksum\n");
  EXPECT_EQ(test.status, 0);

  // A delete is refused while a dialogue holds the container: the save's
  // question is answered no, on standard error.
  KaspoProcess live;
  Start(&live, "", {"box.ksp"});
  ASSERT_TRUE(AwaitKaspo(&live, Prompt()));
  KaspoResult locked = Run("", {"-d", "box", "sub/*"});
  EXPECT_EQ(locked.out, "sub/b.txt\nsub/r.bin\n");
  EXPECT_EQ(locked.err,
            "kaspo-db 'box.ksp' is in use by another session: read-only!\n"
            "kaspo-db 'box.ksp' is in use by another session, not saved!\n"
            "kaspo-db 'box.ksp' not saved!\n");
  EXPECT_EQ(locked.status, kScriptFailed);
  KaspoResult other;
  ASSERT_TRUE(FinishKaspo(&live, &other));
  KaspoResult deleted = Run("", {"-d", "box", "sub/*"});
  EXPECT_EQ(deleted.status, 0);
  EXPECT_EQ(Run("", {"-l", "box", "sub/*"}).err, "item 'sub/*' not found!\n");

  // A container that cannot be read: what could be read is listed, the
  // status says it was not all.
  scratch_.WriteFile("work/bad.ksp", "no container at all");
  KaspoResult bad = Run("", {"-l", "bad"});
  EXPECT_NE(bad.err.find("error reading kaspo-db 'bad.ksp'!\n"), std::string::npos);
  EXPECT_EQ(bad.status, kScriptFailed);
}

// On two cores the files are encoded ahead in a second thread; on one
// they are not. Every message and the container's size come out the same
// (item ids are drawn at random), also for files refused or unreadable
// between those encoded ahead, and every item reads back whole.
TEST_F(Usage, AddingAheadMakesTheSameContainerAsOneThread) {
  scratch_.MakeDir("work/many");
  std::mt19937 gen(11);
  for (int i = 0; i < 14; ++i) {
    std::string content(gen() % 300000, ' ');
    for (char& c : content) c = static_cast<char>('a' + gen() % (i % 3 == 0 ? 4 : 26));
    scratch_.WriteFile("work/many/f" + std::to_string(100 + i), content);
  }
  scratch_.WriteFile("work/many/f105", "");  // unreadable or empty: the pass goes on
  scratch_.WriteFile("work/many/f107 ", "a name with a trailing blank");
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  std::vector<KaspoResult> results;
  std::vector<std::string> containers;
  for (const std::string box : {"ahead", "alone"}) {
    // The program inherits the affinity of the test.
    ASSERT_EQ(sched_setaffinity(0, sizeof one, box == "alone" ? &one : &all), 0);
    results.push_back(Run("", {"-a", box, "-z", "many"}));
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    containers.push_back(scratch_.ReadFile("work/" + box + ".ksp"));
  }
  EXPECT_EQ(results[0].out, results[1].out);
  EXPECT_EQ(results[0].err, results[1].err);
  EXPECT_EQ(results[0].status, kScriptFailed);
  EXPECT_EQ(results[1].status, kScriptFailed);
  EXPECT_NE(results[0].out.find("many/f113\n"), std::string::npos);
  EXPECT_NE(results[0].err.find("many/f105' read error or empty!\n"), std::string::npos);
  EXPECT_EQ(containers[0].size(), containers[1].size());
  EXPECT_GT(containers[0].size(), 1000000u);
  KaspoResult test = Run("", {"-t", "ahead"});
  EXPECT_EQ(test.out, "verified 13 items, 0 damaged, 0 without checksum\n");
}

TEST_F(Usage, WithAContainerItemCommandsRun) {
  // "a" asks for a file name; "q" there leaves the command, "q" at the
  // main prompt quits.
  KaspoResult result = Run("a\nq\nq\n", {"archive.txt"});
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("archive.ksp") + kMenu + Prompt() +
                            "# Filename: " + Prompt());
  EXPECT_EQ(result.out.find("you must first open a kaspo!"), std::string::npos);
  EXPECT_EQ(result.status, kRunStatus);
}
}  // namespace
