// The command line of the program: help switches and too many files.
#include <string>
#include <vector>

#include "e2e/session.h"

namespace {
// A usage request ends the program before the database starts.
constexpr int kUsageStatus = 1;

using Usage = Session;

TEST_F(Usage, HelpOrTwoFilesPrintTheUsageLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"-h"}, {"-?"}, {"--help"}, {"x", "-h"}, {"-h", "x"}, {"x", "y"}, {"x", "y", "z"}};
  for (const std::vector<std::string>& args : cases) {
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    KaspoResult result = Run("q\n", args);
    EXPECT_EQ(result.out, std::string(kBanner) + "Usage: kaspo <kaspofile>\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, kUsageStatus);
  }
}

TEST_F(Usage, OtherSwitchesAreFileNames) {
  // Only the three help switches are switches; "-x" names a container.
  KaspoResult result = Run("q\n", {"-x"});
  EXPECT_EQ(result.out, kBanner + NamedContainerStatus("-x.ksp") + kMenu + Prompt());
  EXPECT_EQ(result.status, kRunStatus);
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
