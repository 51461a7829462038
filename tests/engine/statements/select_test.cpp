// SELECT through real statements: joins with table identifiers and the
// column names they produce, subselects, aggregates, DISTINCT, ORDER BY,
// the row maximum, the reply bytes and the messages of the select list.
#include "engine/statements/select.h"

#include <cstring>

#include "client/message.h"
#include "client/parser.h"
#include "engine/statements/show.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"
#include "query_fixture.h"

namespace {

class SelectTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    ASSERT_TRUE(DISPATCH_SetHandlerForTest('T', SHOW_Max));
    Run({"CREATE TABLE TA (ID INTEGER, NM CHARACTER(10))",
         "CREATE TABLE TB (ID INTEGER, AID INTEGER, QT SMALLINT)",
         "CREATE TABLE TC (ID INTEGER, BID INTEGER, LB CHARACTER(4))",
         "CREATE TABLE TE (ID INTEGER, NM CHARACTER(4))", "BEGIN",
         "INSERT INTO TA VALUES (1, 'one')", "INSERT INTO TA VALUES (2, 'two')",
         "INSERT INTO TB VALUES (10, 1, 5)", "INSERT INTO TB VALUES (20, 2, 7)",
         "INSERT INTO TB VALUES (30, 1, 9)", "INSERT INTO TC VALUES (100, 10, 'c1')",
         "INSERT INTO TC VALUES (200, 30, 'c2')", "COMMIT"});
  }
};

struct Case {
  const char* sql;
  const char* expected;
};

TEST_F(SelectTest, JoinsTablesWithTheFirstVaryingFastest) {
  EXPECT_EQ(Columns("SELECT * FROM TA X, TB Y"), "X.ID,X.NM,Y.ID,Y.AID,Y.QT");
  EXPECT_EQ(Columns("SELECT Y.*, NM, X.ID FROM TA X, TB Y"), "Y.ID,Y.AID,Y.QT,X.NM,X.ID");
  EXPECT_EQ(Columns("SELECT * FROM TA, TB Y"), "ID,NM,Y.ID,Y.AID,Y.QT");
  const Case cases[] = {
      // Rows of one table come newest first; TA varies fastest.
      {"SELECT X.ID, Y.ID FROM TA X, TB Y", "2,30;1,30;2,20;1,20;2,10;1,10"},
      {"SELECT COUNT(*) FROM TA X, TB Y", "6"},
      {"SELECT X.NM, Z.LB FROM TA X, TB Y, TC Z WHERE X.ID = Y.AID AND Y.ID = Z.BID",
       "one,c2;one,c1"},
      {"SELECT Z.LB, X.ID FROM TA X, TB Y, TC Z WHERE Y.ID = Z.BID AND X.ID = Y.AID AND "
       "Z.ID = 100",
       "c1,1"},
      {"SELECT COUNT(*) FROM TA X, TB Y, TC Z", "12"},
      // An unqualified name refers to the first FROM table that has it.
      {"SELECT ID FROM TB, TA", "30;20;10;30;20;10"},
      {"SELECT ID FROM TA, TB WHERE ID = 1", "1;1;1"},
  };
  ExpectRows(cases);
}

