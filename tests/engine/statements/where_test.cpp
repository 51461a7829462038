// WHERE sections through real statements: every reduction with its
// conversions and messages, the index paths against a plain scan, and the
// row lists' set semantics.
#include "engine/statements/where.h"

#include <algorithm>
#include <sstream>

#include "client/message.h"
#include "client/parser.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "query_fixture.h"

namespace {

struct Case {
  const char* condition;
  const char* expected;  // sorted keys, or the error text
};

class WhereTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run(
        {"CREATE TABLE TW (KK CHARACTER(6), NN INTEGER, SS SMALLINT, FF FLOAT, DD DATE, "
         "TT TIME, TS TIMESTAMP, BB BINARY(4))",
         "BEGIN"});
    const char* rows[] = {
        "('k1', 1, 10, 1.5, '2003-07-10', '08:00:00', '2003-07-10-08.00.00.000001', 'ab')",
        "('k2', 2, 20, 2.5, '2003-07-11', '09:00:00', '2003-07-11-09.00.00.000000', 'cd')",
        "('k3', 3, 30, 3.5, '2003-07-12', '10:00:00', '2003-07-12-10.00.00.000000', 'ef')",
        "('k4', 4, 40, 4.5, '2003-07-13', '11:00:00', '2003-07-13-11.00.00.000000', '$01')",
        "('k5', 5, 50, 5.5, '2004-01-01', '12:00:00', '2004-01-01-12.00.00.000000', 'ab')",
    };
    for (const char* values : rows) {
      Run({(std::string("INSERT INTO TW VALUES ") + values).c_str()});
    }
    Run({"COMMIT"});
  }

  // The keys a condition selects, sorted, or the error text.
  std::string Keys(const std::string& condition, const std::string& from = "TW") {
    std::string rows = Rows("SELECT KK FROM " + from + " WHERE " + condition);
    if (rows.rfind("ERR ", 0) == 0) return rows.substr(4);
    std::vector<std::string> keys;
    std::stringstream in(rows);
    for (std::string key; std::getline(in, key, ';');) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    std::string out;
    for (const std::string& k : keys) out += (out.empty() ? "" : " ") + k;
    return out;
  }

  template <size_t N>
  void ExpectKeys(const Case (&cases)[N]) {
    for (const Case& c : cases) EXPECT_EQ(Keys(c.condition), c.expected) << c.condition;
  }
};

TEST_F(WhereTest, ComparesAttributesWithConvertedConstants) {
  const Case cases[] = {
      {"NN = 3", "k3"},           {"3 = NN", "k3"},        {"NN < 3", "k1 k2"},
      {"3 > NN", "k1 k2"},        {"NN <= 3", "k1 k2 k3"}, {"4 <= NN", "k4 k5"},
      {"NN <> 2", "k1 k3 k4 k5"}, {"SS >= 40", "k4 k5"},   {"SS = -32768", ""},
      {"FF > 2", "k2 k3 k4 k5"},  {"FF = 2.5", "k2"},      {"KK = 'k1'", "k1"},
      {"KK > 'k3'", "k4 k5"},     {"BB = 'ab'", "k1 k5"},  {"BB = '$01'", "k4"},
      {"BB < 'cd'", "k1 k4 k5"},
  };
  ExpectKeys(cases);
}

TEST_F(WhereTest, ConvertsDateTimeAndTimestampTexts) {
  const Case cases[] = {
      {"DD = '2003-07-12'", "k3"},
      {"DD < '2003-07-12'", "k1 k2"},
      {"'2003-12-31' < DD", "k5"},
      {"TT >= '10:00:00'", "k3 k4 k5"},
      {"TT <> '08:00:00'", "k2 k3 k4 k5"},
      {"TS > '2003-07-10-08.00.00.000000'", "k1 k2 k3 k4 k5"},
      {"TS = '2003-07-10-08.00.00.000001'", "k1"},
      {"DD BETWEEN '2003-07-11' AND '2003-07-13'", "k2 k3 k4"},
      {"DD = 'bad'", "(WHERE) illegal DATE value 'bad' given for attribute 'DD'"},
      {"DD = '2003-02-30'", "(WHERE) illegal DATE value '2003-02-30' given for attribute 'DD'"},
      {"TT = '25:00:00'", "(WHERE) illegal TIME value '25:00:00' given for attribute TT"},
      {"TS = '2003-07-10'", "(WHERE) illegal TIMESTAMP value '2003-07-10' given for attribute TS"},
      {"DD = 20030712", "(WHERE) illegal value for attribute 'DD'"},
  };
  ExpectKeys(cases);
}

