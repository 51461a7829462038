// Tests of the one-pass file-name patterns of the add and open dialogues.
#include "app/base/file_pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace {
TEST(FilePattern, MatchesWholeNamesWithoutBacktracking) {
  struct Case {
    const char* pattern;
    const char* name;
    bool taken;
  };
  constexpr Case kCases[] = {
      // "*" stops at the first character equal to the next one.
      {"*.txt", "a.txt", true},
      {"*.txt", "a.b.txt", false},
      {"*.txt", ".txt", true},
      {"*.txt", "a.txtx", false},
      {"*.ksp", "box.ksp", true},
      {"*.ksp", "box.KSP", false},
      // A last "*" takes the rest, which must not be empty.
      {"a*", "a", false},
      {"a*", "ab", true},
      {"a*", "a.b.c", true},
      {"*", "x", true},
      {"*", "", false},
      {"a*c", "abc", true},
      {"a*c", "abcc", false},
      {"a*c", "ac", true},
      // Other characters compare exactly, case included.
      {"a", "a", true},
      {"a", "A", false},
      {"abc", "ab", false},
      {"ab", "abc", false},
      // "$" passes digits, blanks and hyphens up to the next character.
      {"v$.log", "v1-2 3.log", true},
      {"v$.log", "v.log", true},
      {"v$.log", "v1a.log", false},
      {"n$", "n 12-3", true},
      {"n$", "n12x", false},
      // A backslash makes the next character literal.
      {"x\\*y", "x*y", true},
      {"x\\*y", "xay", false},
      {"*\\*", "ab*", true},
      {"a\\$", "a$", true},
      {"a\\$", "a1", false},
      {"a\\", "a\\", true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(FPATTERN_Match(c.pattern, c.name), c.taken);
  }
}

TEST(FilePattern, GlobMatchesAsTheShellDoesWithBacktracking) {
  struct Case {
    const char* pattern;
    const char* name;
    bool taken;
  };
  constexpr Case kCases[] = {
      {"*.txt", "a.b.txt", true},  // backtracking, unlike the add dialogue
      {"*.txt", "a.txtx", false},
      {"*", "", true},
      {"docs/*", "docs/sub/b.txt", true},  // "/" is a character like any
      {"*/r.bin", "docs/sub/r.bin", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYc d", false},
      {"?PL", "GPL", true},
      {"?PL", "LGPL", false},
      {"[GL]*", "LGPL-2", true},
      {"[!G]*", "GPL", false},
      {"[^G]*", "LGPL", true},
      {"[a-c]x", "bx", true},
      {"[a-c]x", "dx", false},
      {"[]]x", "]x", true},
      {"[x", "[x", true},  // a set without its end is the character itself
      {"\\*", "*", true},
      {"\\*", "a", false},
      {"GPL", "LGPL-2", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
    EXPECT_EQ(FPATTERN_Glob(c.pattern, c.name), c.taken);
  }
}

TEST(FilePattern, ListsMatchingRegularFilesSorted) {
  ScratchDir dir;
  for (const char* name : {"b.ksp", "a.ksp", "a.b.ksp", "c.txt", "ksp"}) dir.WriteFile(name, "x");
  dir.MakeDir("d.ksp");
  std::vector<std::string> names;
  ASSERT_TRUE(FPATTERN_List(dir.path(), "*.ksp", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.ksp", "b.ksp"}));
  EXPECT_FALSE(FPATTERN_List(dir.Path("missing"), "*", &names));
  EXPECT_TRUE(names.empty());
}
}  // namespace
