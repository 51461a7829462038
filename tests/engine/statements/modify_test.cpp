// The statements that change rows, run as real statements through the
// client (DBexec from SQL text, DBexecmsg for the binary forms) against an
// engine whose data directory lies in a temporary directory. Rows are read
// back from the row pool as the latest state shows them, newest first.
#include "engine/statements/modify.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "engine/dispatch.h"
#include "engine/statements/expr.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "support/engine_fixture.h"

namespace {

using Strings = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

// T1 takes every SQL literal; T2 has a unique key and an ordered list.
class ModifyTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    conn_ = DBconnect("MDB", 1);
    for (const char* sql : {"CREATE TABLE T1 (KK CHARACTER(3) NOT NULL, NN INTEGER, SS SMALLINT, "
                            "FF FLOAT, DD DATE, CC CHARACTER(4), BB BINARY(4))",
                            "CREATE TABLE T2 (KK CHARACTER(8) NOT NULL, NN INTEGER)",
                            "CREATE TABLE T3 (BB BINARY(4))", "CREATE UNIQUE INDEX XT2 ON T2 (KK)",
                            "CREATE INDEX YT2 ON T2 (NN)", "BEGIN"}) {
      ASSERT_EQ(Sql(sql), "OK") << sql;
    }
  }
  // "OK", "COUNT n", or the error text.
  std::string Reply(DBRESULTPTR result) {
    if (result->status != DBRES_COMMAND_OK) return result->error;
    return REPLY_Data()[0] == '3' ? "COUNT " + std::to_string(DBresult_rows(result.get())) : "OK";
  }
  std::string Sql(const std::string& sql) { return Reply(DBexec(conn_.get(), sql.c_str())); }

  // Binary messages: the letter, the table, then typed values.
  static void Start(char letter, const char* table) {
    DBquery_reset();
    DBquery_addcmd(letter);
    DBquery_addtokstring(DBTK_IDENT, table);
  }
  static void AddText(const char* text) {
    DBquery_addtokdata(DBTYPE_CHARACTER, text, static_cast<int>(std::strlen(text)) + 1);
  }
  static void AddInt(int32_t value) { DBquery_addtokdata(DBTYPE_INTEGER, &value, 4); }
  std::string Send() { return Reply(DBexecmsg(conn_.get())); }

  static DBTABLE* Table(const char* name) {
    DBTABLE* table = nullptr;
    EXPECT_TRUE(CATALOG_FindTable(&CATALOG_Engine().dbs[0], name, &table, nullptr));
    return table;
  }
  // A field as text: CHARACTER up to its NUL (padding shown), BINARY as its
  // length, ':' and its bytes.
  static std::string Field(const DBATTRIB& a, const unsigned char* f) {
    int16_t s = 0;
    int32_t i = 0;
    double d = 0;
    char text[40];
    switch (a.type) {
      case DBTYPE_CHARACTER: return reinterpret_cast<const char*>(f);
      case DBTYPE_SMALLINT: std::memcpy(&s, f, 2); return std::to_string(s);
      case DBTYPE_INTEGER: std::memcpy(&i, f, 4); return std::to_string(i);
      case DBTYPE_FLOAT:
        std::memcpy(&d, f, 8);
        std::snprintf(text, sizeof text, "%g", d);
        return text;
      case DBTYPE_DATE:
        std::snprintf(text, sizeof text, "%d-%d-%d", f[0] | f[1] << 8, f[2], f[3]);
        return text;
      default:
        std::memcpy(&s, f, 2);
        return std::to_string(s) + ":" + std::string(f + 2, f + 2 + std::min<int>(s, a.size - 2));
    }
  }
  static Strings Rows(const char* name) {
    DBTABLE* table = Table(name);
    Strings rows;
    int cursor = table->rows.head;
    for (int s; (s = ROWPOOL_NextFrom(table->rows, -1, &cursor)) >= 0;) {
      std::string text;
      for (DBATTRIB* a : CATALOG_Attribs(table)) {
        text += (text.empty() ? "" : "|") + Field(*a, ROWPOOL_Data(table->rows, s) + a->offset);
      }
      rows.push_back(text);
    }
    return rows;
  }
  // Rows held by the unique index of T2 plus 1000 times those of its list.
  static int Indexed() {
    DBATTRIB* nn = nullptr;
    EXPECT_TRUE(CATALOG_FindAttrib(Table("T2"), "NN", &nn, nullptr));
    return Table("T2")->unique_store[0]->unique.hash.entries + 1000 * IDXLIST_Count(*nn->list);
  }

  std::unique_ptr<DBCONNECTION> conn_;
};

