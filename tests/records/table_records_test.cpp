// Tests of the table record modules KASPO, BLOBJ and Blobj_Data against a
// scripted engine: record layouts, the messages the modules send, the key
// draw of inserts, fills, the search list and the cursor walks.
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "engine/types/reply.h"
#include "records/blobj.h"
#include "records/blobj_data.h"
#include "records/kaspo.h"
#include "records/record_io.h"
#include "support/fake_engine.h"

namespace {

// An engine table of KASPO rows whose cursor, like the real one, keeps at
// most the connection's row maximum (and at most `memory_rows`, standing
// for the result memory limit).
struct FakeTable {
  int rows = 0;
  int max_rows = 30000;
  int memory_rows = 1 << 30;
  int declared = 0;
  int fetched = 0;
};

FakeTable& Table() {
  static FakeTable table;
  return table;
}

void ServeTable(int rows, int user_max) {
  Table() = FakeTable{rows, user_max};
  Fake().answers['T'] = [](const Message& m) {
    if (m.size() > 2 && m[1] == DBTK_INTVAL) {
      std::memcpy(&Table().max_rows, &m[2], 4);
      REPLY_Success();
      return;
    }
    ReplyRows('2', {{"Max-Results", DBTYPE_CHARACTER, 9}},
              {{TextCell(std::to_string(Table().max_rows))}});
  };
  Fake().answers['N'] = [](const Message&) {
    Table().declared = std::min({Table().rows, Table().max_rows, Table().memory_rows});
    Table().fetched = 0;
    REPLY_Count(Table().declared);
  };
  Fake().answers['C'] = [](const Message&) { ReplyNumber("COUNT(*)", Table().rows); };
  Fake().answers['O'] = [](const Message&) {
    std::vector<std::vector<std::string>> rows;
    if (Table().fetched < Table().declared) {
      const std::string id = std::to_string(Table().fetched++);
      rows.push_back(KaspoRow(id, "f" + id, "", 1, '0'));
    }
    ReplyRows('2', KaspoColumns(), rows);
  };
}

std::unique_ptr<KASPO> Item(const char* name, const char* description) {
  auto record = KASPO_New();
  std::strcpy(record->filename, name);
  std::strcpy(record->description, description);
  record->size = 1234;
  record->compressed = '1';
  return record;
}

using RecordsTest = FakeEngineTest;

TEST_F(RecordsTest, FreshRecordsAndDescriptors) {
  auto item = KASPO_New();
  EXPECT_EQ(item->header.size, 280);
  EXPECT_EQ(item->header.table_id, 1000);
  EXPECT_STREQ(item->kaspo_id, "        ");
  EXPECT_EQ(item->size, -2147483647);
  EXPECT_EQ(item->compressed, '0');
  auto chunk = BLOBJ_New();
  EXPECT_EQ(chunk->header.size, 4048);
  EXPECT_EQ(chunk->fk_table, -32768);
  EXPECT_EQ(chunk->item_number, -32768);
  EXPECT_EQ(chunk->compr_data.length, 0);
  EXPECT_EQ(chunk->compr_data.data[3999], ' ');
  EXPECT_EQ(Blobj_Data_New()->header.table_id, 101);
  EXPECT_STREQ(KASPO_Descriptor(),
               "1000,280|KASPO_Id,11,9,20|Filename,11,81,29|Description,11,161,110|"
               "Size,4,4,272|Compressed,1,1,276");
  EXPECT_STREQ(BLOBJ_Descriptor(),
               "100,4048|BLOBJ_Id,11,9,20|FK_Id,11,9,29|FK_Table,2,2,38|ItemNumber,2,2,40|"
               "ComprData,18,4002,42|Compressed,1,1,4045");
  EXPECT_STREQ(Blobj_Data_Descriptor(), "101,4024|BinData,18,4002,20");
}

TEST_F(RecordsTest, InsertsSendTypedValuesUnderFreshKeys) {
  auto record = Item("a.txt", "first");
  std::strcpy(record->kaspo_id, "given");
  ASSERT_TRUE(KASPO_Insert(record.get(), &handle_));
  const std::string first = record->kaspo_id;
  ASSERT_TRUE(KASPO_Insert(record.get(), &handle_));
  ASSERT_EQ(Letters(), "JDKJDK");
  const std::string second = record->kaspo_id;
  EXPECT_NE(first, "given");
  EXPECT_NE(first, second);
  Message expected = {'D', 'a', 6, 0, 'K', 'A', 'S', 'P', 'O', 0, '0', 9, 0};
  expected.insert(expected.end(), first.begin(), first.end());
  const unsigned char rest[] = {0,   '0', 6,    0,    'a', '.', 't', 'x', 't', 0,
                                '0', 6,   0,    'f',  'i', 'r', 's', 't', 0,   '2',
                                4,   0,   0xD2, 0x04, 0,   0,   '0', 1,   0,   '1'};
  expected.insert(expected.end(), std::begin(rest), std::end(rest));
  EXPECT_EQ(Fake().messages[1], expected);
  EXPECT_EQ(Fake().messages[4].size(), expected.size());
}

TEST_F(RecordsTest, RejectedInsertsDrawNewKeysUpTo100Times) {
  static int rejections;
  rejections = 3;
  Fake().answers['D'] = [](const Message&) {
    if (rejections-- > 0) {
      REPLY_Error("(INSERT STD) Unique index violation");
    } else {
      REPLY_Success();
    }
  };
  auto chunk = BLOBJ_New();
  ASSERT_TRUE(BLOBJ_Insert(chunk.get(), &handle_));
  EXPECT_EQ(Letters(), "JDDDDK");
  std::set<Message> keys(Fake().messages.begin() + 1, Fake().messages.begin() + 5);
  EXPECT_EQ(keys.size(), 4u);  // the same row under four keys
  rejections = 1000;
  Fake().messages.clear();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(BLOBJ_Insert(chunk.get(), &handle_));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "BLOBJ_Insert: Insert not possible (100 tries)\n");
  EXPECT_EQ(Letters(), "J" + std::string(RECIO_INSERTTRIES, 'D') + "K");
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
}

