// Dialogues of "cd" and "ls", and the start directory from KASPO_PATH.
#include <string>

#include "e2e/session.h"

namespace {
constexpr char kAsk[] = "# Directory? ";

using Directories = Session;

TEST_F(Directories, ListsRegularFilesSortedByteWise) {
  scratch_.WriteFile("work/b", "2");
  scratch_.WriteFile("work/a", "1");
  scratch_.WriteFile("work/C", "3");
  scratch_.WriteFile("work/a b", "4");
  scratch_.MakeDir("work/dir");
  const std::string p = Prompt();
  ExpectDialogue("ls\nq\n", p + "[C]\t[a]\t[a b]\t[b]\t\n" + p, "");
}

TEST_F(Directories, SaysSoWhenThereIsNoFile) {
  scratch_.MakeDir("work/only-a-directory");
  const std::string p = Prompt();
  ExpectDialogue("ls\nq\n", p + "no files in directory '.'!\n" + p, "");
}

TEST_F(Directories, ChangesTheDirectoryAfterAskingAgain) {
  scratch_.MakeDir("work/sub");
  scratch_.WriteFile("work/sub/inside", "x");
  scratch_.WriteFile("work/plain", "x");
  const std::string p = Prompt();
  const std::string sub = Prompt("sub");
  // Neither a missing name nor a regular file is a directory.
  ExpectDialogue("cd\nmissing\nplain\nsub\nls\nq\n",
                 p + kAsk + "(.) directory 'missing' not found!\n" + kAsk +
                     "(.) directory 'plain' not found!\n" + kAsk + "(.) " + sub + "[inside]\t\n" +
                     sub,
                 "");
}

TEST_F(Directories, KeepsTheDirectoryWhenNoNewOneIsGiven) {
  scratch_.MakeDir("work/sub");
  const std::string p = Prompt();
  const std::string sub = Prompt("sub");
  struct Case {
    const char* name;
    std::string input;
    std::string out_after_menu;
    std::string err_after_start;
  };
  const Case cases[] = {
      {"q leaves the question", "cd\nsub\ncd\nq\nq\n",
       p + kAsk + "(.) " + sub + kAsk + "(sub) " + sub, ""},
      {"an empty answer takes the default", "cd\nsub\ncd\n\nq\n",
       p + kAsk + "(.) " + sub + kAsk + "(sub) " + sub, ""},
      {"a rejected answer takes the default", "cd\nsub\ncd\nsub!\nq\n",
       p + kAsk + "(.) " + sub + kAsk + "(sub) " + sub, "character '!' is not valid!\n"},
      {"Q is an answer, not a way out", "cd\nQ\nq\nq\n",
       p + kAsk + "(.) directory 'Q' not found!\n" + kAsk + "(.) " + p, ""},
      {"a long answer asks again", "cd\n" + std::string(81, 'd') + "\nsub\nq\n",
       p + kAsk + "(.) string too long (max = 80)!\n" + kAsk + "(.) " + sub, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectDialogue(c.input, c.out_after_menu, c.err_after_start);
  }
}

TEST_F(Directories, StartsInKaspoPathWhenItIsADirectory) {
  scratch_.MakeDir("work/start");
  scratch_.WriteFile("work/start/f", "x");
  KaspoResult result = Run("ls\nq\n", {}, "start");
  EXPECT_EQ(result.out,
            kBanner + std::string(kMenu) + Prompt("start") + "[f]\t\n" + Prompt("start"));
  EXPECT_EQ(result.err, kStartupErr);
  EXPECT_EQ(result.status, kRunStatus);
}

TEST_F(Directories, WarnsAndStartsHereWhenKaspoPathIsNoDirectory) {
  scratch_.WriteFile("work/plain", "x");
  for (const char* value : {"nowhere", "plain", ""}) {
    SCOPED_TRACE(value);
    KaspoResult result = Run("q\n", {}, std::string(value));
    EXPECT_EQ(result.out,
              kBanner +
                  ("Warning: KASPO_PATH-directory '" + std::string(value) + "' does not exist!\n") +
                  kMenu + Prompt());
    EXPECT_EQ(result.err, kStartupErr);
    EXPECT_EQ(result.status, kRunStatus);
  }
}
}  // namespace
