// Catalogue: row layouts, limits, compaction and the statement preamble.
#include "engine/catalog/catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/types/values.h"
#include "engine/types/wire.h"

namespace {

class CatalogTest : public testing::Test {
 protected:
  void SetUp() override { CATALOG_ResetForTest(); }
  void TearDown() override { CATALOG_ResetForTest(); }
};

struct Column {
  const char* name;
  unsigned char type;
  int n;
  int offset;  // expected
};

void CheckLayout(const std::vector<Column>& columns, int row_size) {
  DBDATABASE* db = nullptr;
  ASSERT_TRUE(CATALOG_NewDatabase("KASPODB", &db));
  CATALOG_CountDatabase();
  DBTABLE* table = CATALOG_NewTable(db, "TABLE1");
  int running = 0;
  for (const Column& c : columns) {
    DBATTRIB* attrib = nullptr;
    ASSERT_TRUE(CATALOG_AddAttrib(table, c.name, c.type, c.n, '0', &running, &attrib));
    EXPECT_EQ(attrib->offset, c.offset) << c.name;
  }
  CATALOG_SetRowSize(table, running);
  EXPECT_EQ(table->rows.row_size, row_size);
}

TEST_F(CatalogTest, LaysOutTheItemTable) {
  CheckLayout({{"KASPO_ID", DBTYPE_CHARACTER, 8, 0},
               {"FILENAME", DBTYPE_CHARACTER, 80, 9},
               {"DESCRIPTION", DBTYPE_CHARACTER, 160, 90},
               {"SIZE", DBTYPE_INTEGER, 0, 252},
               {"COMPRESSED", DBTYPE_CHARACTER, 1, 256}},
              258);
}

TEST_F(CatalogTest, LaysOutTheChunkTable) {
  CheckLayout({{"BLOBJ_ID", DBTYPE_CHARACTER, 8, 0},
               {"FK_ID", DBTYPE_CHARACTER, 8, 9},
               {"FK_TABLE", DBTYPE_SMALLINT, 0, 20},
               {"ITEMNUMBER", DBTYPE_SMALLINT, 0, 24},
               {"COMPRDATA", DBTYPE_BINARY, 4000, 26},
               {"COMPRESSED", DBTYPE_CHARACTER, 1, 4028}},
              4030);
}

TEST_F(CatalogTest, RefusesAnUnknownTypeWithoutAddingTheAttribute) {
  DBDATABASE* db = nullptr;
  ASSERT_TRUE(CATALOG_NewDatabase("DB", &db));
  DBTABLE* table = CATALOG_NewTable(db, "T1");
  int running = 3;
  DBATTRIB* attrib = nullptr;
  EXPECT_FALSE(CATALOG_AddAttrib(table, "XX", '9', 0, '0', &running, &attrib));
  EXPECT_EQ(running, 3);
  EXPECT_EQ(IDXARRAY_Count(table->attribs), 0);
}

TEST_F(CatalogTest, AcceptsTheFifteenthConnectionAndRefusesTheSixteenth) {
  std::string error;
  for (int i = 0; i < DB_MAXCONNS; ++i) {
    ASSERT_TRUE(CATALOG_ConnRoom("CONNECT", &error));
    int slot = -1;
    ASSERT_TRUE(CATALOG_AddConn(100 + i, -1, &slot));
    EXPECT_EQ(slot, i);
  }
  EXPECT_FALSE(CATALOG_ConnRoom("CONNECT", &error));
  EXPECT_EQ(error, "(CONNECT) No more connections available (DB_MAXCONNS = 15)!");
  EXPECT_FALSE(CATALOG_ConnRoom("CREATE DATABASE", &error));
  EXPECT_EQ(error, "(CREATE DATABASE) No more connections available (DB_MAXCONNS = 15)!");
  int slot = -1;
  EXPECT_FALSE(CATALOG_AddConn(999, -1, &slot));
  EXPECT_EQ(CATALOG_Engine().conn_count, DB_MAXCONNS);
}

TEST_F(CatalogTest, AcceptsTheFifteenthDatabaseAndRefusesTheSixteenth) {
  std::string error;
  for (int i = 0; i < DB_MAXDBS; ++i) {
    ASSERT_TRUE(CATALOG_DbRoom(&error));
    DBDATABASE* db = nullptr;
    ASSERT_TRUE(CATALOG_NewDatabase("DB" + std::to_string(i), &db));
    CATALOG_CountDatabase();
  }
  EXPECT_FALSE(CATALOG_DbRoom(&error));
  EXPECT_EQ(error, "(CREATE DATABASE) No more databases available (DB_MAXDBS = 15)!");
  DBDATABASE* db = nullptr;
  EXPECT_FALSE(CATALOG_NewDatabase("DB15", &db));
  int pos = -1;
  EXPECT_TRUE(CATALOG_FindDatabase("DB14", &pos));
  EXPECT_EQ(pos, 14);
  EXPECT_FALSE(CATALOG_FindDatabase("db14", &pos));
  EXPECT_EQ(pos, DB_MAXDBS);
}

TEST_F(CatalogTest, AnUncountedDatabaseDoesNotExist) {
  DBDATABASE* db = nullptr;
  ASSERT_TRUE(CATALOG_NewDatabase("HALF", &db));
  (void)CATALOG_NewTable(db, "T1");
  CATALOG_DiscardDatabase();
  int pos = -1;
  EXPECT_FALSE(CATALOG_FindDatabase("HALF", &pos));
  EXPECT_EQ(pos, 0);
}

TEST_F(CatalogTest, DroppingATableKeepsTheOthersPositions) {
  DBDATABASE* db = nullptr;
  ASSERT_TRUE(CATALOG_NewDatabase("DB", &db));
  const char* names[] = {"T1", "T2", "T3"};
  for (const char* name : names) {
    DBTABLE* table = CATALOG_NewTable(db, name);
    int running = 0;
    DBATTRIB* attrib = nullptr;
    ASSERT_TRUE(CATALOG_AddAttrib(table, "A1", DBTYPE_INTEGER, 0, '0', &running, &attrib));
  }
  DBTABLE* t2 = nullptr;
  int pos = -1;
  ASSERT_TRUE(CATALOG_FindTable(db, "T2", &t2, &pos));
  CATALOG_DropTable(db, pos);
  EXPECT_FALSE(CATALOG_FindTable(db, "T2", &t2, &pos));
  EXPECT_EQ(CATALOG_Table(db, 1), nullptr);

  for (int expected : {0, 2}) {
    DBTABLE* table = nullptr;
    ASSERT_TRUE(CATALOG_FindTable(db, names[expected], &table, &pos));
    EXPECT_EQ(pos, expected);
    DBATTRIB* attrib = nullptr;
    ASSERT_TRUE(CATALOG_FindAttrib(table, "A1", &attrib, nullptr));
    EXPECT_EQ(CATALOG_Table(db, attrib->table_pos), table);
  }
  // A new table takes a new position, never the dropped one.
  EXPECT_EQ(CATALOG_NewTable(db, "T4")->position, 3);
}

TEST_F(CatalogTest, DroppingADatabaseMovesTheLastIntoItsSlot) {
  DBDATABASE* db = nullptr;
  for (const char* name : {"A1", "B1"}) {
    ASSERT_TRUE(CATALOG_NewDatabase(name, &db));
    CATALOG_CountDatabase();
  }
  (void)CATALOG_NewTable(db, "TB");
  int slot = -1;
  ASSERT_TRUE(CATALOG_AddConn(1, 0, &slot));
  ASSERT_TRUE(CATALOG_AddConn(2, 1, &slot));

  CATALOG_RemoveDatabase(0);
  ENGINE& engine = CATALOG_Engine();
  EXPECT_EQ(engine.db_count, 1);
  EXPECT_STREQ(engine.dbs[0].name, "B1");
  DBTABLE* table = nullptr;
  EXPECT_TRUE(CATALOG_FindTable(&engine.dbs[0], "TB", &table, nullptr));
  EXPECT_EQ(CATALOG_Conn(2)->database, 0);
}

TEST_F(CatalogTest, RemovingAConnectionMovesTheLastIntoItsSlot) {
  int slot = -1;
  for (int id : {7, 8, 9}) ASSERT_TRUE(CATALOG_AddConn(id, -1, &slot));
  CATALOG_Engine().conns[0].cursors[3].fetch_pos = 42;
  CATALOG_RemoveConn(0);
  ENGINE& engine = CATALOG_Engine();
  EXPECT_EQ(engine.conn_count, 2);
  EXPECT_EQ(engine.conns[0].conn_id, 9);
  EXPECT_EQ(engine.conns[1].conn_id, 8);
  EXPECT_FALSE(CATALOG_FindConn(7, &slot));
  EXPECT_EQ(slot, 2);
  // The removed record's cursor state moved out of use, not into slot 0.
  EXPECT_NE(engine.conns[0].cursors[3].fetch_pos, 42);
}

TEST_F(CatalogTest, TheFirstSlotOfAConnIdWins) {
  int slot = -1;
  ASSERT_TRUE(CATALOG_AddConn(5, -1, &slot));
  ASSERT_TRUE(CATALOG_AddConn(5, -1, &slot));
  ASSERT_TRUE(CATALOG_FindConn(5, &slot));
  EXPECT_EQ(slot, 0);
}

std::string ReplyText() {
  // '0' 'b' u16 length, text, zero
  return std::string(reinterpret_cast<const char*>(REPLY_Data()) + 4);
}

TEST_F(CatalogTest, PreambleNamesTheStatementInItsMessages) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  REPLY_Reset();
  EXPECT_FALSE(CATALOG_Preamble("CREATE TABLE", 4, &conn, &db));
  EXPECT_EQ(ReplyText(), "(CREATE TABLE) Conn_Id 4 not found\n");