TEST_F(RecordsTest, SelectFillsFromExactlyOneRow) {
  static std::vector<std::vector<std::string>> rows;
  Fake().answers['C'] = [](const Message&) { ReplyRows('2', KaspoColumns(), rows); };
  auto record = KASPO_New();
  std::strcpy(record->kaspo_id, "k'1");
  rows = {KaspoRow("k'1     ", "name", "text", 42, 1)};  // a stored 1 reads as '1'
  ASSERT_TRUE(KASPO_Select(record.get(), &handle_));
  EXPECT_EQ(Fake().messages[1], ParsedMessage("SELECT * FROM kaspo WHERE KASPO_Id='k\\'1'"));
  EXPECT_STREQ(record->filename, "name");
  EXPECT_EQ(record->size, 42);
  EXPECT_EQ(record->compressed, '1');
  testing::internal::CaptureStderr();
  rows = {};
  EXPECT_FALSE(KASPO_Select(record.get(), &handle_));  // silently: the end of a cursor
  rows = {KaspoRow("a", "", "", 0, '0'), KaspoRow("b", "", "", 0, '0')};
  EXPECT_FALSE(KASPO_Select(record.get(), &handle_));
  auto columns = KaspoColumns();
  columns[1].size = 200;  // a FILENAME too wide for the record
  ReplyRows('2', columns, {KaspoRow("a", std::string(150, 'x'), "", 0, '0')});
  DBRESULT wide;
  RESDATA_Init(&wide.data);
  DBCLIENT_ParseReply(REPLY_Data(), REPLY_Length(), &wide);
  EXPECT_FALSE(KASPO_Fill(record.get(), &wide, -1, MYDB_TUPLES_OK, &handle_));
  EXPECT_FALSE(KASPO_Fill(record.get(), &wide, -1, MYDB_TUPLES_PARTIAL, &handle_));
  RESDATA_Free(&wide.data);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "KASPO_Fill: None or more than one resulttuple!\n"
            "KASPO_Fill: Result does not match the record!\n"
            "KASPO_Fill: Status is not DB_TUPLES_OK!\n");
  EXPECT_STREQ(record->filename, "name");
}