TEST_F(ModifyTest, EveryStatementChecksConnectionTransactionAndTable) {
  const struct {
    char letter;
    std::string prefix;
    bool quoted;  // the INSERT forms quote the names of an unknown table
  } kCases[] = {{'E', "(INSERT) ", true},      {'D', "(INSERT STD) ", true},
                {'L', "(INSERT LOAD) ", true}, {'I', "(UPDATE) ", false},
                {'H', "(UPDATE STD) ", false}, {'G', "(DELETE) ", false},
                {'F', "(DELETE STD) ", false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.prefix);
    EXPECT_EQ(EngineSendBytes(77, {static_cast<unsigned char>(c.letter)}),
              c.prefix + "Conn_Id 77 not found\n");
    Start(c.letter, "NOPE");
    EXPECT_EQ(Send(), c.prefix + (c.quoted ? "Table 'NOPE' does not exist in database 'MDB'"
                                           : "Table NOPE does not exist in database MDB"));
    DBquery_reset();
    DBquery_addcmd(c.letter);
    EXPECT_EQ(Send(), c.prefix + "table-name is missing\n");
  }
  ASSERT_EQ(Sql("COMMIT"), "OK");
  for (const auto& c : kCases) {
    Start(c.letter, "T2");
    EXPECT_EQ(Send(), c.prefix + "No transaction");
  }
}

TEST_F(ModifyTest, InsertConvertsEachLiteralToItsAttribute) {
  const struct {
    const char* values;  // after INSERT INTO T1
    const char* reply;
    const char* row = nullptr;  // the new row; null: none was added
  } kCases[] = {
      {"(KK) VALUES ('abc')", "OK", "abc|-2147483647|-32768|-1e+20|1800-1-1||0:"},
      {"(KK) VALUES ('abcd')",
       "(INSERT) Value 'abcd' (size 4) too long for attribute 'KK' (size 3)"},
      {"(NN) VALUES (5)", "(INSERT) No value given for 'NOT NULL'-attribute 'KK'"},
      {"(KK, SS) VALUES ('s', 40000)",
       "(INSERT) Illegal short-value '40000' given for attribute 'SS'"},
      {"(KK, NN) VALUES ('i', 1.5)", "(INSERT) Illegal value-type for attribute 'NN'"},
      {"(KK, NN, FF) VALUES ('i', 40000, 2)", "OK", "i  |40000|-32768|2|1800-1-1||0:"},
      {"(KK, DD) VALUES ('d', '2003-13-12')", "(INSERT) Invalid date-value '2003-13-12'"},
      {"(KK, BB) VALUES ('b', 'ABCDE')",
       "(INSERT) Binary value 'ABCDE' invalid for attribute 'BB' (size 4)"},
      {"(KK, XX) VALUES ('x', 1)", "(INSERT) Attribute 'XX' not found in table 'T1'"},
      {"VALUES ('v', 1, -2, 3.5, '2000-02-29', 'wxyz', 'A$42C')", "OK",
       "v  |1|-2|3.5|2000-2-29|wxyz|3:ABC"},
      {"VALUES ('v', 1)", "(INSERT) Syntax error: illegal value"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.values);
    const Strings before = Rows("T1");
    EXPECT_EQ(Sql(std::string("INSERT INTO T1 ") + c.values), c.reply);
    const Strings after = Rows("T1");
    ASSERT_EQ(after.size(), before.size() + (c.row ? 1 : 0));
    if (c.row) {
      EXPECT_EQ(after[0], c.row);
    }
  }
}

