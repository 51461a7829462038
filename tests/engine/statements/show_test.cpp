// Tests of SHOW, MAX and STOP DATABASE, run as SQL text through the client
// (DBexec), or as hand-built messages where a message must be malformed.
#include "engine/statements/show.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "engine/catalog/catalog.h"
#include "engine/storage/idxarray.h"
#include "engine/types/reply.h"
#include "engine/types/tokens.h"
#include "support/engine_fixture.h"

namespace {

namespace fs = std::filesystem;

class ShowTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Conn_Id 1 creates SHOWDB, 2 joins it, 3 has no database.
    for (auto [name, create] : {std::pair{"SHOWDB", 1}, {"SHOWDB", 0}, {"", 0}})
      conns_.push_back(DBconnect(name, create));
  }

  // The result as text: "ok", an error's text, or the header ("name:size"
  // per column) and the rows, cells joined by "|", lines by "\n".
  std::string Run(int conn, const std::string& sql) {
    DBRESULTPTR r = DBexec(conns_[conn - 1].get(), sql.c_str());
    if (r->status == DBRES_COMMAND_OK) return "ok";
    if (r->status != DBRES_TUPLES_OK) return r->error;
    std::string out;
    for (int c = 0; c < DBresult_cols(r.get()); ++c) {
      EXPECT_EQ(DBresult_type(r.get(), c), '0');  // every SHOW column is CHARACTER
      out += (c ? " " : "") + std::string(r->data.column_names[c]) + ":" +
             std::to_string(r->data.column_sizes[c]);
    }
    return out + (DBresult_rows(r.get()) ? "\n" : "") + ResultCells(r.get(), "|", "\n");
  }

  struct Step {
    int conn;
    const char* sql;
    const char* expected;
  };
  void Script(const std::vector<Step>& steps) {
    for (const Step& s : steps) EXPECT_EQ(Run(s.conn, s.sql), s.expected) << s.sql;
  }

  std::vector<std::unique_ptr<DBCONNECTION>> conns_;
};

constexpr char kAttribHeader[] = "Attribute:32 Type:9 Size:5 NOT NULL:3";

TEST_F(ShowTest, ShowsEveryFormAndRefusesWhatIsMissing) {
  Script({
      {1,
       "CREATE TABLE PLAIN (NAME CHARACTER(8), DATA BINARY(4000), NUM SMALLINT, CNT INTEGER "
       "NOT NULL, AMOUNT FLOAT, DAY DATE, HOUR TIME, STAMP TIMESTAMP)",
       "ok"},
      {1, "CREATE TABLE FIXED (ID INTEGER)", "ok"},
      {1, "CREATE TABLE SAFE (ID INTEGER)", "ok"},
      {1, "SET TABLE FIXED STATIC", "ok"},
      {1, "SET TABLE SAFE SECURE", "ok"},
      {1, "CREATE UNIQUE INDEX XPLAIN01 ON PLAIN (NAME)", "ok"},
      {1, "CREATE INDEX XPLAIN02 ON PLAIN (NUM, CNT, NUM)", "ok"},
      {1, "CREATE INDEX XFIXED01 ON FIXED (ID)", "ok"},
      {3, "SHOW DATABASES", "Database:32\nSHOWDB"},
      {1, "SHOW TABLES", "Table:32 Static:3 Secure:3\nPLAIN|No|No\nFIXED|Yes|No\nSAFE|Yes|Yes"},
      {1, "SHOW INDICES", "Index:32 Table:32\nXPLAIN01|PLAIN\nXPLAIN02|PLAIN\nXFIXED01|FIXED"},
      {1, "SHOW TABLE PLAIN",
       "Attribute:32 Type:9 Size:5 NOT NULL:3\nNAME|CHARACTER|8|No\n"
       "DATA|BINARY|4000|No\nNUM|SMALLINT|2|No\nCNT|INTEGER|4|Yes\nAMOUNT|FLOAT|8|No\n"
       "DAY|DATE|4|No\nHOUR|TIME|3|No\nSTAMP|TIMESTAMP|12|No"},
      // Non-unique indexes come first, though the unique one is older.
      {1, "SHOW INDICES ON TABLE PLAIN", "Indices:32 Unique:3\nXPLAIN02|No\nXPLAIN01|Yes"},
      // An attribute named twice in the index is listed twice.
      {1, "SHOW INDEX XPLAIN02",
       "Attribute:32 Type:9 Size:5 NOT NULL:3\nNUM|SMALLINT|2|No\n"
       "CNT|INTEGER|4|Yes\nNUM|SMALLINT|2|No"},
      {1, "SHOW TABLE NOPE", "(SHOW TABLE) Table 'NOPE' not found"},
      {1, "SHOW INDICES ON TABLE NOPE", "(SHOW INDICES ON TABLE) Table 'NOPE' not found"},
      {1, "SHOW INDEX NOPE", "(SHOW TABLE) Index 'NOPE' not found"},
      {3, "SHOW TABLES", "(SHOW TABLES) No database selected for Conn_Id 3\n"},
      {3, "SHOW INDICES", "(SHOW INDICES) No database selected for Conn_Id 3\n"},
      {3, "SHOW INDICES ON TABLE PLAIN", "(SHOW TABLE) No database selected for Conn_Id 3\n"},
      {3, "SHOW INDEX XPLAIN01", "(SHOW INDEX) No database selected for Conn_Id 3\n"},
      // A dropped table leaves the others in their order.
      {1, "DROP TABLE FIXED", "ok"},
      {1, "SHOW TABLES", "Table:32 Static:3 Secure:3\nPLAIN|No|No\nSAFE|Yes|Yes"},
  });
}

