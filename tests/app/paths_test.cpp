// Tests of the container extension, path joining and the argument scan.
#include "app/base/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/session/startup.h"

namespace {
TEST(ForceExtension, ActsOnTheLastComponentOnly) {
  struct Case {
    const char* given;
    const char* expected;
  };
  constexpr Case kCases[] = {
      {"a.txt", "a.ksp"},
      {"a", "a.ksp"},
      {"a.ksp", "a.ksp"},
      {"a.KSP", "a.ksp"},
      {"a.kspx", "a.ksp"},
      {"a.", "a.ksp"},
      {"a.b.ksp", "a.b.ksp"},
      {"a.b.c", "a.b.ksp"},
      {"dir.x/file", "dir.x/file.ksp"},
      {"./photos", "./photos.ksp"},
      {"../up/a.txt", "../up/a.ksp"},
      {"/abs.d/x.ksp", "/abs.d/x.ksp"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.given);
    std::string path = c.given;
    PATHS_ForceExtension(&path);
    EXPECT_EQ(path, c.expected);
  }
}

TEST(JoinPath, PutsOneSeparatorBetween) {
  EXPECT_EQ(PATHS_Join(".", "a.txt"), "./a.txt");
  EXPECT_EQ(PATHS_Join("dir/", "a.txt"), "dir/a.txt");
  EXPECT_EQ(PATHS_Join("/", "a.txt"), "/a.txt");
  EXPECT_EQ(PATHS_Join("", "a.txt"), "a.txt");
}

TEST(ScanArgs, FindsTheContainerOrAsksForUsage) {
  struct Case {
    std::vector<const char*> args;
    int result;
    const char* path;
  };
  const Case cases[] = {
      {{}, 1, ""},         {{"a"}, 1, "a"},           {{"-x"}, 1, "-x"},    {{"-h"}, 0, ""},
      {{"-?"}, 0, ""},     {{"--help"}, 0, ""},       {{"a", "-h"}, 0, ""}, {{"-h", "a"}, 0, ""},
      {{"a", "b"}, 0, ""}, {{"--HELP"}, 1, "--HELP"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"kaspo"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(argv.size() > 1 ? argv[1] : "(none)");
    std::string path = "unchanged";
    EXPECT_EQ(APP_ScanArgs(static_cast<int>(argv.size()), argv.data(), &path), c.result);
    if (c.result == 1) {
      EXPECT_EQ(path, c.path);
    }
  }
}
}  // namespace