TEST_F(RecordsTest, SearchReadsEverythingBeforeHandingOut) {
  static std::vector<std::vector<std::string>> rows;
  static char code = '2';
  ServeTable(0, 30000);
  Fake().answers['C'] = [](const Message&) { ReplyRows(code, KaspoColumns(), rows); };
  auto pattern = Item("%a%", "%b%");
  ASSERT_TRUE(KASPO_Select_Search(pattern.get(), &handle_));
  EXPECT_EQ(Letters(), "TTCT");  // MAX read, raised, the query, MAX put back
  EXPECT_EQ(Fake().messages[2],
            ParsedMessage("SELECT * FROM KASPO WHERE FILENAME LIKE '%a%' OR KASPO_ID IN (SELECT "
                          "KASPO_ID FROM KASPO WHERE DESCRIPTION LIKE '%b%') ORDER BY FILENAME"));
  EXPECT_FALSE(KASPO_Select_Search_Next(pattern.get(), &handle_));
  EXPECT_EQ(Table().max_rows, 30000);
  rows = {KaspoRow("1", "a", "", 1, '0'), KaspoRow("2", "b", "", 2, '0')};
  ASSERT_TRUE(KASPO_Select_Search(pattern.get(), &handle_));
  rows = {};  // the engine's later state does not matter any more
  auto found = KASPO_New();
  ASSERT_TRUE(KASPO_Select_Search_Next(found.get(), &handle_));
  EXPECT_STREQ(found->filename, "a");
  ASSERT_TRUE(KASPO_Select_Search_Next(found.get(), &handle_));
  EXPECT_STREQ(found->filename, "b");
  EXPECT_FALSE(KASPO_Select_Search_Next(found.get(), &handle_));
  code = '4';  // still cut short with the maximum raised: the memory limit
  EXPECT_FALSE(KASPO_Select_Search(pattern.get(), &handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "(KASPO) Not all rows could be read!\n");
}

TEST_F(RecordsTest, WalkSeesEveryRowPastTheRowMaximum) {
  for (int user_max : {30000, 10}) {
    SCOPED_TRACE(user_max);
    ServeTable(40000, user_max);
    ASSERT_TRUE(DB_Begin(&handle_));
    auto record = KASPO_New();
    ASSERT_TRUE(KASPO_Select_Seq(record.get(), &handle_));
    EXPECT_EQ(Table().max_rows, user_max);
    int n = 0;
    while (KASPO_Fetch_Seq(record.get(), &handle_)) ++n;
    EXPECT_EQ(n, 40000);
    EXPECT_STREQ(record->filename, "f39999");
    EXPECT_EQ(Fake().messages.back(), ParsedMessage("CLOSE KASPO_SELECT_SEQ"));
    EXPECT_EQ(DBHANDLE_ErrorText(), "");  // the end, not an error
    ASSERT_TRUE(DB_Commit(&handle_));
  }
  Fake().answers['O'] = [](const Message&) {
    REPLY_Error("(FETCH) Cursor 'KASPO_SELECT_SEQ' not found for Conn_Id 1\n");
  };
  auto record = KASPO_New();
  EXPECT_FALSE(KASPO_Fetch_Seq(record.get(), &handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BAD RESPONSE to dbexec1 command.\n"
            "Error: (FETCH) Cursor 'KASPO_SELECT_SEQ' not found for Conn_Id 1\n");
}

TEST_F(RecordsTest, WalkThatCannotSeeEveryRowFails) {
  ServeTable(5000, 30000);
  Table().memory_rows = 4000;
  auto chunk = BLOBJ_New();
  std::strcpy(chunk->fk_id, "item1");
  chunk->fk_table = 1000;
  // Without a transaction of the caller the cursor would die at once.
  EXPECT_FALSE(BLOBJ_Select_FK(chunk.get(), &handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "(BLOBJ_CUR_FK) Cursor needs an open transaction!\n");
  EXPECT_EQ(Letters(), "JK");
  ASSERT_TRUE(DB_Begin(&handle_));
  EXPECT_FALSE(BLOBJ_Select_FK(chunk.get(), &handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "(BLOBJ_CUR_FK) Not all rows could be read (4000 of 5000)!\n");
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("CLOSE BLOBJ_CUR_FK"));
  EXPECT_EQ(Table().max_rows, 30000);
  EXPECT_EQ(Fake().messages[5], ParsedMessage("DECLARE BLOBJ_CUR_FK CURSOR FOR SELECT * FROM "
                                              "BLOBJ WHERE FK_ID = 'item1' AND FK_TABLE = 1000"));
  ASSERT_TRUE(DB_Commit(&handle_));
}

TEST_F(RecordsTest, DoDispatchesOnTheIdbCode) {
  struct Case {
    int idb;
    int ok;
    const char* letters;
    const char* err;
  };
  const Case cases[] = {
      {0, 1, "", ""},
      {2, 0, "", ""},
      {3, 0, "", "KASPO_Do: 'iDB'-code unknown!\n"},
      {4, 0, "", "KASPO_Do: 'iDB'-code unknown!\n"},
      {5, 1, "JDK", ""},
      {6, 1, "JHK", ""},
      {7, 1, "JGK", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.idb);
    Fake().messages.clear();
    auto record = KASPO_New();
    record->header.idb = c.idb;
    testing::internal::CaptureStderr();
    EXPECT_EQ(KASPO_Do(record.get(), &handle_), c.ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ(Letters(), c.letters);
  }
}

// The statements each call of a keyed module sends between its BEGIN and
// END (MAX left out): every module names its own table, key and cursors.
TEST_F(RecordsTest, KeyedCallsNameTheirOwnTableKeyAndCursors) {
  struct Case {
    std::function<int()> run;
    int ok;
    std::vector<const char*> sql;
    const char* err;
  };
  auto item = Item("n", "d");
  std::strcpy(item->kaspo_id, "key1");
  auto chunk = BLOBJ_New();
  std::strcpy(chunk->blobj_id, "c'1");
  DBHANDLE* h = &handle_;
  int count = 0;
  const auto in_transaction = [h](const std::function<int()>& call) {
    const int ok = DB_Begin(h) && call();
    return DB_Commit(h) && ok;
  };
  const Case cases[] = {
      {[&] { return KASPO_Delete(item.get(), h); },
       1,
       {"DELETE FROM kaspo WHERE KASPO_Id='key1'"},
       ""},
      {[&] { return BLOBJ_Delete(chunk.get(), h); },
       1,
       {"DELETE FROM blobj WHERE BLOBJ_Id='c\\'1'"},
       ""},
      {[&] { return BLOBJ_Select(chunk.get(), h); },
       0,
       {"SELECT * FROM blobj WHERE BLOBJ_Id='c\\'1'"},
       "BLOBJ_Fill: Result does not match the record!\n"},
      {[&] { return KASPO_Cur_Count(&count, h) && count == 3; },
       1,
       {"DECLARE KASPO_Cur_Count CURSOR FOR SELECT COUNT(*) FROM KASPO",
        "FETCH ALL in KASPO_Cur_Count", "CLOSE KASPO_Cur_Count"},
       ""},
      {[&] { return BLOBJ_Cur_Count(&count, h) && count == 3; },
       1,
       {"DECLARE BLOBJ_Cur_Count CURSOR FOR SELECT COUNT(*) FROM BLOBJ",
        "FETCH ALL in BLOBJ_Cur_Count", "CLOSE BLOBJ_Cur_Count"},
       ""},
      {[&] { return in_transaction([&] { return KASPO_Select_Seq(item.get(), h); }); },
       1,
       {"DECLARE KASPO_SELECT_SEQ CURSOR FOR SELECT * FROM KASPO", "SELECT COUNT(*) FROM KASPO"},
       ""},
      {[&] { return in_transaction([&] { return BLOBJ_Select_Seq(chunk.get(), h); }); },
       1,
       {"DECLARE BLOBJ_SELECT_SEQ CURSOR FOR SELECT * FROM BLOBJ", "SELECT COUNT(*) FROM BLOBJ"},
       ""},
      {[&] { return BLOBJ_Fetch_Seq(chunk.get(), h); },
       0,
       {"FETCH in BLOBJ_SELECT_SEQ", "CLOSE BLOBJ_SELECT_SEQ"},
       "BLOBJ_Fill: Result does not match the record!\n"},
  };
  ServeTable(3, 30000);
  Fake().answers['O'] = [](const Message&) { ReplyNumber("COUNT(*)", 3); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql[0]);
    Fake().messages.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.run(), c.ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    std::vector<Message> sent;
    for (const Message& m : Fake().messages) {
      if (std::string("JKT").find(static_cast<char>(m[0])) == std::string::npos) sent.push_back(m);
    }
    std::vector<Message> expected;
    for (const char* sql : c.sql) expected.push_back(ParsedMessage(sql));
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
  }
}

TEST_F(RecordsTest, UpdateAndDeletesNameTheirRows) {
  auto record = Item("n", "d");
  std::strcpy(record->kaspo_id, "key1");
  ASSERT_TRUE(KASPO_Update(record.get(), &handle_));
  const Message update = Fake().messages[1];
  std::string where = "WHERE KASPO_Id='key1'";
  DBquery_reset();
  ASSERT_TRUE(DBquery_addwhere(where.data(), nullptr));
  const Message tail(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
  ASSERT_EQ(update[0], 'H');
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), update.end() - static_cast<long>(tail.size())));
  ASSERT_TRUE(BLOBJ_Delete_All(&handle_));
  EXPECT_EQ(Fake().messages[4], (Message{'F', 'a', 6, 0, 'B', 'L', 'O', 'B', 'J', 0}));
  Fake().answers['G'] = [](const Message&) { REPLY_Count(0); };
  auto chunk = BLOBJ_New();
  std::strcpy(chunk->fk_id, "none");
  chunk->fk_table = 1000;
  int count = -1;
  ASSERT_TRUE(BLOBJ_Delete_FK(chunk.get(), &count, &handle_));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Fake().messages[7], ParsedMessage("DELETE FROM BLOBJ WHERE FK_ID = 'none' AND "
                                              "FK_TABLE = 1000"));
}