TEST_F(ModifyTest, MissingCharacterValueClearsAReusedSlotWhole) {
  ASSERT_EQ(Sql("INSERT INTO T1 (KK, CC) VALUES ('old', 'wxyz')"), "OK");
  ASSERT_EQ(Sql("DELETE FROM T1"), "COUNT 1");
  ASSERT_EQ(Sql("COMMIT"), "OK");  // the deleted row's slot goes to the free list
  ASSERT_EQ(Sql("BEGIN"), "OK");
  ASSERT_EQ(Sql("INSERT INTO T1 (KK) VALUES ('new')"), "OK");
  DBTABLE* t1 = Table("T1");
  ASSERT_EQ(t1->rows.slots.size(), 1u);
  DBATTRIB* cc = nullptr;
  ASSERT_TRUE(CATALOG_FindAttrib(t1, "CC", &cc, nullptr));
  const unsigned char* field = ROWPOOL_Data(t1->rows, t1->rows.head) + cc->offset;
  EXPECT_EQ(Bytes(field, field + cc->size), Bytes(5, 0));
}

TEST_F(ModifyTest, TypedValuesMustMatchTheirAttributes) {
  const Bytes int7 = {DBTYPE_INTEGER, 4, 0, 7, 0, 0, 0};
  const auto text = [&int7](const std::string& s) {
    Bytes v = {DBTYPE_CHARACTER, static_cast<unsigned char>(s.size() + 1), 0};
    v.insert(v.end(), s.c_str(), s.c_str() + s.size() + 1);
    v.insert(v.end(), int7.begin(), int7.end());
    return v;
  };
  const auto rows = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const struct {
    char letter;
    const char* table;
    Bytes values;
    const char* reply;
    const char* row = nullptr;  // the newest row; null: none was added
    size_t added = 1;           // rows added when `row` is given
  } kCases[] = {
      {'D', "T2", text("abc"), "OK", "abc     |7"},
      {'D', "T2", {DBTYPE_CHARACTER, 1, 0, 'Q', DBTYPE_INTEGER, 4, 0, 7, 0, 0, 0}, "OK", "Q|7"},
      {'D', "T2", text("ABCDEFGHI"),
       "(INSERT STD) Value 'ABCDEFGHI' (size 9) too long for attribute 'KK' (size 8)"},
      {'D', "T2", text("abc"), "(INSERT STD) Unique index violation"},
      {'L', "T2", text("abc"), "OK", "abc     |7"},
      {'L', "T2", text("abc"), "OK", "abc     |7"},
      // Many rows in one message, in the order sent; one refused row
      // refuses the whole message.
      {'L', "T2", rows(rows(text("p"), text("q")), text("r")), "OK", "r       |7", 3},
      {'L', "T2", rows(text("s"), int7),
       "(INSERT LOAD) Wrong type of attribute 'KK' in table 'T2' (0/2)"},
      {'D', "T2", int7, "(INSERT STD) Wrong type of attribute 'KK' in table 'T2' (0/2)"},
      {'D',
       "T2",
       {DBTYPE_CHARACTER, 2, 0, 'x', 0, DBTYPE_INTEGER, 2, 0, 7, 0},
       "(INSERT STD) Illegal value-type for attribute 'NN'"},
      {'D', "T3", {DBTYPE_BINARY, 6, 0, 4, 0, 'a', 'b', 'c', 'd'}, "OK", "4:abcd"},
      // An own length beyond the bytes sent would let readers run past them.
      {'D',
       "T3",
       {DBTYPE_BINARY, 4, 0, 200, 0, 'a', 'b'},
       "(INSERT STD) Illegal value-type for attribute 'BB'"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reply);
    const Strings before = Rows(c.table);
    Start(c.letter, c.table);
    for (unsigned char byte : c.values) DBquery_addtok(byte);
    EXPECT_EQ(Send(), c.reply);
    const Strings after = Rows(c.table);
    ASSERT_EQ(after.size(), before.size() + (c.row ? c.added : 0));
    if (c.row) {
      EXPECT_EQ(after[0], c.row);
    }
  }
  // Only the checked inserts entered the transaction.
  EXPECT_EQ(CATALOG_Conn(conn_->conn_id)->inserted_count, 2);
}