TEST_F(ShowTest, MaxIsPerConnectionAndBoundsTheNextSelect) {
  Script({{1, "MAX", "Max-Results:9\n30000"},
          {1, "MAX 5", "ok"},
          {1, "MAX", "Max-Results:9\n5"},
          {2, "MAX", "Max-Results:9\n30000"},
          {3, "MAX 0", "ok"},
          {3, "MAX", "Max-Results:9\n0"},
          {1, "SET DATABASE SHOWDB", "ok"},
          {1, "MAX", "Max-Results:9\n30000"},
          {1, "CREATE TABLE ROWS7 (ID INTEGER)", "ok"},
          {1, "BEGIN", "ok"}});
  for (int i = 0; i < 7; ++i) Run(1, "INSERT INTO ROWS7 VALUES (" + std::to_string(i) + ")");
  Run(1, "COMMIT");
  // {maximum, status, rows}: reaching the maximum counts as cut short; 0 is
  // no limit.
  constexpr int kCases[][3] = {{5, DBRES_TUPLES_PART, 5},
                               {7, DBRES_TUPLES_PART, 7},
                               {8, DBRES_TUPLES_OK, 7},
                               {0, DBRES_TUPLES_OK, 7}};
  for (const auto& c : kCases) {
    ASSERT_EQ(Run(1, "MAX " + std::to_string(c[0])), "ok");
    DBRESULTPTR r = DBexec(conns_[0].get(), "SELECT ID FROM ROWS7");
    EXPECT_EQ(r->status, c[1]) << c[0];
    EXPECT_EQ(DBresult_rows(r.get()), c[2]) << c[0];
  }
}