TEST_F(WhereTest, RefusesConstantsThatDoNotFitTheAttribute) {
  const Case cases[] = {
      {"SS = 40000", "(WHERE) illegal SMALLINT-value '40000' for attribute 'SS'"},
      {"SS < -32769", "(WHERE) illegal SMALLINT-value '-32769' for attribute 'SS'"},
      {"NN = 2.5", "(WHERE) illegal value for attribute 'NN'"},
      {"NN = 'x'", "(WHERE) illegal value for attribute 'NN'"},
      {"KK = 5", "(WHERE) illegal value for attribute 'KK'"},
      {"KK = 'k1234567'",
       "(WHERE) string 'k1234567' (size 8) too long for attribute 'KK' (size 6)"},
      {"BB = '$4'", "(WHERE) Binary value '$4' invalid for attribute 'BB' (size 4)"},
      {"BB = 'abcde'", "(WHERE) Binary value 'abcde' invalid for attribute 'BB' (size 4)"},
      {"ZZ = 1", "(WHERE) Attribute 'ZZ' not found"},
      {"TW.NN = 1", "(WHERE) Table-identifier 'TW' does not exist"},
      {"1 = 1", "(WHERE) invalid operands"},
  };
  ExpectKeys(cases);
  EXPECT_EQ(Keys("X.ZZ = 1", "TW X"), "(WHERE) Table 'TW' does not contain attribute 'ZZ'");
  EXPECT_EQ(Keys("X.NN = 1", "TW X"), "k1");
}

TEST_F(WhereTest, ReducesLikeInAndBetween) {
  const Case cases[] = {
      {"KK LIKE 'k%'", "k1 k2 k3 k4 k5"},
      {"KK LIKE '%3%'", "k3"},
      {"'k2%' LIKE KK", "k2"},
      {"NN LIKE 'x'", "(WHERE) illegal value for attribute 'NN'"},
      {"KK LIKE NN", "(WHERE) LIKE-operator requires string operand"},
      {"KK LIKE 5", "(WHERE) LIKE-operator requires string operand"},
      {"KK LIKE 'abcdefg'",
       "(WHERE) string 'abcdefg' (size 7) too long for attribute 'KK' (size 6)"},
      {"NN IN (1, 3)", "k1 k3"},
      {"KK IN ('k2', 'k9')", "k2"},
      {"BB IN ('$01', 'ef')", "k3 k4"},
      {"SS IN (10, 40000)", "(WHERE) illegal SMALLINT-value '40000' for attribute 'SS'"},
      {"NN IN (1, 'x')", "(WHERE) illegal value for attribute 'NN'"},
      {"3 IN (1, 3)", "(WHERE) IN-left-operand not an attribute"},
      {"NN IN (SELECT NN, KK FROM TW)", "(WHERE) IN-subselect returns more than one column"},
      {"NN IN (SELECT DD FROM TW)", "(WHERE) invalid operands for IN-operator"},
      {"NN IN (SELECT BB FROM TW)", "(WHERE) invalid operands for IN-operator"},
      {"NN IN (SELECT SS FROM TW WHERE SS < 30)", ""},
      {"SS IN (SELECT NN FROM TW WHERE NN > 3)", ""},
      {"KK IN (SELECT KK FROM TW WHERE NN > 3)", "k4 k5"},
      {"NN BETWEEN 2 AND 4", "k2 k3 k4"},
      {"FF BETWEEN 2 AND 3.5", "k2 k3"},
      {"KK BETWEEN 'k2' AND 'k3'", "k2 k3"},
      {"NN BETWEEN 4 AND 2", ""},
      {"NN BETWEEN 'x' AND 5", "(WHERE) incompatible operands for BETWEEN-operator"},
      {"BB BETWEEN 'a' AND 'b'", "(WHERE) illegal value for attribute 'BB'"},
      {"SS BETWEEN 1 AND 99999", "(WHERE) illegal SMALLINT-value '99999' for attribute 'SS'"},
  };
  ExpectKeys(cases);
}

TEST_F(WhereTest, CombinesRowListsWithAndOrNot) {
  const Case cases[] = {
      {"NN > 1 AND NN < 4", "k2 k3"},
      {"NN < 4 AND KK LIKE '%2%'", "k2"},
      {"KK LIKE '%2'", ""},
      {"NN = 1 OR NN = 5", "k1 k5"},
      {"NN < 3 OR NN < 2", "k1 k2"},
      {"NOT NN = 1", "k2 k3 k4 k5"},
      {"NOT (NN = 1 OR KK = 'k5')", "k2 k3 k4"},
      {"NOT (NOT NN = 2)", "k2"},
      {"NN > 1 AND NOT NN > 3", "k2 k3"},
      {"(NN = 1 OR NN = 2) AND (NN = 2 OR NN = 3)", "k2"},
      {"NOT EXISTS (SELECT * FROM TW)", ""},
      {"NOT EXISTS (SELECT * FROM TW WHERE NN > 9)", "k1 k2 k3 k4 k5"},
      {"NN = 1 OR EXISTS (SELECT * FROM TW)", "k1 k2 k3 k4 k5"},
  };
  ExpectKeys(cases);
}

