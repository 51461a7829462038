// Tests of file status, directory listings and whole-file input and output.
#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace {
TEST(ListRegularFiles, LeavesOutEverythingButRegularFiles) {
  ScratchDir dir;
  dir.WriteFile("b", "x");
  dir.WriteFile("a", "");
  dir.WriteFile("B", "x");
  dir.WriteFile(".hidden", "x");
  dir.WriteFile("with blank", "x");
  dir.MakeDir("subdir");
  dir.WriteFile("subdir/nested", "x");
  ASSERT_EQ(symlink("subdir", dir.Path("link-dir").c_str()), 0);
  ASSERT_EQ(symlink("b", dir.Path("link-file").c_str()), 0);
  ASSERT_EQ(symlink("nothing", dir.Path("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);

  std::vector<std::string> names = {"stale"};
  ASSERT_EQ(PLATFORM_ListRegularFiles(dir.path().c_str(), &names), 1);
  const std::vector<std::string> expected = {".hidden", "B", "a", "b", "link-file", "with blank"};
  EXPECT_EQ(names, expected);

  // The same listing through a path that ends with the separator.
  ASSERT_EQ(PLATFORM_ListRegularFiles((dir.path() + "/").c_str(), &names), 1);
  EXPECT_EQ(names, expected);
}

TEST(FileKind, TellsFilesFromDirectories) {
  ScratchDir dir;
  dir.WriteFile("file", "x");
  dir.MakeDir("dir");
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("nothing", dir.Path("dangling").c_str()), 0);
  ASSERT_EQ(symlink("file", dir.Path("link").c_str()), 0);
  struct Case {
    const char* name;
    PLATFORM_FILEKIND kind;
    bool link;  // the path itself, not followed
  };
  constexpr Case kCases[] = {
      {"file", PLATFORM_REGULAR, false},      {"dir", PLATFORM_DIRECTORY, false},
      {"fifo", PLATFORM_OTHER, false},        {"dangling", PLATFORM_MISSING, true},
      {"link", PLATFORM_REGULAR, true},       {"missing", PLATFORM_MISSING, false},
      {"file/below", PLATFORM_MISSING, false}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PLATFORM_FileKind(dir.Path(c.name).c_str()), c.kind);
    EXPECT_EQ(PLATFORM_IsSymbolicLink(dir.Path(c.name).c_str()), c.link);
    bool link = !c.link;
    const PLATFORM_FILEKIND own = PLATFORM_OwnKind(dir.Path(c.name).c_str(), &link);
    EXPECT_EQ(link, c.link);
    EXPECT_EQ(own, c.link ? PLATFORM_OTHER : c.kind);
  }
}

TEST(WholeFile, RoundTripsEveryByteAndLength) {
  ScratchDir dir;
  std::string path = dir.Path("data");
  // Sizes around the read step and an odd large one; every byte value.
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                           std::size_t{65537}, std::size_t{1000003}}) {
    SCOPED_TRACE(size);
    std::vector<unsigned char> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 256);
    ASSERT_EQ(PLATFORM_WriteFile(path.c_str(), data.data(), data.size()), 1);
    std::vector<unsigned char> back = {42};
    ASSERT_EQ(PLATFORM_ReadFile(path.c_str(), &back), 1);
    EXPECT_EQ(back, data);
  }
}

TEST(WholeFile, WritingTruncatesAnOlderLongerFile) {
  ScratchDir dir;
  dir.WriteFile("data", "a much longer old content");
  ASSERT_EQ(PLATFORM_WriteFile(dir.Path("data").c_str(), "new", 3), 1);
  EXPECT_EQ(dir.ReadFile("data"), "new");
}

TEST(Files, FailWhereThereIsNoFile) {
  ScratchDir dir;
  dir.MakeDir("dir");
  std::vector<unsigned char> bytes = {1};
  EXPECT_EQ(PLATFORM_ReadFile(dir.Path("missing").c_str(), &bytes), 0);
  EXPECT_TRUE(bytes.empty());
  std::vector<std::string> names = {"stale"};
  EXPECT_EQ(PLATFORM_ListRegularFiles(dir.Path("missing").c_str(), &names), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(PLATFORM_ReadFile(dir.Path("dir").c_str(), &bytes), 0);
  EXPECT_EQ(PLATFORM_WriteFile(dir.Path("dir").c_str(), "x", 1), 0);
  EXPECT_EQ(PLATFORM_WriteFile(dir.Path("missing/file").c_str(), "x", 1), 0);
}

TEST(Directories, AreMadeAndRemovedOnlyWhenThatIsPossible) {
  ScratchDir dir;
  std::string made = dir.Path("made");
  ASSERT_EQ(PLATFORM_MakeDirectory(made.c_str()), 1);
  EXPECT_TRUE(PLATFORM_IsDirectory(made.c_str()));
  EXPECT_EQ(PLATFORM_MakeDirectory(made.c_str()), 0);  // exists already
  EXPECT_EQ(PLATFORM_MakeDirectory(dir.Path("no/parent").c_str()), 0);

  dir.WriteFile("made/file", "x");
  EXPECT_EQ(PLATFORM_RemoveDirectory(made.c_str()), 0);  // not empty
  EXPECT_EQ(PLATFORM_RemoveFile(made.c_str()), 0);       // not a file
  EXPECT_EQ(PLATFORM_RemoveFile(dir.Path("made/file").c_str()), 1);
  EXPECT_EQ(PLATFORM_RemoveDirectory(made.c_str()), 1);
  EXPECT_FALSE(PLATFORM_Exists(made.c_str()));
}
}  // namespace
