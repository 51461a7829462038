// Transactions: BEGIN/END/ABORT replies, commit folding and rollback with
// index repair.
#include "engine/tables/transaction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/statements/txn.h"
#include "engine/tables/rowindex.h"
#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "support/engine_fixture.h"

namespace {

// A table T1 (KK CHARACTER(8) with a unique index, V INTEGER with an ordered
// list) in database DB, connections 1 and 2 on it.
class TransactionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_TRUE(CATALOG_NewDatabase("DB", &db_));
    CATALOG_CountDatabase();
    table_ = CATALOG_NewTable(db_, "T1");
    int running = 0;
    ASSERT_TRUE(CATALOG_AddAttrib(table_, "KK", DBTYPE_CHARACTER, 8, '1', &running, &key_));
    ASSERT_TRUE(CATALOG_AddAttrib(table_, "VV", DBTYPE_INTEGER, 0, '0', &running, &val_));
    CATALOG_SetRowSize(table_, running);
    DBINDEX* unique = CATALOG_NewIndex(table_, "XK", 1);
    CATALOG_IndexAddAttrib(unique, key_);
    DBINDEX* list = CATALOG_NewIndex(table_, "XV", 0);
    CATALOG_IndexAddAttrib(list, val_);
    CATALOG_UseValueList(table_, val_, 1);
    int slot = -1;
    ASSERT_TRUE(CATALOG_AddConn(1, 0, &slot));
    ASSERT_TRUE(CATALOG_AddConn(2, 0, &slot));
  }
  DBCONN* Conn(int id) { return CATALOG_Conn(id); }

  std::string Run(void (*handler)(int, const unsigned char*, int), int conn_id) {
    REPLY_Reset();
    const unsigned char msg[] = {'J'};
    handler(conn_id, msg, 1);
    return Reply();
  }
  static std::string Reply() {
    if (REPLY_Length() > 0 && REPLY_Data()[0] == '0') {
      return std::string(reinterpret_cast<const char*>(REPLY_Data()) + 4);
    }
    return std::string(reinterpret_cast<const char*>(REPLY_Data()), REPLY_Length());
  }

  void Fill(int slot, const char* key, int value) {
    unsigned char* row = ROWPOOL_Data(&table_->rows, slot);
    std::memset(row + key_->offset, ' ', 8);
    std::memcpy(row + key_->offset, key, std::strlen(key));
    row[key_->offset + 8] = '\0';
    std::memcpy(row + val_->offset, &value, 4);
  }

  // What the data modification statements do to rows and indexes.
  int Insert(const char* key, int value) {
    DBCONN* conn = Conn(1);
    EXPECT_TRUE(Trans_RecordTable(conn, TRANS_INSERTED, table_));
    int slot = RowPool_NewSlot(&table_->rows, conn->trans_ts);
    Fill(slot, key, value);
    ROWIDX_AddUnique(table_, slot, conn->trans_ts);
    ROWIDX_AddLists(table_, slot, {});
    return slot;
  }
  int Change(int row, const char* key, int value) {
    DBCONN* conn = Conn(1);
    EXPECT_TRUE(Trans_RecordTable(conn, TRANS_CHANGED, table_));
    ROWIDX_RemoveUnique(table_, row);
    ROWIDX_RemoveLists(table_, row, {});
    int version = KASPO_Change(&table_->rows, row, conn->trans_ts);
    Fill(version, key, value);
    ROWIDX_AddUnique(table_, version, conn->trans_ts);
    ROWIDX_AddLists(table_, version, {});
    return version;
  }
  void Delete(int row) {
    DBCONN* conn = Conn(1);
    EXPECT_TRUE(Trans_RecordTable(conn, TRANS_CHANGED, table_));
    table_->rows.slots[row].delete_ts = conn->trans_ts;
    ROWIDX_RemoveUnique(table_, row);
    ROWIDX_RemoveLists(table_, row, {});
  }

  // "key=value" of every row the latest state shows, newest first.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    RowPool_First(&table_->rows);
    for (int s = RowPool_Next(&table_->rows, -1); s >= 0; s = RowPool_Next(&table_->rows, -1)) {
      rows.push_back(Text(s));
    }
    return rows;
  }
  std::string Text(int slot) {
    const unsigned char* row = ROWPOOL_Data(table_->rows, slot);
    std::string key(reinterpret_cast<const char*>(row + key_->offset));
    key.erase(key.find_last_not_of(' ') + 1);
    int value = 0;
    std::memcpy(&value, row + val_->offset, 4);
    return key + "=" + std::to_string(value);
  }
  // The rows both indexes hold, as texts in ordered-list order.
  std::vector<std::string> Indexed() {
    std::vector<int> listed;
    IDXLIST_Rows(*val_->list, &listed);
    std::vector<std::string> texts;
    for (int s : listed) {
      texts.push_back(Text(s));
      const int32_t* bucket = nullptr;
      int count = 0;
      IDXUNIQUE& unique = table_->unique_store[0]->unique;
      IDXHASH_Lookup(unique.hash, IDXHASH_KeyHash(unique.key, ROWPOOL_Data(table_->rows, s)),
                     &bucket, &count);
      EXPECT_NE(std::find(bucket, bucket + count, s), bucket + count) << Text(s);
    }
    EXPECT_EQ(table_->unique_store[0]->unique.hash.entries, static_cast<int>(listed.size()));
    return texts;
  }
  int FreeCount() {
    int count = 0;
    for (int s = table_->rows.free_head; s >= 0; s = table_->rows.slots[s].next) ++count;
    return count;
  }

  DBDATABASE* db_ = nullptr;
  DBTABLE* table_ = nullptr;
  DBATTRIB* key_ = nullptr;
  DBATTRIB* val_ = nullptr;
};