TEST_F(SelectTest, RefusesBadItemsAndTablesWithTheirMessages) {
  const Case cases[] = {
      {"SELECT * FROM TA X, TB X", "(SELECT) Table-identifier 'X' already used"},
      {"SELECT TA.ID FROM TA", "(SELECT) Table-identifier 'TA' does not exist"},
      {"SELECT Q.* FROM TA X", "(SELECT) Table-identifier 'Q' does not exist"},
      {"SELECT * FROM NOPE", "(SELECT) Table 'NOPE' does not exist"},
      {"SELECT ZZ FROM TA", "(SELECT) Attribute ZZ not found"},
      {"SELECT X.QT FROM TA X, TB Y", "(SELECT) Table 'TA' does not contain attribute QT"},
      {"SELECT MIN(X.ZZ) FROM TA X", "(SELECT) Table 'TA' does not contain attribute ZZ"},
      {"SELECT ZZ FROM NOPE", "(SELECT) Table 'NOPE' does not exist"},
      {"SELECT ID FROM TA WHERE ID = 1 ORDER BY QQ", "(ORDER BY) Attribute 'QQ' not found"},
      {"SELECT ID FROM TA ORDER BY NM", "(ORDER BY) Attribute 'NM' not found"},
      {"SELECT COUNT(*) FROM TA ORDER BY ID", "(ORDER BY) Attribute 'ID' not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Error(c.sql), c.expected);
  }
}

TEST_F(SelectTest, AnswersCountMinAndMaxAloneAndBesidePlainColumns) {
  Run({"BEGIN", "INSERT INTO TB VALUES (40, 2, 7)", "COMMIT"});
  const Case cases[] = {
      {"SELECT COUNT(*) FROM TB", "4"},
      {"SELECT COUNT(*) FROM TE", "0"},
      {"SELECT COUNT(*) FROM TB WHERE QT = 7", "2"},
      {"SELECT COUNT(*) FROM TB WHERE QT > 100", "0"},
      {"SELECT MIN(QT), MAX(QT), COUNT(*) FROM TB", "5,9,4"},
      {"SELECT MIN(QT), MAX(ID) FROM TB WHERE AID = 2", "7,40"},
      {"SELECT MIN(NM), MAX(NM) FROM TA", "one,two"},
      {"SELECT MIN(X.NM) FROM TA X", "one"},
      {"SELECT MAX(QT) FROM TE X, TB", ""},
      {"SELECT ID, MAX(QT) FROM TB WHERE AID = 1", "30,9;10,9"},
      // Evaluated conditions.
      {"SELECT COUNT(*) FROM TA X, TB Y WHERE X.ID = Y.AID", "4"},
      {"SELECT COUNT(*) FROM TA X, TB Y WHERE X.ID = Y.QT", "0"},
      {"SELECT MIN(Y.QT), MAX(Y.QT) FROM TA X, TB Y WHERE X.ID = Y.AID", "5,9"},
      {"SELECT X.NM, MAX(Y.QT) FROM TA X, TB Y WHERE X.ID = Y.AID AND Y.QT < 9",
       "two,7;two,7;one,7"},
      {"SELECT Y.*, COUNT(*) FROM TB Y WHERE Y.ID = Y.AID", ""},
      {"SELECT Y.*, COUNT(*) FROM TB Y WHERE Y.QT < Y.ID AND Y.ID < 30", "20,2,7,2;10,1,5,2"},
  };
  ExpectRows(cases);
  EXPECT_EQ(Columns("SELECT MIN(X.NM), COUNT(*), MAX(ID) FROM TA X"),
            "MIN(X.NM),COUNT(*),MAX(X.ID)");
}

TEST_F(SelectTest, KeepsTheLastOfEqualRowsForDistinct) {
  Run({"CREATE TABLE TD (NM CHARACTER(6), FL FLOAT, SQ INTEGER)", "BEGIN",
       "INSERT INTO TD VALUES ('r1', 1.5, 1)", "INSERT INTO TD VALUES ('r2', 2.5, 2)",
       "INSERT INTO TD VALUES ('r1  ', 1.5, 3)", "INSERT INTO TD VALUES ('r3', 2.5, 4)", "COMMIT"});
  // Rows come newest first: r3, r1', r2, r1. Texts equal without their
  // trailing blanks; r1' goes, as r1 comes after it.
  const Case cases[] = {
      {"SELECT NM FROM TD", "r3;r1;r2;r1"},
      {"SELECT DISTINCT NM FROM TD", "r3;r2;r1"},
      {"SELECT DISTINCT NM, FL FROM TD", "r3,2.5;r2,2.5;r1,1.5"},
      {"SELECT DISTINCT FL FROM TD", "2.5;1.5"},
      {"SELECT DISTINCT NM FROM TD ORDER BY NM DESC", "r3;r2;r1"},
      {"SELECT DISTINCT NM, SQ FROM TD WHERE SQ > 1", "r3,4;r1,3;r2,2"},
      {"SELECT DISTINCT X.NM FROM TD X, TD Y", "r3;r2;r1"},
      {"SELECT DISTINCT COUNT(*) FROM TD", "4"},
  };
  ExpectRows(cases);
}

TEST_F(SelectTest, SortsByKeysInOrderWithDirections) {
  Run({"CREATE TABLE TS (AA INTEGER, BB CHARACTER(4), CC FLOAT)", "BEGIN",
       "INSERT INTO TS VALUES (2, 'x', 1)", "INSERT INTO TS VALUES (1, 'y', 2)",
       "INSERT INTO TS VALUES (2, 'a', 3)", "INSERT INTO TS VALUES (3, 'b', 4)",
       "INSERT INTO TS VALUES (1, 'b', 5)", "COMMIT"});
  const Case cases[] = {
      {"SELECT AA, BB FROM TS ORDER BY AA DESC, BB", "3,b;2,a;2,x;1,b;1,y"},
      {"SELECT AA, BB FROM TS ORDER BY BB, AA DESC", "2,a;3,b;1,b;2,x;1,y"},
      {"SELECT AA, BB FROM TS ORDER BY AA, BB DESC", "1,y;1,b;2,x;2,a;3,b"},
      {"SELECT AA, CC FROM TS ORDER BY CC DESC", "1,5;3,4;2,3;1,2;2,1"},
      {"SELECT AA FROM TS WHERE AA > 2 ORDER BY AA", "3"},
      {"SELECT AA FROM TS WHERE AA > 5 ORDER BY AA", ""},
      {"SELECT X.AA, X.BB FROM TS X WHERE X.AA = 2 ORDER BY X.BB", "2,a;2,x"},
      {"SELECT X.AA, X.BB FROM TS X WHERE X.AA = 1 ORDER BY BB DESC",
       "ERR (ORDER BY) Attribute 'BB' not found"},
      {"SELECT AA, BB FROM TS X WHERE X.AA = 1 ORDER BY X.BB DESC", "1,y;1,b"},
  };
  ExpectRows(cases);
  // Trailing blanks do not separate keys: ties stay as the sort leaves
  // them, so only the key column is compared.
  Run({"BEGIN", "INSERT INTO TS VALUES (9, 'ab', 0)", "INSERT INTO TS VALUES (9, 'ab  ', 0)",
       "COMMIT"});
  EXPECT_EQ(Rows("SELECT BB FROM TS WHERE AA = 9 ORDER BY BB"), "ab;ab");
}

TEST_F(SelectTest, RunsSubselectsThreeLevelsDeep) {
  const Case cases[] = {
      {"SELECT NM FROM TA WHERE ID IN (SELECT AID FROM TB WHERE ID IN "
       "(SELECT BID FROM TC WHERE LB = 'c2'))",
       "one"},
      {"SELECT NM FROM TA WHERE ID IN (SELECT AID FROM TB WHERE ID IN "
       "(SELECT BID FROM TC WHERE ID IN (SELECT ID FROM TC WHERE LB LIKE 'c%')))",
       "one"},
      {"SELECT NM FROM TA X WHERE ID IN (SELECT AID FROM TB WHERE ID IN "
       "(SELECT BID FROM TC WHERE ID > X.ID))",
       "one"},
      {"SELECT NM FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE Y.AID = X.ID AND "
       "EXISTS (SELECT * FROM TC WHERE BID = Y.ID))",
       "one"},
      {"SELECT NM FROM TA X WHERE NOT EXISTS (SELECT * FROM TB Y WHERE Y.AID = X.ID AND "
       "EXISTS (SELECT * FROM TC WHERE BID = Y.ID))",
       "two"},
      {"SELECT NM FROM TA WHERE ID = (SELECT MAX(AID) FROM TB)", "two"},
  };
  ExpectRows(cases);
}

TEST_F(SelectTest, KeepsTenAggregateCellsForEvaluatedConditions) {
  std::string items = "COUNT(*)";
  for (int i = 1; i < 10; ++i) items += i % 2 ? ", MIN(Y.QT)" : ", MAX(X.ID)";
  const std::string from = " FROM TA X, TB Y WHERE X.ID = Y.AID";
  EXPECT_EQ(Rows("SELECT " + items + from), "3,5,2,5,2,5,2,5,2,5");
  EXPECT_EQ(Error("SELECT " + items + ", COUNT(*)" + from), "(SELECT) Too many functions");
  // Decided by row lists alone, the functions need no cells.
  EXPECT_EQ(Rows("SELECT " + items + ", COUNT(*) FROM TA X, TB Y WHERE X.ID = 1"),
            "3,5,1,5,1,5,1,5,1,5,3");
}

TEST_F(SelectTest, ReadsTheRowsVisibleAtTheStatementTimestamp) {
  Run({"BEGIN", "INSERT INTO TA VALUES (3, 'three')", "DELETE FROM TA WHERE ID = 1"});
  EXPECT_EQ(Rows("SELECT ID FROM TA"), "3;2");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA"), "2");
  EXPECT_EQ(Rows("SELECT X.ID FROM TA X WHERE X.ID < 3"), "2");
  Run({"ABORT"});
  EXPECT_EQ(Rows("SELECT ID FROM TA"), "2;1");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA"), "2");
}

TEST_F(SelectTest, RefusesTheEleventhNestedSubselect) {
  auto nested = [](int depth) {
    std::string sql = "SELECT ID FROM TA WHERE ID IN (SELECT ID FROM TA)";
    for (int i = 1; i < depth; ++i) {
      sql.replace(sql.rfind("FROM TA)"), 8, "FROM TA WHERE ID IN (SELECT ID FROM TA))");
    }
    return sql;
  };
  EXPECT_EQ(Rows(nested(10)), "2;1");
  EXPECT_EQ(Error(nested(11)), "(WHERE) Subselect-nesting too deep");
}

TEST_F(SelectTest, RefusesATwentyFirstUpperReference) {
  auto query = [](int tables) {
    std::string from, condition;
    for (int i = 1; i <= tables; ++i) {
      from += (i > 1 ? ", TA T" : "TA T") + std::to_string(i);
      condition += (i > 1 ? " AND ID = T" : "ID = T") + std::to_string(i) + ".ID";
    }
    return "SELECT COUNT(*) FROM " + from + " WHERE T1.ID IN (SELECT ID FROM TA WHERE " +
           condition + ")";
  };
  EXPECT_EQ(Exec(query(20))->status, DBRES_TUPLES_OK);
  EXPECT_EQ(Error(query(21)), "(WHERE) Too many attrib-references to upper selects (max = 20)\n");
}

TEST_F(SelectTest, MarksAResultThatReachesTheRowMaximum) {
  Run({"MAX 3"});
  const Case cases[] = {
      {"SELECT ID FROM TB", "30;20;10 (4)"},
      {"SELECT X.ID FROM TA X, TB Y", "2;1;2 (4)"},
      {"SELECT ID FROM TA", "2;1"},
      // A subselect is cut at the maximum too, and marks the statement.
      {"SELECT X.ID FROM TB X WHERE X.ID IN (SELECT Y.ID FROM TB Y, TA Z WHERE Y.ID < 25)",
       "20;10 (4)"},
  };
  ExpectRows(cases);
  Run({"MAX 2"});
  EXPECT_EQ(Rows("SELECT ID FROM TA"), "2;1 (4)");
  // 0 means no maximum.
  Run({"MAX 0"});
  EXPECT_EQ(Rows("SELECT X.ID FROM TA X, TB Y"), "2;1;2;1;2;1");
}

TEST_F(SelectTest, StopsAtTheResultMemoryLimit) {
  const int64_t saved = CATALOG_Engine().result_memory_limit;
  CATALOG_Engine().result_memory_limit = 1;
  EXPECT_EQ(Rows("SELECT ID FROM TB"), "30 (4)");
  CATALOG_Engine().result_memory_limit = saved;
}

// The limit holds for every open result together: a SELECT and cursors
// that would take them past it are cut short, after one row at least, and
// the memory of closed cursors counts no more.
TEST_F(SelectTest, TheMemoryLimitHoldsForAllOpenResultsAndCursorsTogether) {
  const int64_t saved = CATALOG_Engine().result_memory_limit;
  CATALOG_Engine().result_memory_limit = INT64_MAX;
  constexpr int kRows = 200;  // of about 1000 bytes: a few arena blocks
  Run({"CREATE TABLE TW (TX CHARACTER(1000))", "BEGIN"});
  const std::string insert = "INSERT INTO TW VALUES ('" + std::string(990, 'w') + "')";
  for (int i = 0; i < kRows; ++i) ASSERT_EQ(Exec(insert)->status, DBRES_COMMAND_OK);
  Run({"COMMIT", "MAX 0", "BEGIN"});
  const int64_t idle = RESDATA_Charged();
  auto declare = [&](const std::string& name) {
    DBRESULTPTR r = Exec("DECLARE " + name + " CURSOR FOR SELECT * FROM TW");
    EXPECT_EQ(r->status, DBRES_COMMAND_OK) << r->error;
    return DBresult_rows(r.get());
  };
  ASSERT_EQ(declare("C1"), kRows);
  const int64_t one = RESDATA_Charged() - idle;  // what one whole cursor holds
  ASSERT_GT(one, kRows * 1000);
  // Room for two and a half such cursors beside what is idle.
  CATALOG_Engine().result_memory_limit = idle + one * 5 / 2;
  EXPECT_EQ(declare("C2"), kRows);
  const int third = declare("C3");
  EXPECT_GT(third, 1);
  EXPECT_LT(third, kRows);
  EXPECT_EQ(declare("C4"), 1);  // the limit is reached: one row, cut
  for (int i = 5; i <= 20; ++i) EXPECT_EQ(declare("C" + std::to_string(i)), 1);
  // Each alone is far below the limit; together they stay near it.
  EXPECT_LT(RESDATA_Charged(), CATALOG_Engine().result_memory_limit + 18 * 60000);
  DBRESULTPTR fetched = Exec("FETCH ALL IN C3");
  EXPECT_EQ(fetched->status, DBRES_TUPLES_PART);
  EXPECT_EQ(DBresult_rows(fetched.get()), third);
  EXPECT_EQ(Exec("FETCH ALL IN C2")->status, DBRES_TUPLES_OK);
  // A query alone under the limit is cut while the cursors hold it.
  DBRESULTPTR cut = Exec("SELECT * FROM TW");
  EXPECT_EQ(cut->status, DBRES_TUPLES_PART);
  EXPECT_EQ(DBresult_rows(cut.get()), 1);
  // Closed cursors give their memory back.
  for (int i = 1; i <= 20; ++i) Run({("CLOSE C" + std::to_string(i)).c_str()});
  EXPECT_EQ(RESDATA_Charged(), idle);
  EXPECT_EQ(declare("C1"), kRows);
  EXPECT_EQ(Exec("SELECT * FROM TW")->status, DBRES_TUPLES_OK);
  // So do those the end of the transaction closes.
  EXPECT_EQ(declare("C2"), kRows);
  Run({"COMMIT"});
  EXPECT_EQ(RESDATA_Charged(), idle);
  CATALOG_Engine().result_memory_limit = saved;
}

// COUNT(*) counts in 64 bits; a count its INTEGER cell cannot hold is
// never passed off as exact: the result is marked cut short.
TEST_F(SelectTest, ACountBeyondItsCellIsMarkedNotExact) {
  Run({"CREATE TABLE TN (NN INTEGER)", "BEGIN"});
  // 1291^3 = 2151685171 combinations, one more row than 1290^3 =
  // 2146689000 below 2^31: the row-list path counts them without a walk.
  for (int i = 0; i < 1291; ++i) {
    ASSERT_EQ(Exec("INSERT INTO TN VALUES (" + std::to_string(i) + ")")->status, DBRES_COMMAND_OK);
  }
  Run({"COMMIT"});
  const Case over[] = {
      {"SELECT COUNT(*) FROM TN X, TN Y, TN Z", "2147483647 (4)"},
      {"SELECT COUNT(*) FROM TN X, TN Y, TN Z WHERE X.NN >= 0", "2147483647 (4)"},
      // Five tables: the product passes 2^63, and still does not wrap.
      {"SELECT COUNT(*) FROM TN A, TN B, TN C, TN D, TN E, TN F, TN G", "2147483647 (4)"},
      {"SELECT COUNT(*) FROM TN X, TN Y", "1666681"},
  };
  ExpectRows(over);
  Run({"BEGIN"});
  DBRESULTPTR r = Exec("DECLARE K CURSOR FOR SELECT COUNT(*) FROM TN X, TN Y, TN Z");
  ASSERT_EQ(r->status, DBRES_COMMAND_OK) << r->error;
  EXPECT_EQ(Exec("FETCH ALL IN K")->status, DBRES_TUPLES_PART);
  Run({"DELETE FROM TN WHERE NN = 0", "COMMIT"});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TN X, TN Y, TN Z"), "2146689000");
}

TEST(SelectCount, AddsAndMultipliesInSixtyFourBitsWithoutWrapping) {
  EXPECT_EQ(SELECT_CountAdd(2147483647, 1), int64_t{2147483648});
  EXPECT_EQ(SELECT_CountAdd(INT64_MAX, 1), INT64_MAX);
  EXPECT_EQ(SELECT_CountTimes(50000, 50000), int64_t{2500000000});
  EXPECT_EQ(SELECT_CountTimes(int64_t{1} << 40, int64_t{1} << 40), INT64_MAX);
  const struct {
    int64_t count;
    int32_t cell;
    int exact;
  } kCells[] = {
      {0, 0, 1},
      {2147483647, 2147483647, 1},
      {2147483648, 2147483647, 0},
      {2500000000, 2147483647, 0},
      {INT64_MAX, 2147483647, 0},
  };
  for (const auto& c : kCells) {
    int32_t cell = -1;
    EXPECT_EQ(SELECT_CountCell(c.count, &cell), c.exact) << c.count;
    EXPECT_EQ(cell, c.cell) << c.count;
  }
}

TEST_F(SelectTest, StopsWhenTheResultStoreIsFull) {
  // 8000 rows of three 9000-byte texts would need about 1150 arena blocks;
  // the walk stops at the store's last block and marks the result, as at
  // the memory limit, and the engine goes on.
  const int64_t saved = CATALOG_Engine().result_memory_limit;
  CATALOG_Engine().result_memory_limit = INT64_MAX;
  Run({"CREATE TABLE TW (CC CHARACTER(9000))", "BEGIN"});
  const std::string insert = "INSERT INTO TW VALUES ('" + std::string(9000, 'w') + "')";
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Exec(insert)->status, DBRES_COMMAND_OK);
  DBRESULTPTR r = Exec("DECLARE CW CURSOR FOR SELECT * FROM TW X, TW Y, TW Z");
  ASSERT_EQ(r->status, DBRES_COMMAND_OK) << r->error;
  EXPECT_GT(DBresult_rows(r.get()), 0);
  EXPECT_LT(DBresult_rows(r.get()), 8000);
  const RESDATA& held = CATALOG_Conn(conn_->conn_id)->cursors[0].result;
  EXPECT_TRUE(RESDATA_Full(held));
  EXPECT_TRUE(held.truncated);
  EXPECT_EQ(Rows("SELECT ID FROM TA"), "2;1");
  CATALOG_Engine().result_memory_limit = saved;
}

