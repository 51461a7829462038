// Tests of SHOW, MAX and STOP DATABASE, run as SQL text through the client
// (DBexec), or as hand-built messages where a message must be malformed.
#include "engine/query/show.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/types/tokens.h"
#include "engine/types/wire.h"

namespace {

namespace fs = std::filesystem;

// A result as text: a header line of "name:size" per column, then one line
// per row with the cells joined by "|"; an error result as "error: <text>".
std::string Render(DBRESULT* r) {
  if (r->status == DBRES_BAD_REPLY || r->status == DBRES_REFUSED) return "error: " + r->error;
  std::string out;
  for (int c = 0; c < DBresult_cols(r); ++c) {
    EXPECT_EQ(DBresult_type(r, c), '0');  // every SHOW column is CHARACTER
    out += (c ? " " : "") + std::string(r->data.column_names[c]) + ":" +
           std::to_string(r->data.column_sizes[c]);
  }
  for (int row = 0; row < DBresult_rows(r); ++row) {
    out += "\n";
    for (int c = 0; c < DBresult_cols(r); ++c)
      out += (c ? "|" : "") + std::string(DBresult_value(r, row, c));
  }
  return out;
}

class ShowTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    dir_ = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/showXXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    for (const char* name : {"TARVIC_PATH", "HOME"}) {
      const char* old = std::getenv(name);
      old_.push_back(old != nullptr ? old : "");
      setenv(name, dir_.c_str(), 1);
    }
    CATALOG_ResetForTest();
    DBCLIENT_ResetForTest();
  }

  void TearDown() override {
    CATALOG_ResetForTest();
    setenv("TARVIC_PATH", old_[0].c_str(), 1);  // empty counts as unset
    setenv("HOME", old_[1].c_str(), 1);
    fs::remove_all(dir_);
  }

  // A connection to the database `name`, created first when `create`.
  static std::unique_ptr<DBCONNECTION> Connect(const char* name, int create) {
    std::unique_ptr<DBCONNECTION> conn = DBconnect(name, create);
    EXPECT_EQ(conn->status, DBCONN_OK) << conn->error;
    return conn;
  }

  static std::string Run(DBCONNECTION* conn, const std::string& sql) {
    DBRESULTPTR r = DBexec(conn, sql.c_str());
    return Render(r.get());
  }

  // Runs statements that must all succeed.
  static void Setup(DBCONNECTION* conn, const std::vector<std::string>& sqls) {
    for (const std::string& sql : sqls) {
      DBRESULTPTR r = DBexec(conn, sql.c_str());
      ASSERT_EQ(r->status, DBRES_COMMAND_OK) << sql << ": " << r->error;
    }
  }

  std::string dir_;
  std::vector<std::string> old_;
};

// The first byte of the reply and, for an error reply, its text.
std::string ReplyText() {
  const unsigned char* r = REPLY_Data();
  const int n = REPLY_Length();
  if (n >= 4 && r[0] == '0' && r[1] == 'b')
    return std::string(reinterpret_cast<const char*>(r) + 4, (r[2] | (r[3] << 8)) - 1);
  return std::string(1, static_cast<char>(r[0]));
}