using Strings = std::vector<std::string>;

TEST_F(TransactionTest, BeginEndAndAbortAnswerWithTheirMessages) {
  EXPECT_EQ(Run(TXN_End, 1), "(END) Connection Timestamp not defined");
  EXPECT_EQ(Run(TXN_Abort, 1), "(ABORT) Connection Timestamp not defined");
  EXPECT_EQ(Run(TXN_Begin, 9), "(BEGIN) Conn_Id 9 not found\n");
  EXPECT_EQ(Run(TXN_Begin, 1), "1");
  EXPECT_EQ(Run(TXN_Begin, 1), "(BEGIN) Already open transaction for database 'DB'\n");
  // The timestamp is the database's write lock: the other connection waits.
  EXPECT_EQ(Run(TXN_Begin, 2), "-");
  EXPECT_EQ(Run(TXN_Begin, 2), "-");
  EXPECT_EQ(CATALOG_Engine().waiting, std::vector<int32_t>{2});
  EXPECT_EQ(Conn(2)->trans_ts, -1);

  std::strcpy(Conn(1)->cursors[0].name, "C1");
  Conn(1)->cursor_count = 1;
  (void)Insert("A", 1);
  EXPECT_EQ(Run(TXN_End, 1), "1");
  EXPECT_EQ(db_->committed_ts, 1);
  EXPECT_EQ(Conn(1)->cursor_count, 0);
  EXPECT_EQ(Conn(1)->cursors[0].name[0], '\0');
  EXPECT_EQ(Conn(1)->inserted_count, 0);
  EXPECT_EQ(Run(TXN_Begin, 2), "1");
  EXPECT_EQ(Conn(2)->trans_ts, 2);
  db_->committed_ts = 2;
  EXPECT_EQ(Run(TXN_Abort, 2), "(ABORT) Connection Timestamp 2 not greater than DB-Timestamp 2\n");
  EXPECT_EQ(Run(TXN_End, 2), "(END) Connection Timestamp 2 not greater than DB-Timestamp 2\n");
}

TEST_F(TransactionTest, RecordsEachTableOnceUpToTheLimit) {
  DBCONN* conn = Conn(1);
  std::vector<DBTABLE> tables(DB_MAXTABLES + 1);
  for (int i = 0; i < DB_MAXTABLES; ++i) {
    ASSERT_TRUE(Trans_RecordTable(conn, TRANS_CHANGED, &tables[i]));
  }
  EXPECT_TRUE(Trans_RecordTable(conn, TRANS_CHANGED, &tables[7]));
  EXPECT_FALSE(Trans_RecordTable(conn, TRANS_CHANGED, &tables[DB_MAXTABLES]));
  EXPECT_EQ(conn->changed_count, DB_MAXTABLES);
  EXPECT_TRUE(Trans_RecordTable(conn, TRANS_INSERTED, &tables[DB_MAXTABLES]));
  conn->changed_count = conn->inserted_count = 0;
}