TEST_F(SelectTest, StopsEveryWalkTheUserInterrupts) {
  const char* kQueries[] = {
      "SELECT ID FROM TB",
      "SELECT X.ID FROM TA X, TB Y WHERE X.ID < Y.AID",
      "SELECT ID FROM TA WHERE ID IN (SELECT AID FROM TB)",
      "SELECT NM FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE Y.AID = X.ID)",
  };
  for (const char* sql : kQueries) {
    const std::string whole = Rows(sql);
    INTERRUPT_Arm();
    ASSERT_TRUE(INTERRUPT_Take());
    EXPECT_EQ(Rows(sql), std::string("ERR ") + INTERRUPT_MESSAGE) << sql;
    EXPECT_TRUE(INTERRUPT_Disarm());
    // Disarmed, nothing is left of the request.
    EXPECT_EQ(Rows(sql), whole) << sql;
  }
}

TEST_F(SelectTest, WritesRowsInTheReplyFormat) {
  Run({"CREATE TABLE TR (NM CHARACTER(3), SS SMALLINT, BB BINARY(4))", "BEGIN",
       "INSERT INTO TR VALUES ('ab', 7, 'z$00')", "COMMIT"});
  DBRESULTPTR r = Exec("SELECT NM, SS, BB, COUNT(*) FROM TR");
  ASSERT_EQ(r->status, DBRES_TUPLES_OK);
  const unsigned char* reply = REPLY_Data();
  const std::string expected(
      "2"
      "\x04\0\0\0"
      "\x01\0\0\0"
      "\x03\0NM\0"
      "0"
      "\x04\0\0\0"
      "\x03\0SS\0"
      "1"
      "\x02\0\0\0"
      "\x03\0BB\0"
      "\xA6"
      "\x06\0\0\0"
      "\x09\0COUNT(*)\0"
      "2"
      "\x04\0\0\0"
      "\x04\0ab \0"
      "\x02\0\x07\0"
      "\x04\0\x02\0z\0"
      "\x04\0\x01\0\0\0",
      1 + 8 + 10 + 10 + 10 + 16 + 6 + 4 + 6 + 6);
  ASSERT_EQ(REPLY_Length(), int(expected.size()));
  EXPECT_EQ(std::memcmp(reply, expected.data(), expected.size()), 0);
}