TEST_F(ShowTest, ShowsEveryCatalogueForm) {
  auto conn = Connect("SHOWDB", 1);
  Setup(conn.get(),
        {"CREATE TABLE PLAIN (NAME CHARACTER(8), DATA BINARY(4000), NUM SMALLINT, "
         "CNT INTEGER NOT NULL, AMOUNT FLOAT, DAY DATE, HOUR TIME, STAMP TIMESTAMP)",
         "CREATE TABLE FIXED (ID INTEGER)", "CREATE TABLE SAFE (ID INTEGER)",
         "SET TABLE FIXED STATIC", "SET TABLE SAFE SECURE",
         "CREATE UNIQUE INDEX XPLAIN01 ON PLAIN (NAME)",
         "CREATE INDEX XPLAIN02 ON PLAIN (NUM, CNT, NUM)",
         "CREATE INDEX XFIXED01 ON FIXED (ID)"});
  struct Case {
    const char* sql;
    const char* expected;
  };
  const Case kCases[] = {
      {"SHOW DATABASES", "Database:32\nSHOWDB"},
      {"SHOW TABLES",
       "Table:32 Static:3 Secure:3\nPLAIN|No|No\nFIXED|Yes|No\nSAFE|Yes|Yes"},
      {"SHOW INDICES", "Index:32 Table:32\nXPLAIN01|PLAIN\nXPLAIN02|PLAIN\nXFIXED01|FIXED"},
      {"SHOW TABLE PLAIN",
       "Attribute:32 Type:9 Size:5 NOT NULL:3\nNAME|CHARACTER|8|No\nDATA|BINARY|4000|No\n"
       "NUM|SMALLINT|2|No\nCNT|INTEGER|4|Yes\nAMOUNT|FLOAT|8|No\nDAY|DATE|4|No\n"
       "HOUR|TIME|3|No\nSTAMP|TIMESTAMP|12|No"},
      // Non-unique indexes come first, though the unique one is older.
      {"SHOW INDICES ON TABLE PLAIN", "Indices:32 Unique:3\nXPLAIN02|No\nXPLAIN01|Yes"},
      // An attribute named twice in the index is listed twice.
      {"SHOW INDEX XPLAIN02",
       "Attribute:32 Type:9 Size:5 NOT NULL:3\nNUM|SMALLINT|2|No\nCNT|INTEGER|4|Yes\n"
       "NUM|SMALLINT|2|No"},
      {"SHOW INDEX XPLAIN01", "Attribute:32 Type:9 Size:5 NOT NULL:3\nNAME|CHARACTER|8|No"},
      {"SHOW TABLE NOPE", "error: (SHOW TABLE) Table 'NOPE' not found"},
      {"SHOW INDICES ON TABLE NOPE", "error: (SHOW INDICES ON TABLE) Table 'NOPE' not found"},
      {"SHOW INDEX NOPE", "error: (SHOW TABLE) Index 'NOPE' not found"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Run(conn.get(), c.sql), c.expected);
  }
  // A dropped table leaves the others in their order.
  Setup(conn.get(), {"DROP TABLE FIXED"});
  EXPECT_EQ(Run(conn.get(), "SHOW TABLES"), "Table:32 Static:3 Secure:3\nPLAIN|No|No\nSAFE|Yes|Yes");
  EXPECT_EQ(Run(conn.get(), "SHOW INDICES"), "Index:32 Table:32\nXPLAIN01|PLAIN\nXPLAIN02|PLAIN");
}

