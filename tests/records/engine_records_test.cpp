// The record modules against the real engine. Every process that started
// the engine ends through its exit handling with status 1, so each case
// runs in a child process and reports what it saw on standard error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client/value_strings.h"
#include "engine/catalog/startup.h"
#include "platform/process.h"
#include "platform/report.h"
#include "records/blobj.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"
#include "support/scratch_dir.h"

namespace {

constexpr char kKaspoTable[] =
    "CREATE TABLE KASPO (  KASPO_ID CHARACTER(8),  FILENAME CHARACTER(80),  DESCRIPTION "
    "CHARACTER(160),  SIZE INTEGER,  COMPRESSED CHARACTER(1));";
constexpr char kKaspoIndex[] = "CREATE UNIQUE INDEX XKASPO01 ON KASPO (  KASPO_ID);";
constexpr char kBlobjTable[] =
    "CREATE TABLE BLOBJ (  BLOBJ_ID CHARACTER(8),  FK_ID CHARACTER(8),  FK_TABLE SMALLINT,  "
    "ITEMNUMBER SMALLINT,  COMPRDATA BINARY(4000),  COMPRESSED CHARACTER(1));";
constexpr char kBlobjIndex[] = "CREATE UNIQUE INDEX XBLOBJ01 ON BLOBJ (  BLOBJ_ID);";

// Starts the engine below `home` with the application's tables.
DBHANDLE* StartEngine(const std::string& home) {
  setenv("TARVIC_PATH", home.c_str(), 1);
  static DBHANDLE handle;
  if (!Tarvic1_Init("", "KASPODB")) PLATFORM_QuickExit(3);
  DBHANDLE_SetErrorMode(DBERR_COLLECTING);
  if (!DBHANDLE_Init(&handle, "KASPODB") || !DB_Create_Table(&handle, kKaspoTable) ||
      !DB_Create_Index(&handle, kKaspoIndex) || !DB_Create_Table(&handle, kBlobjTable) ||
      !DB_Create_Index(&handle, kBlobjIndex)) {
    dberror_print();
    PLATFORM_QuickExit(4);
  }
  return &handle;
}

// A text field as the engine fills it (blank-padded), without the blanks.
std::string Trimmed(const char* field) {
  std::string text = field;
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

int MaxRows(DBHANDLE* handle) {
  MYDB_RESULT result;
  int status = 0;
  int value = -1;
  if (!dbexec1(handle, "MAX", &result, &status) ||
      !dbfill_count(handle, result.get(), status, &value)) {
    return -1;
  }
  return value;
}

// 40000 chunks of one item (more than the default row maximum of 30000
// and the MAX the user set), 150 items; the walks must see them all and
// leave the user's maximum as it was.
void WalkPastTheRowMaximum(const std::string& home) {
  DBHANDLE* h = StartEngine(home);
  MYDB_RESULT result;
  int status = 0;
  if (!dbexec1(h, "MAX 100", &result, &status) || !DB_Begin(h)) PLATFORM_QuickExit(5);
  auto chunk = BLOBJ_New();
  std::strcpy(chunk->fk_id, "item");
  chunk->fk_table = 1000;
  chunk->compr_data.length = 1;
  for (int i = 0; i < 40000; ++i) {
    chunk->item_number = static_cast<int16_t>(i % 30000);
    std::snprintf(chunk->blobj_id, sizeof chunk->blobj_id, "%07d", i);
    if (!BLOBJ_Load_Insert(chunk.get(), h)) PLATFORM_QuickExit(6);
  }
  auto item = KASPO_New();
  for (int i = 0; i < 150; ++i) {
    std::snprintf(item->filename, sizeof item->filename, "file%03d", i);
    if (!KASPO_Insert(item.get(), h)) PLATFORM_QuickExit(7);
  }
  int seq = 0;
  int fk = 0;
  int found = 0;
  if (BLOBJ_Select_Seq(chunk.get(), h)) {
    while (BLOBJ_Fetch_Seq(chunk.get(), h)) ++seq;
  }
  if (BLOBJ_Select_FK(chunk.get(), h)) {
    while (BLOBJ_Fetch_FK(chunk.get(), h)) ++fk;
  }
  std::strcpy(item->filename, "%");
  std::strcpy(item->description, "%");
  if (KASPO_Select_Search(item.get(), h)) {
    while (KASPO_Select_Search_Next(item.get(), h)) ++found;
  }
  const int ended = DB_Commit(h);
  DBreport("[seq %d fk %d search %d max %d last %s commit %d]\n", seq, fk, found, MaxRows(h),
           Trimmed(item->filename).c_str(), ended);
  PLATFORM_Exit(0);
}

// Two inserts, a search without result, and a fetch past the last row.
void RecordCallsAgainstTheEngine(const std::string& home) {
  DBHANDLE* h = StartEngine(home);
  auto item = KASPO_New();
  std::strcpy(item->filename, "a.txt");
  const int first = KASPO_Insert(item.get(), h);
  const std::string key1 = item->kaspo_id;
  const int second = KASPO_Insert(item.get(), h);
  const std::string key2 = item->kaspo_id;
  auto probe = KASPO_New();
  std::strcpy(probe->kaspo_id, key2.c_str());
  const int selected = KASPO_Select(probe.get(), h);
  std::strcpy(probe->filename, "nothing%");
  std::strcpy(probe->description, "nothing%");
  const int searched = KASPO_Select_Search(probe.get(), h);
  const int next = KASPO_Select_Search_Next(probe.get(), h);
  int fetched = 0;
  if (!DB_Begin(h) || !KASPO_Select_Seq(probe.get(), h)) PLATFORM_QuickExit(5);
  while (KASPO_Fetch_Seq(probe.get(), h)) ++fetched;
  const int again = KASPO_Fetch_Seq(probe.get(), h);
  const std::string after = DBHANDLE_ErrorText();
  const int committed = DB_Commit(h);
  int count = -1;
  const int counted = KASPO_Cur_Count(&count, h);
  DBreport("[insert %d %d differ %d select %d name %s search %d next %d fetched %d again %d "
           "commit %d count %d %d]\n%s",
           first, second, key1 != key2, selected, Trimmed(probe->filename).c_str(), searched,
           next, fetched,
           again, committed, counted, count, after.c_str());
  PLATFORM_Exit(0);
}

TEST(RecordsWithEngine, WalksSeeEveryRowPastTheRowMaximum) {
  ScratchDir home;
  EXPECT_EXIT(WalkPastTheRowMaximum(home.path()), testing::ExitedWithCode(1),
              "\\[seq 40000 fk 40000 search 150 max 100 last file149 commit 1\\]");
}

TEST(RecordsWithEngine, RecordCallsRoundTrip) {
  ScratchDir home;
  EXPECT_EXIT(RecordCallsAgainstTheEngine(home.path()), testing::ExitedWithCode(1),
              "\\[insert 1 1 differ 1 select 1 name a.txt search 1 next 0 fetched 2 again 0 "
              "commit 1 count 1 2\\]\nBAD RESPONSE to dbexec1 command.\nError: \\(FETCH\\) "
              "Cursor 'KASPO_SELECT_SEQ' not found");
}

}  // namespace
