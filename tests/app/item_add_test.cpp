// Tests of the add command's ends: a pass that stops part way, and a
// refused chunk that must be rolled back exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "app/app_fake_engine.h"
#include "app/app_state.h"
#include "app/console.h"
#include "app/database.h"
#include "app/item_commands.h"
#include "support/scratch_dir.h"

namespace {
struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string Contents(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
  return text;
}

int Count(const std::string& text, char c) {
  return static_cast<int>(std::count(text.begin(), text.end(), c));
}

class AddPass : public FakeAppEngineTest {
 protected:
  void SetUp() override {
    FakeAppEngineTest::SetUp();
    APP_ResetForTest();
    APPDB_ResetForTest();
    ASSERT_TRUE(DBHANDLE_Init(APPDB_Handle(), "KASPODB"));
    APP_State().current_dir = dir_.path();
    APP_State().container_path = "box.ksp";
    FakeApp().letters.clear();
  }
  void TearDown() override {
    CONSOLE_ResetForTest(stdin, stdout, stderr);
    APP_ResetForTest();
    APPDB_ResetForTest();
    FakeAppEngineTest::TearDown();
  }
  // Runs "a" with the answers `input`; out and err are what it printed.
  void Add(const std::string& input) {
    in_.reset(std::tmpfile());
    out_.reset(std::tmpfile());
    err_.reset(std::tmpfile());
    std::fwrite(input.data(), 1, input.size(), in_.get());
    std::rewind(in_.get());
    CONSOLE_ResetForTest(in_.get(), out_.get(), err_.get());
    testing::internal::CaptureStderr();
    ITEMS_Add();
    collected_ = testing::internal::GetCapturedStderr();
    out = Contents(out_.get());
    err = Contents(err_.get());
  }

  ScratchDir dir_;
  FilePtr in_, out_, err_;
  std::string out, err, collected_;
};

TEST_F(AddPass, StopsAtAnEmptyFileButKeepsWhatWasCommitted) {
  dir_.WriteFile("a.txt", "first");
  dir_.WriteFile("b.txt", "");
  dir_.WriteFile("c.txt", "third");
  Add("*.txt\ny\nsome files\nn\n");
  EXPECT_EQ(out,
            "# Filename: [a.txt]\t[b.txt]\t[c.txt]\t\nAre you sure? (n/y/q) # Description: "
            "# Compressed? (y/n/q)   file 'a.txt' added\n");
  EXPECT_EQ(err, "warning: file '" + dir_.Path("b.txt") + "' read error or empty!\n");
  // One transaction for a.txt, committed; c.txt never started.
  EXPECT_EQ(Count(FakeApp().letters, 'J'), 1);
  EXPECT_EQ(Count(FakeApp().letters, 'K'), 1);
  EXPECT_EQ(Count(FakeApp().letters, 'M'), 0);
  EXPECT_TRUE(APP_State().changed);
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}

TEST_F(AddPass, ARefusedChunkIsRolledBackOnce) {
  dir_.WriteFile("a.txt", "first");
  dir_.WriteFile("b.txt", "second");
  FakeApp().refuse_chunk_inserts = true;
  Add("*.txt\ny\n\ny\n");
  EXPECT_EQ(out,
            "# Filename: [a.txt]\t[b.txt]\t\nAre you sure? (n/y/q) # Description: "
            "# Compressed? (y/n/q) ");
  EXPECT_EQ(err, "(BLOBJ_Write) Error in BLOBJ_Insert\nBLOBJ_Write error!\n");
  EXPECT_EQ(collected_, "BLOBJ_Insert: Insert not possible (100 tries)\n");
  EXPECT_EQ(Count(FakeApp().letters, 'J'), 1);
  EXPECT_EQ(Count(FakeApp().letters, 'M'), 1);
  EXPECT_EQ(Count(FakeApp().letters, 'K'), 0);
  EXPECT_FALSE(APP_State().changed);
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}
}  // namespace