TEST_F(WhereTest, ComparesWithEveryValueOfASubselect) {
  const Case cases[] = {
      {"NN = (SELECT NN FROM TW WHERE KK = 'k2')", "k2"},
      {"NN < (SELECT NN FROM TW WHERE NN > 3)", "k1 k2 k3 k4"},
      {"FF > (SELECT NN FROM TW WHERE NN = 3)", "k3 k4 k5"},
      {"KK = (SELECT KK FROM TW WHERE NN < 3)", "k1 k2"},
      {"DD = (SELECT DD FROM TW WHERE NN = 3)", "k3"},
      {"TS = (SELECT TS FROM TW WHERE NN = 1)", "k1"},
      {"NN = (SELECT DD FROM TW)", "(WHERE) illegal value for attribute 'NN'"},
      {"NN = (SELECT NN, KK FROM TW)", "(WHERE) subselect returns more than one column"},
      {"BB = (SELECT BB FROM TW)", "(WHERE) invalid operands"},
      {"BB = (SELECT KK FROM TW)", "(WHERE) illegal value for attribute 'BB'"},
      {"NN = (SELECT NN FROM TW WHERE NN > 9)", ""},
      {"NN <> (SELECT NN FROM TW WHERE NN > 9)", ""},
  };
  ExpectKeys(cases);
}

TEST_F(WhereTest, RefusesUpperAttributesWhereOnlyLocalOnesCanBeDecided) {
  const char* conditions[] = {
      "X.NN = 1", "1 < X.NN", "X.KK LIKE 'a%'", "X.NN IN (1, 2)", "X.NN BETWEEN 1 AND 2",
  };
  for (const char* condition : conditions) {
    SCOPED_TRACE(condition);
    EXPECT_EQ(Keys(std::string("NN IN (SELECT NN FROM TW WHERE ") + condition + ")", "TW X"),
              "(WHERE) Invalid usage of non-local attribute");
  }
}

TEST_F(WhereTest, ListsEachRowOnceWhateverTheValuesRepeat) {
  EXPECT_EQ(Rows("SELECT KK FROM TW WHERE NN IN (3, 3, 1, 3)"), "k3;k1");
  EXPECT_EQ(Rows("SELECT KK FROM TW WHERE BB IN ('ab', 'ab')"), "k5;k1");
  // The subselect returns 4 and 5; k1..k3 satisfy both, and come once.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TW WHERE NN < (SELECT NN FROM TW WHERE NN > 3)"), "4");
  EXPECT_EQ(Rows("SELECT KK FROM TW WHERE KK IN (SELECT X.KK FROM TW X, TW Y)"), "k5;k4;k3;k2;k1");
}

TEST_F(WhereTest, IndexPathsSelectTheRowsOfAPlainScan) {
  Run({"CREATE TABLE TX (KK CHARACTER(6), NN INTEGER, DD DATE, SS SMALLINT)",
       "CREATE TABLE TY (KK CHARACTER(6), NN INTEGER, DD DATE, SS SMALLINT)",
       "CREATE UNIQUE INDEX UX ON TX (KK)", "CREATE UNIQUE INDEX UY ON TX (NN)",
       "CREATE INDEX LX ON TX (DD)", "CREATE INDEX LY ON TX (SS)", "BEGIN"});
  for (int i = 0; i < 60; ++i) {
    char values[160];
    std::snprintf(values, sizeof values, "VALUES ('r%02d', %d, '2003-01-%02d', %d)", i, i * 7 % 60,
                  1 + i % 28, i % 9);
    Run({(std::string("INSERT INTO TX ") + values).c_str(),
         (std::string("INSERT INTO TY ") + values).c_str()});
  }
  Run({"COMMIT"});
  const char* conditions[] = {
      "KK = 'r17'",
      "KK = 'zz'",
      "NN = 14",
      "NN = 99",
      "SS = 4",
      "SS < 3",
      "SS <= 3",
      "SS > 6",
      "SS >= 8",
      "DD = '2003-01-05'",
      "DD < '2003-01-04'",
      "DD >= '2003-01-27'",
      "4 > SS",
      "SS BETWEEN 2 AND 4",
      "DD BETWEEN '2003-01-10' AND '2003-01-12'",
      "SS = 4 AND DD > '2003-01-14'",
      "NN IN (3, 14, 99)",
      "SS <> 4",
  };
  for (const char* condition : conditions) {
    SCOPED_TRACE(condition);
    const std::string indexed = Keys(condition, "TX");
    EXPECT_EQ(indexed, Keys(condition, "TY"));
    EXPECT_EQ(indexed.rfind("(WHERE)", 0), std::string::npos);
  }
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TX"), "60");
  // The ordered list delivers '<' in descending order of the attribute.
  EXPECT_EQ(Rows("SELECT SS FROM TX WHERE SS < 2"), std::string("1;1;1;1;1;1;1;0;0;0;0;0;0;0"));
}

