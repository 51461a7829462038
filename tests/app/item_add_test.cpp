// The add command against the stand-in engine: a refused chunk is rolled
// back exactly once (the chunk writer leaves the rollback to the
// command), files past what a table holds are refused before anything
// changes, the notice of a long add comes before the read, and files
// encoded ahead in a second thread are stored as one thread stores them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/app_fake_engine.h"
#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/app_state.h"
#include "app/items/item_commands.h"
#include "platform/fault.h"
#include "support/scratch_dir.h"

namespace {
using AddPass = FakeAppEngineTest;

// The console of one add dialogue: `answers` on its input; what it prints
// is kept in `out` and `err`.
struct AddDialogue {
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  explicit AddDialogue(const char* answers) {
    std::fputs(answers, in);
    std::rewind(in);
    CONSOLE_ResetForTest(in, out, err);
  }
  ~AddDialogue() {
    CONSOLE_ResetForTest(stdin, stdout, stderr);
    for (FILE* f : {in, out, err}) std::fclose(f);
  }
};

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
  AddDialogue dialogue("*.txt\ny\n\ny\n");
  testing::internal::CaptureStderr();
  ITEMS_Add();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "BLOBJ_Insert: Insert not possible (100 tries)\n");
  EXPECT_EQ(FakeText(dialogue.out),
            "# Filename: [a.txt]\t[b.txt]\t\nAre you sure? (n/y/q) # Description: "
            "# Compressed? (y/n/q) ");
  EXPECT_EQ(FakeText(dialogue.err), "(BLOBJ_Write) Error in BLOBJ_Insert\nBLOBJ_Write error!\n");
  // After the row counts (each in its own bracket): one BEGIN, one
  // ABORT, no COMMIT; b.txt is never started.
  const std::string all = Letters();
  const std::string letters = all.substr(all.rfind('K') + 1);
  EXPECT_EQ(std::count(letters.begin(), letters.end(), 'J'), 1);
  EXPECT_EQ(std::count(letters.begin(), letters.end(), 'M'), 1);
  EXPECT_EQ(std::count(letters.begin(), letters.end(), 'K'), 0);
  EXPECT_FALSE(APP_State().changed);
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
  APP_ResetForTest();
  APPDB_ResetForTest();
}

// The notice of a long add comes before the file is read, so a read that
// fails at once still follows it.
TEST_F(AddPass, TheLongAddNoticeComesBeforeTheRead) {
  ScratchDir dir;
  dir.WriteFile("big.bin", std::string(1000001, 'x'));
  APP_ResetForTest();
  APPDB_ResetForTest();
  ASSERT_TRUE(DBHANDLE_Init(APPDB_Handle(), "KASPODB"));
  APP_State().current_dir = dir.path();
  AddDialogue dialogue("big.bin\ny\n\nn\n");
  PLATFORM_FaultAt(PLATFORM_FAULT_READ, 1, PLATFORM_FAULT_ONCE);
  ITEMS_Add();
  EXPECT_EQ(PLATFORM_FaultsInjected(PLATFORM_FAULT_READ), 1);
  PLATFORM_FaultResetForTest();
  EXPECT_EQ(FakeText(dialogue.out),
            "# Filename: [big.bin]\t\nAre you sure? (n/y/q) # Description: "
            "# Compressed? (y/n/q)   adding of file 'big.bin' can take some time "
            "(file-size 976 kb)!\n");
  EXPECT_EQ(FakeText(dialogue.err),
            "warning: file '" + dir.Path("big.bin") + "' read error or empty!\n");
  EXPECT_FALSE(APP_State().changed);
  APP_ResetForTest();
  APPDB_ResetForTest();
}