TEST_F(ModifyTest, UpdateRefusesValuesLikeInsertUnderItsOwnName) {
  ASSERT_EQ(Sql("INSERT INTO T1 (KK) VALUES ('one')"), "OK");
  EXPECT_EQ(Sql("UPDATE T1 SET SS = 40000"),
            "(UPDATE) Illegal short-value 40000 given for attribute 'SS'");
  EXPECT_EQ(Sql("UPDATE T1 SET FF = 1.5, NN = 2.5"),
            "(UPDATE) Illegal value-type for attribute 'NN'");
  std::string many = "UPDATE T1 SET NN = 1";
  for (int i = 1; i < DB_MAXATTRIBS; ++i) many += ", SS = " + std::to_string(i);
  EXPECT_EQ(Sql(many), "COUNT 1");
  EXPECT_EQ(Sql(many + ", NN = 1"), "(UPDATE) Too many attribs (DB_MAXATTRIBS = 256)");
  EXPECT_EQ(Rows("T1"), Strings{"one|1|255|-1e+20|1800-1-1||0:"});
}

// T2 holds three committed rows and a transaction is open.
class ModifyRowsTest : public ModifyTest {
 protected:
  void SetUp() override {
    ModifyTest::SetUp();
    for (const char* sql : {"INSERT INTO T2 VALUES ('aa', 1)", "INSERT INTO T2 VALUES ('bb', 2)",
                            "INSERT INTO T2 VALUES ('cc', 3)", "COMMIT", "BEGIN"}) {
      ASSERT_EQ(Sql(sql), "OK");
    }
  }
  static Strings Committed() { return {"cc      |3", "bb      |2", "aa      |1"}; }
  static void AddWhereKey(const char* key) {
    DBquery_addtok(DBTK_WHERE);
    DBquery_addtokstring(DBTK_IDENT, "KK");
    DBquery_addtokstring(DBTK_STRINGVAL, key);
    DBquery_addtok(DBTK_EQ);
    DBquery_addtok(DBTK_WHERE);
  }
};

TEST_F(ModifyRowsTest, EachStatementChangesTheRowsItReportsUntilAbort) {
  const struct {
    const char* sql;
    const char* reply;
    Strings rows;
  } kCases[] = {
      {"INSERT INTO T2 VALUES ('aa', 9)", "(INSERT) Unique index violation", Committed()},
      {"UPDATE T2 SET NN = 9", "COUNT 3", {"cc      |9", "bb      |9", "aa      |9"}},
      {"UPDATE T2 SET NN = 5 WHERE NN > 1", "COUNT 2", {"cc      |5", "bb      |5", "aa      |1"}},
      {"UPDATE T2 SET NN = 5, KK = 'zz' WHERE NN IN (1, 1)",
       "COUNT 1",
       {"cc      |3", "bb      |2", "zz      |5"}},
      {"UPDATE T2 SET NN = 5 WHERE NN > 7", "COUNT 0", Committed()},
      {"UPDATE T2 SET KK = 'bb' WHERE KK = 'aa'", "(UPDATE) Unique index violation", Committed()},
      {"DELETE FROM T2", "COUNT 3", {}},
      {"DELETE FROM T2 WHERE NN < 3 OR NN = 1", "COUNT 2", {"cc      |3"}},
      {"DELETE FROM T2 WHERE KK = 'nothing'", "COUNT 0", Committed()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Sql(c.sql), c.reply);
    EXPECT_EQ(Rows("T2"), c.rows);
    EXPECT_EQ(Indexed(), 1001 * static_cast<int>(c.rows.size()));
    ASSERT_EQ(Sql("ABORT"), "OK");
    EXPECT_EQ(Rows("T2"), Committed());
    EXPECT_EQ(Indexed(), 3003);
    ASSERT_EQ(Sql("BEGIN"), "OK");
  }
}

