// The record modules against the real engine. Every process that started
// the engine ends through its exit handling with status 1, so each case
// runs in a child process and reports what it saw on standard error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/value_strings.h"
#include "platform/process.h"
#include "platform/report.h"
#include "records/blobj.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"
#include "support/engine_fixture.h"

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
  DBHANDLE_ResetForTest();
  KASPO_ResetForTest();
  StartEngineInChild(home, "", "KASPODB");
  static DBHANDLE handle;
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

// Two inserts of one item (the unique index must see two keys), a select
// by key, a search that finds nothing, and a fetch past the last row.
std::string RecordCalls(DBHANDLE* h) {
  auto item = KASPO_New();
  std::strcpy(item->filename, "a.txt");
  const int inserted = KASPO_Insert(item.get(), h) && KASPO_Insert(item.get(), h);
  auto probe = KASPO_New();
  std::strcpy(probe->kaspo_id, item->kaspo_id);
  const int selected = KASPO_Select(probe.get(), h);
  std::strcpy(probe->filename, "nothing%");
  std::strcpy(probe->description, "nothing%");
  const int searched =
      KASPO_Select_Search(probe.get(), h) && !KASPO_Select_Search_Next(probe.get(), h);
  int fetched = 0;
  if (!DB_Begin(h) || !KASPO_Select_Seq(probe.get(), h)) PLATFORM_QuickExit(5);
  while (KASPO_Fetch_Seq(probe.get(), h)) ++fetched;
  const int again = KASPO_Fetch_Seq(probe.get(), h);
  const std::string after = DBHANDLE_ErrorText();
  // The whole walk in one request, then its cursor is closed: a second
  // open of the same cursor must succeed.
  std::vector<KASPO> all;
  int whole = 0;
  for (int round = 0; round < 2; ++round) {
    whole += KASPO_Select_Seq(probe.get(), h) && KASPO_Fetch_Seq_All(h, &all);
  }
  int count = -1;
  const int counted = DB_Commit(h) && KASPO_Cur_Count(&count, h);
  return "[insert " + std::to_string(inserted) + " select " + std::to_string(selected) + " " +
         Trimmed(probe->filename) + " search " + std::to_string(searched) + " fetched " +
         std::to_string(fetched) + " again " + std::to_string(again) + " all " +
         std::to_string(whole) + " " + std::to_string(all.size()) + " count " +
         std::to_string(counted) + " " + std::to_string(count) + "]\n" + after;
}

// 40000 chunks of one item (more than the default row maximum of 30000
// and the MAX the user set), loaded one alone and the rest in batches of
// many messages, past both resizes of the unique index; 150 items. The
// walks must see them all and leave the user's maximum as it was, and
// the index must find the first and the last chunk.
std::string Walks(DBHANDLE* h) {
  MYDB_RESULT result;
  int status = 0;
  if (!dbexec1(h, "MAX 100", &result, &status) || !DB_Begin(h)) PLATFORM_QuickExit(5);
  auto chunk = BLOBJ_New();
  std::strcpy(chunk->fk_id, "item");
  chunk->fk_table = 1000;
  chunk->compr_data.length = 1;
  if (!BLOBJ_Load_Insert(chunk.get(), h)) PLATFORM_QuickExit(6);  // key "", chunk 0
  std::vector<BLOBJ> batch(1000, *chunk);
  std::vector<const unsigned char*> records;
  for (const BLOBJ& b : batch) records.push_back(reinterpret_cast<const unsigned char*>(&b));
  for (int i = 1; i < 40000; i += 1000) {
    for (int k = 0; k < 1000; ++k) {
      std::snprintf(batch[k].blobj_id, sizeof chunk->blobj_id, "%07d", i + k);
    }
    const size_t n = std::min<size_t>(1000, 40000 - i);
    if (!BLOBJ_Load_Batch({records.data(), n}, h)) PLATFORM_QuickExit(6);
  }
  int keyed = 0;
  for (const char* key : {"0000001", "0039999"}) {
    std::strcpy(chunk->blobj_id, key);
    keyed += BLOBJ_Select(chunk.get(), h) && Trimmed(chunk->blobj_id) == key;
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
  return "[keyed " + std::to_string(keyed) + " seq " + std::to_string(seq) + " fk " +
         std::to_string(fk) + " search " + std::to_string(found) + " max " +
         std::to_string(MaxRows(h)) + " last " + Trimmed(item->filename) + " commit " +
         std::to_string(ended) + "]\n";
}

void RunScenarios(const std::string& home) {
  DBHANDLE* h = StartEngine(home);
  const std::string calls = RecordCalls(h);
  DBreport("%s%s", calls.c_str(), Walks(h).c_str());
  PLATFORM_Exit(0);
}

TEST(RecordsWithEngine, RecordCallsAndWalksSeeEveryRow) {
  ScratchDir home;
  EXPECT_EXIT(RunScenarios(home.path()), testing::ExitedWithCode(1),
              "\\[insert 1 select 1 a.txt search 1 fetched 2 again 0 all 2 2 count 1 2\\]\n"
              "BAD RESPONSE to dbexec1 command.\nError: \\(FETCH\\) Cursor "
              "'KASPO_SELECT_SEQ' not found for Conn_Id [0-9]+\n"
              "\\[keyed 2 seq 40000 fk 40000 search 152 max 100 last file149 commit 1\\]");
}

}  // namespace