TEST_F(SelectTest, ReadsOrderBySectionsOfSubselects) {
  EXPECT_EQ(Rows("SELECT ID FROM TA WHERE ID IN (SELECT AID FROM TB ORDER BY AID DESC)"), "2;1");
  EXPECT_EQ(Rows("SELECT ID FROM TA X WHERE EXISTS (SELECT AID FROM TB WHERE AID = X.ID "
                 "ORDER BY AID) ORDER BY X.ID"),
            "1;2");
  // An EXISTS subselect has no columns to sort; its keys are not looked up.
  EXPECT_EQ(Rows("SELECT ID FROM TA WHERE EXISTS (SELECT AID FROM TB ORDER BY QQ DESC, T.QQ)"),
            "2;1");
}

TEST_F(SelectTest, RefusesEmptyNamesInADamagedMessage) {
  struct Built {
    std::vector<std::pair<unsigned char, const char*>> tokens;  // text null: no payload
    const char* error;
  };
  const Built cases[] = {
      {{{DBTK_MIN, nullptr}, {DBTK_IDENT, ""}, {DBTK_FROM, nullptr}, {DBTK_IDENT, "TA"}},
       "(SELECT) Attribute  not found"},
      {{{DBTK_STRINGVAL, ""}, {DBTK_STAR, nullptr}, {DBTK_FROM, nullptr}, {DBTK_IDENT, "TA"}},
       "(SELECT) Table-identifier '' does not exist"},
      {{{DBTK_STAR, nullptr},
        {DBTK_FROM, nullptr},
        {DBTK_IDENT, "TA"},
        {DBTK_WHERE, nullptr},
        {DBTK_DOT, nullptr},
        {DBTK_IDENT, ""},
        {DBTK_IDENT, "ID"},
        {DBTK_INTVAL, nullptr},
        {DBTK_EQ, nullptr},
        {DBTK_WHERE, nullptr}},
       "(WHERE) Table-identifier '' does not exist"},
  };
  for (const Built& c : cases) {
    SCOPED_TRACE(c.error);
    DBquery_reset();
    DBquery_addcmd('C');
    for (const auto& [kind, text] : c.tokens) {
      if (kind == DBTK_INTVAL) {
        DBquery_addtokint(kind, 1);
      } else if (text != nullptr) {
        DBquery_addtokstring(kind, text);
      } else {
        DBquery_addtok(kind);
      }
    }
    DBquery_addtok(DBTK_END);
    DBRESULTPTR r = DBexecmsg(conn_.get());
    EXPECT_EQ(r->error, c.error);
  }
}