TEST_F(TransactionTest, CommitPromotesChangesAndFreesDeletedRows) {
  ASSERT_EQ(Run(TXN_Begin, 1), "1");
  int a = Insert("A", 1);
  int b = Insert("B", 2);
  int c = Insert("C", 3);
  ASSERT_EQ(Run(TXN_End, 1), "1");

  ASSERT_EQ(Run(TXN_Begin, 1), "1");
  int b2 = Change(b, "B", 20);
  Delete(c);
  Delete(Change(a, "A", 10));
  ASSERT_EQ(Run(TXN_End, 1), "1");

  EXPECT_EQ(Rows(), Strings{"B=20"});
  EXPECT_EQ(table_->rows.head, b2);
  EXPECT_EQ(table_->rows.slots[b2].base, -1);
  EXPECT_EQ(ROWPOOL_LiveCount(table_->rows), 1);
  EXPECT_EQ(FreeCount(), 4);  // a, its version, b, c
  EXPECT_EQ(Indexed(), Strings{"B=20"});
}

TEST_F(TransactionTest, InsertThenDeleteLeavesNoRowAfterEndOrAbort) {
  for (auto* finish : {TXN_End, TXN_Abort}) {
    ASSERT_EQ(Run(TXN_Begin, 1), "1");
    Delete(Insert("A", 1));
    ASSERT_EQ(Run(finish, 1), "1");
    EXPECT_EQ(Rows(), Strings{});
    EXPECT_EQ(ROWPOOL_LiveCount(table_->rows), 0);
    EXPECT_EQ(Indexed(), Strings{});
  }
}

TEST_F(TransactionTest, AbortUndoesChangesDeletesAndInserts) {
  ASSERT_EQ(Run(TXN_Begin, 1), "1");
  int a = Insert("A", 1);
  int b = Insert("B", 2);
  int c = Insert("C", 3);
  (void)Insert("D", 4);
  ASSERT_EQ(Run(TXN_End, 1), "1");

  ASSERT_EQ(Run(TXN_Begin, 1), "1");
  int a2 = Change(a, "A", 10);
  EXPECT_EQ(Change(a2, "A2", 11), a2);  // a second change keeps one version
  Delete(b);
  Delete(Change(c, "C", 30));
  (void)Insert("E", 5);
  EXPECT_EQ(Rows(), (Strings{"E=5", "D=4", "A2=11"}));
  ASSERT_EQ(Run(TXN_Abort, 1), "1");

  EXPECT_EQ(Rows(), (Strings{"D=4", "C=3", "B=2", "A=1"}));
  EXPECT_EQ(Indexed(), (Strings{"A=1", "B=2", "C=3", "D=4"}));
  EXPECT_EQ(db_->committed_ts, 1);
  // The old key is taken again and the new one free: the unique index was
  // repaired.
  int probe = RowPool_NewSlot(&table_->rows, 2);
  Fill(probe, "A", 99);
  EXPECT_FALSE(ROWIDX_UniqueOk(table_, probe));
  Fill(probe, "A2", 99);
  EXPECT_TRUE(ROWIDX_UniqueOk(table_, probe));
}

TEST_F(TransactionTest, AbortRemovesRowsOfATableOnlyInsertedInto) {
  ASSERT_EQ(Run(TXN_Begin, 1), "1");
  (void)Insert("A", 1);
  ASSERT_EQ(Run(TXN_End, 1), "1");
  ASSERT_EQ(Run(TXN_Begin, 1), "1");
  (void)Insert("B", 2);
  ASSERT_EQ(Conn(1)->changed_count, 0);
  ASSERT_EQ(Run(TXN_Abort, 1), "1");
  EXPECT_EQ(Rows(), Strings{"A=1"});
  EXPECT_EQ(Indexed(), Strings{"A=1"});
}

}  // namespace