  int slot = -1;
  ASSERT_TRUE(CATALOG_AddConn(4, -1, &slot));
  REPLY_Reset();
  EXPECT_FALSE(CATALOG_Preamble("SHOW INDICES", 4, &conn, &db));
  EXPECT_EQ(ReplyText(), "(SHOW INDICES) No database selected for Conn_Id 4\n");

  ASSERT_TRUE(CATALOG_NewDatabase("DB", &db));
  CATALOG_CountDatabase();
  CATALOG_Engine().conns[slot].database = 0;
  REPLY_Reset();
  EXPECT_TRUE(CATALOG_Preamble("SHOW INDICES", 4, &conn, &db));
  EXPECT_EQ(REPLY_Length(), 0);
  EXPECT_EQ(db, &CATALOG_Engine().dbs[0]);
}

}  // namespace

namespace {

TEST_F(CatalogTest, ValueListsLiveWhileAnIndexUsesTheAttribute) {
  DBDATABASE* db = nullptr;
  ASSERT_TRUE(CATALOG_NewDatabase("DB", &db));
  CATALOG_CountDatabase();
  DBTABLE* table = CATALOG_NewTable(db, "T1");
  int running = 0;
  DBATTRIB* num = nullptr;
  ASSERT_TRUE(CATALOG_AddAttrib(table, "NUM", DBTYPE_INTEGER, 0, '0', &running, &num));
  CATALOG_SetRowSize(table, running);
  for (int value : {30, 10, 20}) {
    int slot = RowPool_NewSlot(&table->rows, 1);
    std::memcpy(RowPool_Data(&table->rows, slot), &value, 4);
  }
  // Two indexes on one attribute share one list, built from the rows.
  for (const char* name : {"I1", "I2"}) {
    (void)IDXARRAY_Add(&db->index_names, name, table);
    CATALOG_IndexAddAttrib(CATALOG_NewIndex(table, name, 0), num);
    CATALOG_UseValueList(table, num, 1);
  }
  ASSERT_NE(num->list, nullptr);
  EXPECT_EQ(num->index_count, 2);
  EXPECT_EQ(IDXLIST_Count(*num->list), 3);

  DBTABLE* owner = nullptr;
  DBINDEX* index = nullptr;
  int unique = -1;
  int pos = -1;
  ASSERT_TRUE(CATALOG_FindIndex(db, "I1", &owner, &index, &unique, &pos));
  EXPECT_EQ(owner, table);
  EXPECT_EQ(unique, 0);
  CATALOG_DropIndex(table, pos, unique);
  EXPECT_NE(num->list, nullptr);
  ASSERT_TRUE(CATALOG_FindIndex(db, "I2", &owner, &index, &unique, &pos));
  CATALOG_DropIndex(table, pos, unique);
  EXPECT_EQ(num->list, nullptr);
  EXPECT_EQ(num->index_count, 0);

  // A new index builds a new list from the rows.
  CATALOG_IndexAddAttrib(CATALOG_NewIndex(table, "I3", 0), num);
  CATALOG_UseValueList(table, num, 1);
  std::vector<int> rows;
  IDXLIST_Rows(*num->list, &rows);
  std::vector<int> values;
  for (int row : rows) {
    int v = 0;
    std::memcpy(&v, RowPool_Data(table->rows, row) + num->offset, 4);
    values.push_back(v);
  }
  EXPECT_EQ(values, (std::vector<int>{10, 20, 30}));
  IDXLIST_ResetForTest();
}

TEST_F(CatalogTest, FindsUniqueIndexesThroughTheOwningTable) {
  DBDATABASE* db = nullptr;
  ASSERT_TRUE(CATALOG_NewDatabase("DB", &db));
  DBTABLE* table = CATALOG_NewTable(db, "T1");
  (void)CATALOG_NewTable(db, "T2");
  int running = 0;
  DBATTRIB* key = nullptr;
  ASSERT_TRUE(CATALOG_AddAttrib(table, "KEY", DBTYPE_CHARACTER, 8, '1', &running, &key));
  (void)IDXARRAY_Add(&db->index_names, "XK", table);
  DBINDEX* made = CATALOG_NewIndex(table, "XK", 1);
  CATALOG_IndexAddAttrib(made, key);
  EXPECT_EQ(made->unique.hash.hash_size, DB_UNIQUEHASHSIZE);
  ASSERT_EQ(made->unique.key.attrs.size(), 1u);
  EXPECT_EQ(made->unique.key.attrs[0].size, 9);

  DBTABLE* owner = nullptr;
  DBINDEX* index = nullptr;
  int unique = -1;
  int pos = -1;
  ASSERT_TRUE(CATALOG_FindIndex(db, "XK", &owner, &index, &unique, &pos));
  EXPECT_EQ(index, made);
  EXPECT_EQ(unique, 1);
  EXPECT_EQ(key->index_count, 0);
  EXPECT_FALSE(CATALOG_FindIndex(db, "XX", &owner, &index, &unique, &pos));
  std::vector<IDXUNIQUE*> hashes;
  CATALOG_UniqueIndexes(table, &hashes);
  EXPECT_EQ(hashes, std::vector<IDXUNIQUE*>{&made->unique});
  CATALOG_DropIndex(table, pos, 1);
  CATALOG_UniqueIndexes(table, &hashes);
  EXPECT_TRUE(hashes.empty());
}

}  // namespace