TEST_F(ModifyRowsTest, RowChangedTwiceKeepsOneVersionUntilAbort) {
  Start('H', "T2");
  AddText("new");
  AddInt(20);
  AddWhereKey("bb");
  EXPECT_EQ(Send(), "COUNT 1");
  Start('H', "T2");
  AddText("bb");
  AddInt(21);
  AddWhereKey("new");
  EXPECT_EQ(Send(), "COUNT 1");
  EXPECT_EQ(Rows("T2"), (Strings{"cc      |3", "bb      |21", "aa      |1"}));
  EXPECT_EQ(Table("T2")->rows.slots.size(), 4u);
  ASSERT_EQ(Sql("ABORT"), "OK");
  EXPECT_EQ(Rows("T2"), Committed());
}

TEST_F(ModifyRowsTest, AStatementThatFailsPartWayLeavesNothingOfItself) {
  // An earlier statement of the transaction changed cc; each case's
  // statement fails on a later row (or is stopped by the user) and must
  // take back its own changes alone, the in-place change of cc's version
  // included.
  const Strings earlier = {"cc      |7", "bb      |2", "aa      |1"};
  const struct {
    const char* sql;  // null: UPDATE STD giving every row the key "same"
    bool stopped;     // the user asked to stop before it ran
    const char* reply;
  } kCases[] = {
      {"UPDATE T2 SET KK = 'same'", false, "(UPDATE) Unique index violation"},
      {"UPDATE T2 SET KK = 'same' WHERE NN < 3", false, "(UPDATE) Unique index violation"},
      {nullptr, false, "(UPDATE STD) Unique index violation"},
      {"INSERT INTO T2 VALUES ('bb', 9)", false, "(INSERT) Unique index violation"},
      {"DELETE FROM T2", true, INTERRUPT_MESSAGE},
      {"UPDATE T2 SET NN = 0 WHERE NN > 0 AND NN < 9", true, INTERRUPT_MESSAGE},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reply);
    ASSERT_EQ(Sql("UPDATE T2 SET NN = 7 WHERE KK = 'cc'"), "COUNT 1");
    INTERRUPT_Arm();
    if (c.stopped) {
      ASSERT_TRUE(INTERRUPT_Take());
    }
    if (c.sql != nullptr) {
      EXPECT_EQ(Sql(c.sql), c.reply);
    } else {
      Start('H', "T2");
      AddText("same");
      AddInt(0);
      EXPECT_EQ(Send(), c.reply);
    }
    EXPECT_EQ(INTERRUPT_Disarm(), c.stopped);
    EXPECT_EQ(Rows("T2"), earlier);
    EXPECT_EQ(Indexed(), 3003);
    ASSERT_EQ(Sql("COMMIT"), "OK");
    EXPECT_EQ(Rows("T2"), earlier);
    for (const char* sql : {"BEGIN", "UPDATE T2 SET NN = 3 WHERE KK = 'cc'", "COMMIT", "BEGIN"}) {
      ASSERT_NE(Sql(sql)[0], '(') << sql;
    }
  }
}

TEST_F(ModifyRowsTest, InsertThenDeleteLeavesNoRowAfterEndOrAbort) {
  for (const char* end : {"COMMIT", "ABORT"}) {
    SCOPED_TRACE(end);
    ASSERT_EQ(Sql("INSERT INTO T2 VALUES ('tmp', 9)"), "OK");
    EXPECT_EQ(Sql("DELETE FROM T2 WHERE KK = 'tmp'"), "COUNT 1");
    ASSERT_EQ(Sql(end), "OK");
    EXPECT_EQ(Rows("T2"), Committed());
    EXPECT_EQ(ROWPOOL_LiveCount(Table("T2")->rows), 3);
    ASSERT_EQ(Sql("BEGIN"), "OK");
  }
}