TEST_F(ShowTest, ChecksConnectionAndDatabaseExceptForDatabases) {
  // No database at all: SHOW DATABASES still answers, with its header.
  DBquery_reset();
  DBquery_addcmd('1');
  DBquery_addtokstring(DBTK_IDENT, "");
  process_sql(7, MESSAGE_Data(), MESSAGE_Length());
  ASSERT_EQ(ReplyText(), "1");
  DBquery_reset();
  DBquery_addcmd('S');
  DBquery_addtok(DBTK_DATABASES);
  process_sql(7, MESSAGE_Data(), MESSAGE_Length());
  const std::vector<unsigned char> kEmpty = {'2', 1, 0, 0, 0, 0, 0, 0, 0, 9, 0, 'D', 'a', 't',
                                             'a', 'b', 'a', 's', 'e', 0, '0', 32, 0, 0, 0};
  EXPECT_EQ(std::vector<unsigned char>(REPLY_Data(), REPLY_Data() + REPLY_Length()), kEmpty);

  auto conn = Connect("SHOWDB", 1);
  DBCONNECTION none = *conn;
  none.conn_id = 7;  // the connection without a database
  DBCONNECTION unknown = *conn;
  unknown.conn_id = 99;
  struct Case {
    DBCONNECTION* conn;
    const char* sql;
    const char* expected;
  };
  const Case kCases[] = {
      {&none, "SHOW DATABASES", "Database:32\nSHOWDB"},
      {&none, "SHOW TABLES", "error: (SHOW TABLES) No database selected for Conn_Id 7\n"},
      {&none, "SHOW INDICES", "error: (SHOW INDICES) No database selected for Conn_Id 7\n"},
      {&none, "SHOW TABLE T1", "error: (SHOW TABLE) No database selected for Conn_Id 7\n"},
      {&none, "SHOW INDICES ON TABLE T1",
       "error: (SHOW TABLE) No database selected for Conn_Id 7\n"},
      {&none, "SHOW INDEX I1", "error: (SHOW INDEX) No database selected for Conn_Id 7\n"},
      {&unknown, "SHOW TABLES", "error: (SHOW TABLES) Conn_Id 99 not found\n"},
      {&unknown, "SHOW INDICES", "error: (SHOW INDICES) Conn_Id 99 not found\n"},
      {&unknown, "SHOW TABLE T1", "error: (SHOW TABLE) Conn_Id 99 not found\n"},
      {&unknown, "SHOW INDEX I1", "error: (SHOW INDEX) Conn_Id 99 not found\n"},
      {&unknown, "MAX", "error: (MAX) Conn_Id 99 not found\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Run(c.conn, c.sql), c.expected);
  }
}

TEST_F(ShowTest, MalformedMessagesAreRefusedWithTheReadersDetail) {
  auto conn = Connect("SHOWDB", 1);
  Setup(conn.get(), {"CREATE TABLE T1 (ID INTEGER)", "CREATE INDEX I1 ON T1 (ID)"});
  // The index name is known to the database, but its table lost it.
  DBDATABASE& db = CATALOG_Engine().dbs[0];
  DBTABLE* t1 = nullptr;
  int pos = 0;
  ASSERT_EQ(CATALOG_FindTable(&db, "T1", &t1, &pos), 1);
  IDXARRAY_Add(&db.index_names, "GHOST", t1);

  const std::string kIntCut = "Syntax error: <integer value> expected (unexpected end of squery)";
  struct Case {
    std::vector<unsigned char> tokens;  // after the letter
    char letter;
    std::string expected;
  };
  const Case kCases[] = {
      {{}, 'S', "(SHOW)\n"},
      {{DBTK_TABLE}, 'S', "(SHOW TABLE)\n"},
      {{DBTK_TABLE, DBTK_INTVAL, 1, 0, 0, 0}, 'S', "(SHOW TABLE)"},
      {{DBTK_TABLE, DBTK_IDENT, 9}, 'S',
       "(SHOW TABLE) table-name is missing\nSyntax error: <name> expected (unexpected end of "
       "squery)"},
      {{DBTK_TABLE, DBTK_INDICES}, 'S', "(SHOW INDICES ON TABLE) table-name is missing\n"},
      {{DBTK_INDEX, DBTK_INTVAL}, 'S',
       std::string("(SHOW INDEX) index-name is missing\nSyntax error: ") +
           DBTK_Name(DBTK_IDENT) + " expected (found " + DBTK_Name(DBTK_INTVAL) + ")"},
      {{DBTK_INDEX, DBTK_IDENT, 6, 0, 'G', 'H', 'O', 'S', 'T', 0}, 'S',
       "(SHOW INDEX) Index 'GHOST' not found in table 'T1'"},
      // Any other first token leaves no result of its own.
      {{DBTK_END}, 'S', "No result string from process_sql!"},
      {{DBTK_INTVAL, 1, 0}, 'T', "(MAX)\n" + kIntCut},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    std::vector<unsigned char> msg = {static_cast<unsigned char>(c.letter)};
    msg.insert(msg.end(), c.tokens.begin(), c.tokens.end());
    process_sql(conn->conn_id, msg.data(), static_cast<int>(msg.size()));
    EXPECT_EQ(ReplyText(), c.expected);
  }
}

TEST_F(ShowTest, MaxReadsAndSetsTheConnectionsRowMaximum) {
  auto conn = Connect("SHOWDB", 1);
  auto other = Connect("SHOWDB", 0);
  EXPECT_EQ(Run(conn.get(), "MAX"), "Max-Results:9\n30000");
  EXPECT_EQ(Run(conn.get(), "MAX 5"), "");
  EXPECT_EQ(Run(conn.get(), "MAX"), "Max-Results:9\n5");
  EXPECT_EQ(Run(other.get(), "MAX"), "Max-Results:9\n30000");  // per connection
  // 0 stands for "no limit" and reads back as it was set.
  EXPECT_EQ(Run(conn.get(), "MAX 0"), "");
  EXPECT_EQ(Run(conn.get(), "MAX"), "Max-Results:9\n0");
  // A built message may carry any value, a negative one included.
  DBquery_reset();
  DBquery_addcmd('T');
  DBquery_addtokint(DBTK_INTVAL, -3);
  DBRESULTPTR set = DBexecmsg(conn.get());
  EXPECT_EQ(set->status, DBRES_COMMAND_OK);
  EXPECT_EQ(Run(conn.get(), "MAX"), "Max-Results:9\n-3");
  // Selecting a database brings the default back.
  EXPECT_EQ(Run(conn.get(), "SET DATABASE SHOWDB"), "");
  EXPECT_EQ(Run(conn.get(), "MAX"), "Max-Results:9\n30000");
}


using ShowDeathTest = ShowTest;

TEST_F(ShowDeathTest, StopDatabaseRefusesWhileOthersMightStillWork) {
  auto conn = Connect("SHOWDB", 1);
  auto second = Connect("SHOWDB", 0);
  DBCONNECTION unknown = *conn;
  unknown.conn_id = 99;
  EXPECT_EQ(Run(&unknown, "STOP"),
            "error: (STOP DATABASE) Database connection not found");
  EXPECT_EQ(Run(conn.get(), "STOP"),
            "error: (STOP DATABASE) Not possible with open connections");
  DBdisconnect(second.get());
  Setup(conn.get(), {"BEGIN"});
  EXPECT_EQ(Run(conn.get(), "STOP"),
            "error: (STOP DATABASE) Not possible within active transaction");
  Setup(conn.get(), {"ABORT"});
  // Two connections without a database count as sharing one.
  auto bare = Connect("", 0);
  auto bare2 = Connect("", 0);
  EXPECT_EQ(Run(bare.get(), "STOP"),
            "error: (STOP DATABASE) Not possible with open connections");
}

TEST_F(ShowDeathTest, StopDatabaseSavesStaticTablesAndEndsTheProcess) {
  auto conn = Connect("SHOWDB", 1);
  auto elsewhere = Connect("OTHERDB", 1);  // on another database: no obstacle
  Setup(conn.get(), {"CREATE TABLE FIXED (ID INTEGER)", "SET TABLE FIXED STATIC", "BEGIN",
                     "INSERT INTO FIXED VALUES (42)", "COMMIT"});
  const fs::path data = fs::path(dir_) / "Tarvic.dat" / "SHOWDB" / "FIXED.dat";
  // The file of the empty table exists since SET TABLE; the row is written
  // only by the save.
  ASSERT_TRUE(fs::exists(data));
  const auto before = fs::file_size(data);
  EXPECT_EXIT(
      {
        DBexec(conn.get(), "STOP");
        std::fputs("returned\n", stderr);  // the pattern below must not see this
      },
      testing::ExitedWithCode(1), "^$");
  ASSERT_TRUE(fs::exists(data));
  EXPECT_GT(fs::file_size(data), before);
}

}  // namespace