TEST_F(WhereTest, StopsASubselectFedFilterAtTheRowMaximum) {
  DBquery_reset();
  std::string error;
  char sql[] = "SELECT KK FROM TW WHERE NN IN (SELECT NN FROM TW);";
  ASSERT_TRUE(PARSE_Statement(sql, &error)) << error;
  QUERYSTMT stmt;
  stmt.conn = CATALOG_Conn(conn_->conn_id);
  stmt.db = Db();
  stmt.timestamp = SELECT_Timestamp(*stmt.conn, *stmt.db);
  stmt.filter_row_max = 2;
  RESDATA result;
  QTOKENS tok{MESSAGE_Data(), MESSAGE_Length(), 1, 'C'};
  ASSERT_TRUE(SELECT_Body(&stmt, &tok, &result));
  EXPECT_EQ(result.rows, 2);
  EXPECT_EQ(result.truncated, 1);
  stmt.filter_row_max = 5;
  tok = QTOKENS{MESSAGE_Data(), MESSAGE_Length(), 1, 'C'};
  ASSERT_TRUE(SELECT_Body(&stmt, &tok, &result));
  EXPECT_EQ(result.rows, 5);
  EXPECT_EQ(result.truncated, 0);
  RESDATA_Free(&result);
}

TEST_F(WhereTest, ChoosesTheRowsOfOneTableForChangingStatements) {
  DBquery_reset();
  std::string error;
  char sql[] = "DELETE FROM TW WHERE NN > 2 AND KK <> 'k4';";
  ASSERT_TRUE(PARSE_Statement(sql, &error)) << error;
  DBCONN* conn = CATALOG_Conn(conn_->conn_id);
  QTOKENS tok{MESSAGE_Data(), MESSAGE_Length(), 0, 0};
  QTOKENS_Next(&tok);  // 'G'
  std::string table_name;
  std::string detail;
  tok.pos = TOKEN_ExpectText(tok.msg, tok.length, tok.pos, DBTK_IDENT, &table_name, &detail);
  QTOKENS_Next(&tok);  // 'w'
  std::vector<int32_t> rows;
  int truncated = -1;
  int pos = -1;
  DBTABLE* table = nullptr;
  ASSERT_TRUE(CATALOG_FindTable(Db(), table_name, &table, &pos));
  ASSERT_TRUE(WHERE_TableRows(conn, Db(), pos, SELECT_Timestamp(*conn, *Db()), "DELETE", &tok,
                              &rows, &truncated));
  EXPECT_EQ(tok.kind, DBTK_END);
  EXPECT_EQ(truncated, 0);
  std::vector<std::string> keys;
  for (int32_t row : rows) {
    keys.push_back(reinterpret_cast<const char*>(ROWPOOL_Data(table->rows, row)));
  }
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"k3    ", "k5    "}));

  // An evaluation failure names the statement.
  DBquery_reset();
  char bad[] = "DELETE FROM TW WHERE NN = TT;";
  ASSERT_TRUE(PARSE_Statement(bad, &error)) << error;
  tok = QTOKENS{MESSAGE_Data(), MESSAGE_Length(), 0, 0};
  QTOKENS_Next(&tok);
  tok.pos = TOKEN_ExpectText(tok.msg, tok.length, tok.pos, DBTK_IDENT, &table_name, &detail);
  QTOKENS_Next(&tok);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(WHERE_TableRows(conn, Db(), pos, SELECT_Timestamp(*conn, *Db()), "DELETE", &tok,
                               &rows, &truncated));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(Compute_ValExpr) Invalid datatype\n");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(REPLY_Data()) + 4),
            "(DELETE) Error in evaluation of WHERE-expression");
}

}  // namespace