TEST_F(ModifyRowsTest, DeleteStdEmptiesTableAndIndexesUntilAbort) {
  Start('F', "T1");
  EXPECT_EQ(Send(), "COUNT 0");
  Start('F', "T2");
  EXPECT_EQ(Send(), "COUNT 3");
  EXPECT_EQ(Indexed(), 0);
  EXPECT_EQ(Sql("INSERT INTO T2 VALUES ('aa', 5)"), "OK");
  ASSERT_EQ(Sql("ABORT"), "OK");
  EXPECT_EQ(Rows("T2"), Committed());
  EXPECT_EQ(Indexed(), 3003);
}

TEST_F(ModifyRowsTest, TableLimitRefusesBeforeAnyRowChanges) {
  ASSERT_EQ(Sql("COMMIT"), "OK");
  char sql[64];
  for (int i = 0; i < DB_MAXTABLES; ++i) {
    std::snprintf(sql, sizeof sql, "CREATE TABLE TB%03d (AA INTEGER)", i);
    ASSERT_EQ(Sql(sql), "OK");
  }
  ASSERT_EQ(Sql("BEGIN"), "OK");
  for (int i = 0; i < DB_MAXTABLES; ++i) {
    std::snprintf(sql, sizeof sql, "INSERT INTO TB%03d VALUES (%d)", i, i);
    ASSERT_EQ(Sql(sql), "OK");
    std::snprintf(sql, sizeof sql, "DELETE FROM TB%03d", i);
    ASSERT_EQ(Sql(sql), "COUNT 1");
  }
  const std::string limit = " Too many changed tables in transaction (DB_MAXTABLES 256)";
  EXPECT_EQ(Sql("INSERT INTO T2 VALUES ('dd', 4)"), "(INSERT)" + limit);
  EXPECT_EQ(Sql("UPDATE T2 SET NN = 0"), "(UPDATE)" + limit);
  EXPECT_EQ(Sql("DELETE FROM T2"), "(DELETE)" + limit);
  Start('F', "T2");
  EXPECT_EQ(Send(), "(DELETE STD)" + limit);
  EXPECT_EQ(Rows("T2"), Committed());
}

TEST_F(ModifyRowsTest, OnlySuccessfulChangesOfSecureTablesReachTheRedoBuffer) {
  ASSERT_EQ(Sql("COMMIT"), "OK");
  ASSERT_EQ(Sql("SET TABLE T2 SECURE"), "OK");
  CATALOG_Engine().startup = 0;  // logging is on once the engine has started
  ASSERT_EQ(Sql("BEGIN"), "OK");
  Bytes expected;
  for (const char* sql : {"INSERT INTO T2 VALUES ('dd', 4)", "UPDATE T2 SET NN = 1 WHERE KK = 'dd'",
                          "DELETE FROM T2 WHERE NN = 2"}) {
    ASSERT_NE(Sql(sql)[0], '(') << sql;
    const int32_t length = MESSAGE_Length();
    expected.insert(expected.end(), reinterpret_cast<const unsigned char*>(&length),
                    reinterpret_cast<const unsigned char*>(&length) + 4);
    expected.insert(expected.end(), MESSAGE_Data(), MESSAGE_Data() + length);
  }
  EXPECT_EQ(Sql("INSERT INTO T2 VALUES ('dd', 5)"), "(INSERT) Unique index violation");
  EXPECT_EQ(Sql("INSERT INTO T1 (KK) VALUES ('t1')"), "OK");  // not SECURE
  EXPECT_EQ(CATALOG_Conn(conn_->conn_id)->redo, expected);
}

}  // namespace