// A section of a container holds at most 99,999 rows: a file that would
// take KASPO or BLOBJ past that is refused before anything is sent, and
// the pass goes on with the next file.
TEST_F(AddPass, FilesPastWhatATableHoldsAreRefusedAndThePassGoesOn) {
  ScratchDir dir;
  std::mt19937 gen(5);
  std::string large(4001, ' ');
  for (char& c : large) c = static_cast<char>('a' + gen() % 26);
  dir.WriteFile("a.txt", "first");
  dir.WriteFile("b.bin", large);
  dir.WriteFile("c.txt", "third");
  COMPR_CHUNKS b_chunks;
  BLOBJIO_Encode(false, reinterpret_cast<const unsigned char*>(large.data()), large.size(),
                 &b_chunks);
  ASSERT_GE(b_chunks.lengths.size(), 2u);  // a.txt and c.txt take one chunk each
  APPDB_ResetForTest();
  ASSERT_TRUE(DBHANDLE_Init(APPDB_Handle(), "KASPODB"));
  struct Case {
    int items, chunks;  // rows before the pass
    std::vector<std::string> added;
  };
  const Case kCases[] = {{99998, 0, {"a.txt"}}, {0, 99997, {"a.txt", "c.txt"}}, {99999, 99999, {}}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.items) + " items, " + std::to_string(c.chunks) + " chunks");
    APP_ResetForTest();
    APP_State().current_dir = dir.path();
    FakeApp().chunks.clear();
    FakeApp().item_rows = c.items;
    FakeApp().chunk_rows = c.chunks;
    AddDialogue dialogue("*\ny\n\nn\n");
    ITEMS_Add();
    std::string added_lines, refused_lines;
    for (const char* name : {"a.txt", "b.bin", "c.txt"}) {
      if (std::find(c.added.begin(), c.added.end(), name) != c.added.end()) {
        added_lines += "  file '" + std::string(name) + "' added\n";
      } else {
        refused_lines +=
            "warning: file '" + dir.Path(name) + "' not added, kaspo full (max = 99999 rows)!\n";
      }
    }
    EXPECT_EQ(FakeText(dialogue.out),
              "# Filename: [a.txt]\t[b.bin]\t[c.txt]\t\nAre you sure? (n/y/q) # Description: "
              "# Compressed? (y/n/q) " +
                  added_lines + std::to_string(c.added.size()) + " items added\n");
    EXPECT_EQ(FakeText(dialogue.err), refused_lines);
    EXPECT_EQ(FakeApp().chunks.size(), c.added.size());  // one chunk each
    EXPECT_EQ(APP_State().changed, !c.added.empty());
  }
  APP_ResetForTest();
  APPDB_ResetForTest();
}

// Encoded ahead or each in its turn, the files give the same chunk rows
// and messages in list order; a stop (an empty file) ends the pass and
// drops what was encoded past it.
TEST_F(AddPass, FilesEncodedAheadAreStoredAsOneThreadStoresThem) {
  ScratchDir dir;
  std::mt19937 gen(3);
  std::vector<ITEMS_SOURCE> files;
  for (int i = 0; i < 12; ++i) {
    std::string content(1000 + gen() % 1200000, ' ');
    for (char& c : content) c = static_cast<char>('a' + gen() % (i % 2 == 0 ? 3 : 26));
    const std::string name = "f" + std::to_string(i) + (i == 4 ? " " : "");
    dir.WriteFile(name, i == 9 ? "" : content);
    files.push_back({dir.Path(name), name});
  }
  APPDB_ResetForTest();
  ASSERT_TRUE(DBHANDLE_Init(APPDB_Handle(), "KASPODB"));
  struct Pass {
    std::vector<FakeChunkRow> chunks;
    std::string out, err, results;
  };
  std::vector<Pass> passes;
  for (const bool ahead : {true, false}) {
    APP_ResetForTest();
    FakeApp().chunks.clear();
    AddDialogue dialogue("");
    ITEMS_ADDSETTINGS settings;
    settings.ahead = ahead;
    ITEMS_ROOM room;
    Pass pass;
    ITEMS_AddFiles(files, settings, &room, [&](std::size_t i, ITEMS_ADDED result) {
      pass.results += std::to_string(i) + ":" + std::to_string(static_cast<int>(result)) + " ";
      return result != ITEMS_ADDED::kStop;
    });
    pass.chunks = FakeApp().chunks;
    pass.out = FakeText(dialogue.out);
    pass.err = FakeText(dialogue.err);
    passes.push_back(pass);
  }
  EXPECT_EQ(passes[0].results, "0:0 1:0 2:0 3:0 4:1 5:0 6:0 7:0 8:0 9:2 ");
  EXPECT_EQ(passes[0].results, passes[1].results);
  EXPECT_EQ(passes[0].out, passes[1].out);
  EXPECT_NE(passes[0].out.find("can take some time"), std::string::npos);
  EXPECT_EQ(passes[0].err, passes[1].err);
  ASSERT_EQ(passes[0].chunks.size(), passes[1].chunks.size());
  for (std::size_t i = 0; i < passes[0].chunks.size(); ++i) {
    const FakeChunkRow& a = passes[0].chunks[i];
    const FakeChunkRow& b = passes[1].chunks[i];
    EXPECT_TRUE(a.item_number == b.item_number && a.data == b.data && a.compressed == '1') << i;
  }
  APP_ResetForTest();
  APPDB_ResetForTest();
}
}  // namespace
