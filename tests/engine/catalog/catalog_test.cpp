// Catalogue: row layouts, limits, compaction and the statement preamble.
#include "engine/catalog/catalog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "support/engine_fixture.h"

namespace {

class CatalogTest : public EngineTest {
 protected:
  DBDATABASE* Database(const char* name) {
    DBDATABASE* db = nullptr;
    EXPECT_TRUE(CATALOG_NewDatabase(name, &db));
    CATALOG_CountDatabase();
    return db;
  }
};

TEST_F(CatalogTest, LaysOutTheApplicationTables) {
  struct Column {
    const char* name;
    unsigned char type;
    int n;
    int offset;
  };
  struct Table {
    const char* name;
    std::vector<Column> columns;
    int row_size;
  };
  const Table tables[] = {
      {"KASPO",
       {{"KASPO_ID", DBTYPE_CHARACTER, 8, 0},
        {"FILENAME", DBTYPE_CHARACTER, 80, 9},
        {"DESCRIPTION", DBTYPE_CHARACTER, 160, 90},
        {"SIZE", DBTYPE_INTEGER, 0, 252},
        {"COMPRESSED", DBTYPE_CHARACTER, 1, 256}},
       258},
      {"BLOBJ",
       {{"BLOBJ_ID", DBTYPE_CHARACTER, 8, 0},
        {"FK_ID", DBTYPE_CHARACTER, 8, 9},
        {"FK_TABLE", DBTYPE_SMALLINT, 0, 20},
        {"ITEMNUMBER", DBTYPE_SMALLINT, 0, 24},
        {"COMPRDATA", DBTYPE_BINARY, 4000, 26},
        {"COMPRESSED", DBTYPE_CHARACTER, 1, 4028}},
       4030},
  };
  DBDATABASE* db = Database("KASPODB");
  for (const Table& t : tables) {
    SCOPED_TRACE(t.name);
    DBTABLE* table = CATALOG_NewTable(db, t.name);
    int running = 0;
    for (const Column& c : t.columns) {
      DBATTRIB* attrib = nullptr;
      ASSERT_TRUE(CATALOG_AddAttrib(table, c.name, c.type, c.n, '0', &running, &attrib));
      EXPECT_EQ(attrib->offset, c.offset) << c.name;
    }
    CATALOG_SetRowSize(table, running);
    EXPECT_EQ(table->rows.row_size, t.row_size);
  }
  // An unknown type adds nothing and leaves the running offset.
  DBTABLE* table = CATALOG_NewTable(db, "T1");
  int running = 3;
  DBATTRIB* attrib = nullptr;
  EXPECT_FALSE(CATALOG_AddAttrib(table, "XX", '9', 0, '0', &running, &attrib));
  EXPECT_EQ(running, 3);
  EXPECT_EQ(IDXARRAY_Count(table->attribs), 0);
}

TEST_F(CatalogTest, AcceptsTheFifteenthConnectionAndDatabaseNotTheSixteenth) {
  std::string error;
  for (int i = 0; i < DB_MAXCONNS; ++i) {
    ASSERT_TRUE(CATALOG_ConnRoom("CONNECT", &error));
    int slot = -1;
    ASSERT_TRUE(CATALOG_AddConn(100 + i, -1, &slot));
    EXPECT_EQ(slot, i);
  }
  EXPECT_FALSE(CATALOG_ConnRoom("CREATE DATABASE", &error));
  EXPECT_EQ(error, "(CREATE DATABASE) No more connections available (DB_MAXCONNS = 15)!");
  int slot = -1;
  EXPECT_FALSE(CATALOG_AddConn(999, -1, &slot));

  for (int i = 0; i < DB_MAXDBS; ++i) {
    ASSERT_TRUE(CATALOG_DbRoom(&error));
    (void)Database(("DB" + std::to_string(i)).c_str());
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

TEST_F(CatalogTest, DroppingATableKeepsTheOthersPositions) {
  DBDATABASE* db = Database("DB");
  const char* names[] = {"T1", "T2", "T3"};
  for (const char* name : names) {
    int running = 0;
    DBATTRIB* attrib = nullptr;
    ASSERT_TRUE(CATALOG_AddAttrib(CATALOG_NewTable(db, name), "A1", DBTYPE_INTEGER, 0, '0',
                                  &running, &attrib));
  }
  DBTABLE* table = nullptr;
  int pos = -1;
  ASSERT_TRUE(CATALOG_FindTable(db, "T2", &table, &pos));
  CATALOG_DropTable(db, pos);
  EXPECT_FALSE(CATALOG_FindTable(db, "T2", &table, &pos));
  EXPECT_EQ(CATALOG_Table(db, 1), nullptr);
  for (int expected : {0, 2}) {
    ASSERT_TRUE(CATALOG_FindTable(db, names[expected], &table, &pos));
    EXPECT_EQ(pos, expected);
    DBATTRIB* attrib = nullptr;
    ASSERT_TRUE(CATALOG_FindAttrib(table, "A1", &attrib, nullptr));
    EXPECT_EQ(CATALOG_Table(db, attrib->table_pos), table);
  }
  EXPECT_EQ(CATALOG_NewTable(db, "T4")->position, 3);  // never the dropped slot
}

TEST_F(CatalogTest, RemovalsMoveTheLastSlotAndConnectionsFollowTheirDatabase) {
  (void)Database("A1");
  (void)CATALOG_NewTable(Database("B1"), "TB");
  int slot = -1;
  for (int id : {1, 2, 3}) ASSERT_TRUE(CATALOG_AddConn(id, id == 2 ? 1 : 0, &slot));
  ENGINE& engine = CATALOG_Engine();
  engine.conns[0].cursors[3].fetch_pos = 42;

  CATALOG_RemoveDatabase(0);
  EXPECT_EQ(engine.db_count, 1);
  EXPECT_STREQ(engine.dbs[0].name, "B1");
  DBTABLE* table = nullptr;
  EXPECT_TRUE(CATALOG_FindTable(&engine.dbs[0], "TB", &table, nullptr));
  EXPECT_EQ(CATALOG_Conn(2)->database, 0);

  CATALOG_RemoveConn(0);
  EXPECT_EQ(engine.conn_count, 2);
  EXPECT_EQ(engine.conns[0].conn_id, 3);
  EXPECT_FALSE(CATALOG_FindConn(1, &slot));
  EXPECT_EQ(slot, 2);
  // The removed record's cursor state went out of use, not into slot 0.
  EXPECT_NE(engine.conns[0].cursors[3].fetch_pos, 42);
}

TEST_F(CatalogTest, PreambleNamesTheStatementInItsMessages) {
  auto reply = [] { return std::string(reinterpret_cast<const char*>(REPLY_Data()) + 4); };
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  REPLY_Reset();
  EXPECT_FALSE(CATALOG_Preamble("CREATE TABLE", 4, &conn, &db));
  EXPECT_EQ(reply(), "(CREATE TABLE) Conn_Id 4 not found\n");
  int slot = -1;
  ASSERT_TRUE(CATALOG_AddConn(4, -1, &slot));
  REPLY_Reset();
  EXPECT_FALSE(CATALOG_Preamble("SHOW INDICES", 4, &conn, &db));
  EXPECT_EQ(reply(), "(SHOW INDICES) No database selected for Conn_Id 4\n");
  (void)Database("DB");
  CATALOG_Engine().conns[slot].database = 0;
  REPLY_Reset();
  EXPECT_TRUE(CATALOG_Preamble("SHOW INDICES", 4, &conn, &db));
  EXPECT_EQ(REPLY_Length(), 0);
  EXPECT_EQ(db, &CATALOG_Engine().dbs[0]);
}

TEST_F(CatalogTest, ValueListsLiveWhileAnIndexUsesTheAttribute) {
  DBDATABASE* db = Database("DB");
  DBTABLE* table = CATALOG_NewTable(db, "T1");
  int running = 0;
  DBATTRIB* num = nullptr;
  ASSERT_TRUE(CATALOG_AddAttrib(table, "NUM", DBTYPE_INTEGER, 0, '0', &running, &num));
  CATALOG_SetRowSize(table, running);
  for (int value : {30, 10, 20}) {
    std::memcpy(ROWPOOL_Data(&table->rows, RowPool_NewSlot(&table->rows, 1)), &value, 4);
  }
  for (const char* name : {"I1", "I2"}) {
    (void)IDXARRAY_Add(&db->index_names, name, table);
    CATALOG_IndexAddAttrib(CATALOG_NewIndex(table, name, 0), num);
    CATALOG_UseValueList(table, num, 1);
  }
  ASSERT_NE(num->list, nullptr);
  EXPECT_EQ(IDXLIST_Count(*num->list), 3);
  DBTABLE* owner = nullptr;
  DBINDEX* index = nullptr;
  int unique = -1;
  int pos = -1;
  for (const char* name : {"I1", "I2"}) {
    EXPECT_NE(num->list, nullptr);
    ASSERT_TRUE(CATALOG_FindIndex(db, name, &owner, &index, &unique, &pos));
    EXPECT_EQ(owner, table);
    CATALOG_DropIndex(table, pos, unique);
  }
  EXPECT_EQ(num->list, nullptr);
  EXPECT_EQ(num->index_count, 0);
}

}  // namespace
