// Dialogues at the main prompt: what a command line must look like and
// what each kind of line answers.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/session.h"
#include "platform/files.h"

namespace {
struct Case {
  const char* name;
  std::string input;
  std::string out_after_menu;
  std::string err_after_start;
};

using CommandLine = Session;

TEST_F(CommandLine, AnswersEachKindOfLine) {
  const std::string p = Prompt();
  const Case cases[] = {
      {"help prints the menu again", "h\nq\n", p + kMenu + p, ""},
      {"trailing blanks are dropped", "h   \nq  \n", p + kMenu + p, ""},
      {"empty lines ask again", "\n\nq\n", p + p + p, ""},
      {"lines that are no command", "qq\nlsa\nhq\n c\n q\n   \nq\n",
       p + "unknown command!\n" + p + "unknown command!\n" + p + "unknown command!\n" + p +
           "unknown command!\n" + p + "unknown command!\n" + p + "unknown command!\n" + p,
       ""},
      {"bytes outside the command set", "x\nq!\nQ\n\tq\nh\xE4\nq\n", p + p + p + p + p + p,
       "character 'x' is not valid!\ncharacter '!' is not valid!\n"
       "character 'Q' is not valid!\ncharacter '\t' is not valid!\n"
       "character '\xE4' is not valid!\n"},
      {"a rejected line is dropped whole", "qx\nq\n", p + p, "character 'x' is not valid!\n"},
      {"the last line needs no newline", "h\nq", p + kMenu + p, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectDialogue(c.input, c.out_after_menu, c.err_after_start);
  }
}

TEST_F(CommandLine, ItemCommandsNeedAContainer) {
  const std::string p = Prompt();
  std::string input;
  std::string expected;
  for (const char* command : {"a", "c", "d", "f", "l", "t", "s", "e", "g"}) {
    input += std::string(command) + "\n";
    expected += p + "you must first open a kaspo!\n";
  }
  ExpectDialogue(input + "q\n", expected + p, "");
}

TEST_F(CommandLine, OverlongLinesAreUnknownCommands) {
  const std::string p = Prompt();
  // Longer than any line the program keeps; neither may pass for a command,
  // not even one whose kept part would.
  const std::string letters(5000, 'h');
  const std::string quit_and_blanks = "q" + std::string(3000, ' ');
  ExpectDialogue(letters + "\n" + quit_and_blanks + "\nq\n",
                 p + "unknown command!\n" + p + "unknown command!\n" + p, "");
}

TEST_F(CommandLine, EndOfInputEndsTheProgramAtEveryPrompt) {
  const std::string p = Prompt();
  const Case cases[] = {
      {"at the main prompt", "", p + "\n", ""},
      {"after a command", "h\n", p + kMenu + p + "\n", ""},
      {"at a question with a default", "cd\n", p + "# Directory? (.) " + p + "\n", ""},
      {"after a rejected answer", "cd\n!\n", p + "# Directory? (.) " + p + "\n",
       "character '!' is not valid!\n"},
      {"in the middle of a rejected line", "ls!", p + p + "\n", "character '!' is not valid!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectDialogue(c.input, c.out_after_menu, c.err_after_start);
  }
}

TEST_F(CommandLine, EndOfInputLeavesAQuestionWithALengthLimit) {
  // The SQL question needs an answer of at least one byte; an empty line
  // asks again, the end of input leaves it.
  KaspoResult result = Run("g\n\n", {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("archive.ksp") + kMenu + p +
                            "# SQL-command? # SQL-command? " + p + "\n");
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(CommandLine, SessionsStartedTogetherAllStart) {
  // Sessions sharing one TARVIC_PATH write the engine's definition file at
  // the same moment; each must start and quit as if it were alone.
  constexpr int kRounds = 6;
  constexpr int kTogether = 3;
  std::vector<KaspoRun> runs(kTogether);
  for (KaspoRun& run : runs) {
    run.input = "q\n";
    run.cwd = work_;
    run.home = home_;
  }
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<KaspoResult> results;
    ASSERT_TRUE(RunKaspoTogether(runs, &results));
    for (const KaspoResult& result : results) {
      EXPECT_FALSE(result.timed_out);
      EXPECT_EQ(result.out, kBanner + std::string(kMenu) + Prompt());
      EXPECT_EQ(result.err, kStartupErr);
      EXPECT_EQ(result.status, kRunStatus);
    }
  }
  std::vector<std::string> left;
  ASSERT_EQ(PLATFORM_ListRegularFiles((home_ + "/.dat").c_str(), &left), 1);
  EXPECT_EQ(left, std::vector<std::string>{"KASPODB.def"});  // no temporary file stays
}

TEST_F(CommandLine, AnUnwritableDefinitionFileIsOnlyAWarning) {
  // A file where the engine's data directory belongs: nothing reads the
  // definition file back, so the session warns once, not per schema
  // statement, and goes on to the end.
  const std::string data_dir = scratch_.WriteFile("home/.dat", "x");
  const std::string warnings = "(TARVIC) Database-directory '" + data_dir +
                               "' could not be created!\n(TARVIC) " + std::strerror(EEXIST) + "\n";
  KaspoResult result = Run("t\nq\n", {"archive"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("archive.ksp") + kMenu + p +
                            StatusLine("archive.ksp", 0, 0, 0) + p);
  EXPECT_EQ(result.err, kStartupErr + warnings);
  EXPECT_EQ(result.status, kRunStatus);
}
}  // namespace