TEST_F(RecordsTest, KeysCompareWithoutTrailingBlanks) {
  auto a = Item("a.txt", "some text");
  auto b = KASPO_New();
  std::strcpy(a->kaspo_id, "ab  ");
  std::strcpy(b->kaspo_id, "ab c");
  EXPECT_FALSE(KASPO_CmpPk(a.get(), b.get()));
  KASPO_CopyPk(b.get(), a.get());
  EXPECT_STREQ(b->kaspo_id, "ab");
  EXPECT_TRUE(KASPO_CmpPk(a.get(), b.get()));
  EXPECT_EXIT(KASPO_CmpLk(a.get(), b.get()), testing::ExitedWithCode(1),
              "KASPO_CmpLk: No logical key!");
  auto data = Blobj_Data_New();
  EXPECT_EXIT(Blobj_Data_CmpPk(data.get(), data.get()), testing::ExitedWithCode(1),
              "Blobj_Data_CmpPk: No primary key!");
  EXPECT_EXIT(Blobj_Data_CmpLk(data.get(), data.get()), testing::ExitedWithCode(1),
              "Blobj_Data_CmpLk: No logical key!");
  auto chunk = BLOBJ_New();
  EXPECT_EXIT(BLOBJ_CmpLk(chunk.get(), chunk.get()), testing::ExitedWithCode(1),
              "BLOBJ_CmpLk: No logical key!");
}

}  // namespace