TEST_F(ShowTest, MalformedMessagesAndUnknownConnections) {
  Script({{1, "CREATE TABLE T1 (ID INTEGER)", "ok"}, {1, "CREATE INDEX I1 ON T1 (ID)", "ok"}});
  // An index name the database knows but whose table lost it.
  DBTABLE* t1 = nullptr;
  int pos = 0;
  ASSERT_EQ(CATALOG_FindTable(&CATALOG_Engine().dbs[0], "T1", &t1, &pos), 1);
  IDXARRAY_Add(&CATALOG_Engine().dbs[0].index_names, "GHOST", t1);
  const std::string kFoundInt = std::string("Syntax error: ") + DBTK_Name(DBTK_IDENT) +
                                " expected (found " + DBTK_Name(DBTK_INTVAL) + ")";
  const struct {
    int conn;
    std::vector<unsigned char> msg;
    std::string expected;
  } kCases[] = {
      {1, {'S'}, "(SHOW)\n"},
      {1, {'S', DBTK_TABLE}, "(SHOW TABLE)\n"},
      {1, {'S', DBTK_TABLE, DBTK_INTVAL, 1, 0, 0, 0}, "(SHOW TABLE)"},
      {1,
       {'S', DBTK_TABLE, DBTK_IDENT, 9},
       "(SHOW TABLE) table-name is missing\nSyntax error: <name> expected (unexpected end of "
       "squery)"},
      {1, {'S', DBTK_TABLE, DBTK_INDICES}, "(SHOW INDICES ON TABLE) table-name is missing\n"},
      {1, {'S', DBTK_INDEX, DBTK_INTVAL}, "(SHOW INDEX) index-name is missing\n" + kFoundInt},
      {1,
       {'S', DBTK_INDEX, DBTK_IDENT, 6, 0, 'G', 'H', 'O', 'S', 'T', 0},
       "(SHOW INDEX) Index 'GHOST' not found in table 'T1'"},
      {1, {'S', DBTK_END}, "No result string from process_sql!"},  // no form of its own
      {1,
       {'T', DBTK_INTVAL, 1, 0},
       "(MAX)\nSyntax error: <integer value> expected (unexpected end of squery)"},
      {9, {'S', DBTK_TABLES}, "(SHOW TABLES) Conn_Id 9 not found\n"},
      {9, {'S', DBTK_INDEX}, "(SHOW INDEX) Conn_Id 9 not found\n"},
      {9, {'T'}, "(MAX) Conn_Id 9 not found\n"},
      {9, {'V'}, "(STOP DATABASE) Database connection not found"},
  };
  for (const auto& c : kCases) EXPECT_EQ(EngineSendBytes(c.conn, c.msg), c.expected);
  // With no database at all SHOW DATABASES still answers its header.
  CATALOG_ResetForTest();
  EXPECT_EQ(EngineSendBytes(1, {'S', DBTK_DATABASES}), "<32>");
  const std::vector<unsigned char> kHeaderOnly = {'2', 1, 0,   0,   0,   0,   0,   0,   0,
                                                  9,   0, 'D', 'a', 't', 'a', 'b', 'a', 's',
                                                  'e', 0, '0', 32,  0,   0,   0};
  EXPECT_EQ(std::vector<unsigned char>(REPLY_Data(), REPLY_Data() + REPLY_Length()), kHeaderOnly);
}

using ShowDeathTest = ShowTest;

TEST_F(ShowDeathTest, StopDatabaseRefusesUnlessAloneAndOutsideTransactions) {
  Script({{1, "STOP", "(STOP DATABASE) Not possible with open connections"}});
  auto bare = DBconnect("", 0);  // Conn_Id 4: two without a database share one
  Script({{3, "STOP", "(STOP DATABASE) Not possible with open connections"}});
  DBdisconnect(bare.get());
  DBdisconnect(conns_[1].get());
  Script({{1, "CREATE TABLE FIXED (ID INTEGER)", "ok"},
          {1, "SET TABLE FIXED STATIC", "ok"},
          {1, "BEGIN", "ok"},
          {1, "INSERT INTO FIXED VALUES (42)", "ok"},
          {1, "STOP", "(STOP DATABASE) Not possible within active transaction"},
          {1, "COMMIT", "ok"}});
  // Alone on its database (3 has none): the exit handling saves the static
  // table, whose file SET TABLE made empty, and ends the process.
  const fs::path data = fs::path(home_.DataDir()) / "SHOWDB" / "FIXED.dat";
  const auto before = fs::file_size(data);
  EXPECT_EXIT(
      {
        DBexec(conns_[0].get(), "STOP");
        std::fputs("returned\n", stderr);
      },
      testing::ExitedWithCode(1), "^$");
  EXPECT_GT(fs::file_size(data), before);
}

}  // namespace