TEST_F(SelectTest, AnswersEveryCutShortMessageWithOneReply) {
  char sql[] =
      "SELECT DISTINCT X.ID, MIN(Y.QT), Y.* FROM TA X, TB Y WHERE X.ID = Y.AID AND "
      "(Y.QT BETWEEN 1 AND 9 OR X.NM LIKE 'o%') AND X.ID IN (SELECT AID FROM TB WHERE "
      "QT > 2) AND EXISTS (SELECT * FROM TC WHERE BID = Y.ID) ORDER BY X.ID DESC, Y.QT;";
  std::string error;
  DBquery_reset();
  ASSERT_TRUE(PARSE_Statement(sql, &error)) << error;
  const std::vector<unsigned char> msg(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
  process_sql(conn_->conn_id, msg.data(), int(msg.size()));
  ASSERT_EQ(REPLY_Data()[0], '2') << reinterpret_cast<const char*>(REPLY_Data()) + 4;
  for (size_t n = 1; n < msg.size(); ++n) {
    SCOPED_TRACE(n);
    testing::internal::CaptureStderr();
    process_sql(conn_->conn_id, msg.data(), int(n));
    testing::internal::GetCapturedStderr();
    ASSERT_GT(REPLY_Length(), 0);
    const unsigned char code = REPLY_Data()[0];
    EXPECT_TRUE(code == '0' || code == '2' || code == '4') << code;
  }
}

}  // namespace
