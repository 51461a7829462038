// A refused chunk of the add command is rolled back exactly once: the
// chunk writer leaves the rollback to the command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/app_fake_engine.h"
#include "app/app_state.h"
#include "app/console.h"
#include "app/database.h"
#include "app/item_commands.h"
#include "support/scratch_dir.h"

namespace {
using AddPass = FakeAppEngineTest;

TEST_F(AddPass, ARefusedChunkIsRolledBackOnce) {
  ScratchDir dir;
  dir.WriteFile("a.txt", "first");
  dir.WriteFile("b.txt", "second");
  APP_ResetForTest();
  APPDB_ResetForTest();
  ASSERT_TRUE(DBHANDLE_Init(APPDB_Handle(), "KASPODB"));
  APP_State().current_dir = dir.path();
  Fake().messages.clear();
  FakeApp().refuse_chunk_inserts = true;
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::fputs("*.txt\ny\n\ny\n", in);
  std::rewind(in);
  CONSOLE_ResetForTest(in, out, err);
  testing::internal::CaptureStderr();
  ITEMS_Add();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "BLOBJ_Insert: Insert not possible (100 tries)\n");
  CONSOLE_ResetForTest(stdin, stdout, stderr);
  EXPECT_EQ(FakeText(out),
            "# Filename: [a.txt]\t[b.txt]\t\nAre you sure? (n/y/q) # Description: "
            "# Compressed? (y/n/q) ");
  EXPECT_EQ(FakeText(err), "(BLOBJ_Write) Error in BLOBJ_Insert\nBLOBJ_Write error!\n");
  // One BEGIN, one ABORT, no COMMIT: b.txt is never started.
  const std::string letters = Letters();
  EXPECT_EQ(std::count(letters.begin(), letters.end(), 'J'), 1);
  EXPECT_EQ(std::count(letters.begin(), letters.end(), 'M'), 1);
  EXPECT_EQ(std::count(letters.begin(), letters.end(), 'K'), 0);
  EXPECT_FALSE(APP_State().changed);
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
  for (FILE* f : {in, out, err}) std::fclose(f);
  APP_ResetForTest();
  APPDB_ResetForTest();
}
}  // namespace
