// Tests of the data definition statements, run as real command messages
// through process_sql: built by the statement parser from SQL text, or by
// the message builder where a message must be malformed.
#include "engine/catalog/ddl.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "client/message.h"
#include "client/parser.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/storage/transaction.h"
#include "engine/types/wire.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

constexpr char kKaspoSql[] =
    "CREATE TABLE KASPO (  KASPO_ID CHARACTER(8),  FILENAME CHARACTER(80),  DESCRIPTION "
    "CHARACTER(160),  SIZE INTEGER,  COMPRESSED CHARACTER(1));";
constexpr char kKaspoDef[] =
    "KASPO(0);[KASPO_ID,0,8,0][FILENAME,0,80,0][DESCRIPTION,0,160,0][SIZE,2,0]"
    "[COMPRESSED,0,1,0];;XKASPO01(KASPO_ID);";

// The reply as text: "OK" for success, the text of an error reply, else the
// reply's first byte in angle brackets.
std::string ReplyText() {
  const unsigned char* r = REPLY_Data();
  const int n = REPLY_Length();
  if (n == 1 && r[0] == '1') return "OK";
  if (n >= 5 && r[0] == '0' && r[1] == 'b') {
    const int len = r[2] | (r[3] << 8);
    return std::string(reinterpret_cast<const char*>(r) + 4, len - 1);
  }
  char text[16];
  std::snprintf(text, sizeof text, "<%02X>", n > 0 ? r[0] : 0);
  return text;
}

std::string ReadText(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!PLATFORM_ReadFile(path.c_str(), &bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

class DdlTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    dir_ = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/ddlXXXXXX";
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    for (const char* name : {"TARVIC_PATH", "HOME"}) {
      old_.push_back(std::getenv(name) != nullptr ? std::getenv(name) : "");
      setenv(name, dir_.c_str(), 1);
    }
    CATALOG_ResetForTest();
  }

  void TearDown() override {
    CATALOG_ResetForTest();
    setenv("TARVIC_PATH", old_[0].c_str(), 1);  // empty counts as unset
    setenv("HOME", old_[1].c_str(), 1);
    fs::remove_all(dir_);
  }

  // Runs SQL text as the client would send it.
  std::string Sql(int conn, const std::string& sql) {
    std::string text = sql.back() == ';' ? sql : sql + ";";
    std::string error;
    DBquery_reset();
    if (!PARSE_Statement(text.data(), &error)) return "parse: " + error;
    return Send(conn);
  }

  // Runs the message in the message buffer.
  static std::string Send(int conn) {
    process_sql(conn, MESSAGE_Data(), MESSAGE_Length());
    return ReplyText();
  }

  // A message of a command letter and name tokens, built by hand.
  static std::string Names(int conn, char letter, std::vector<const char*> names) {
    DBquery_reset();
    DBquery_addcmd(letter);
    for (const char* n : names) DBquery_addtokstring('a', n);
    return Send(conn);
  }

  std::string DataDir() const { return dir_ + "/Tarvic.dat"; }
  std::string DefText(const char* db) const { return ReadText(DataDir() + "/" + db + ".def"); }

  // Connection 1 on a new database DB1.
  void OpenDb1() { ASSERT_EQ(Sql(1, "CREATE DATABASE DB1"), "OK"); }

  static DBTABLE* Table(const char* db, const char* name) {
    int pos = 0;
    DBTABLE* table = nullptr;
    if (!CATALOG_FindDatabase(db, &pos)) return nullptr;
    return CATALOG_FindTable(&CATALOG_Engine().dbs[pos], name, &table, nullptr) ? table : nullptr;
  }

  std::string dir_;
  std::vector<std::string> old_;
};

TEST_F(DdlTest, CreateDatabaseWritesAnEmptyDefinitionAndSelectsIt) {
  OpenDb1();
  EXPECT_EQ(DefText("DB1"), "");
  EXPECT_TRUE(PLATFORM_IsDirectory((DataDir() + "/DB1").c_str()));
  EXPECT_EQ(CATALOG_Conn(1)->database, 0);
  EXPECT_EQ(Sql(1, "CREATE DATABASE DB2"), "(CREATE DATABASE) Already connected to database");
  // A refused CREATE DATABASE of a new Conn_Id takes no slot.
  EXPECT_EQ(Sql(2, "CREATE DATABASE DB1"), "(CREATE DATABASE) Database 'DB1' exists!");
  EXPECT_EQ(Names(3, '3', {}), "(CREATE DATABASE) Database-name missing\n");
  EXPECT_EQ(Names(3, '3', {"../UP"}), "(CREATE DATABASE) Invalid database-name '../UP'");
  EXPECT_EQ(CATALOG_Engine().conn_count, 1);
  EXPECT_FALSE(PLATFORM_Exists((dir_ + "/UP.def").c_str()));
}

TEST_F(DdlTest, CreateDatabaseRefusesThe16thDatabaseAndConnection) {
  for (int i = 1; i <= 15; ++i) {
    ASSERT_EQ(Sql(i, "CREATE DATABASE D" + std::to_string(i)), "OK");
  }
  EXPECT_EQ(Sql(16, "CREATE DATABASE D16"),
            "(CREATE DATABASE) No more connections available (DB_MAXCONNS = 15)!");
  Names(1, '2', {});
  ASSERT_EQ(Names(16, '1', {""}), "OK");  // a slot without a database
  EXPECT_EQ(Sql(16, "CREATE DATABASE D16"),
            "(CREATE DATABASE) No more databases available (DB_MAXDBS = 15)!");
  EXPECT_EQ(CATALOG_Conn(16)->database, -1);
}

TEST_F(DdlTest, CreateDatabaseThatCannotWriteItsFileChangesNothing) {
  // A file where the data directory belongs.
  ASSERT_EQ(PLATFORM_WriteFile(DataDir().c_str(), "x", 1), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Sql(1, "CREATE DATABASE DB1"), "(CREATE DATABASE) Database file could not be generated\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVIC) Database-directory '" + DataDir() + "' could not be created!\n");
  EXPECT_EQ(CATALOG_Engine().db_count, 0);
  EXPECT_EQ(CATALOG_Engine().conn_count, 0);
}

TEST_F(DdlTest, CreateTableAndUniqueIndexWriteTheItemTableDefinition) {
  OpenDb1();
  ASSERT_EQ(Sql(1, kKaspoSql), "OK");
  ASSERT_EQ(Sql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)"), "OK");
  EXPECT_EQ(DefText("DB1"), kKaspoDef);
  EXPECT_EQ(Sql(1, kKaspoSql), "(CREATE TABLE) Table 'KASPO' already exists");
  DBTABLE* kaspo = Table("DB1", "KASPO");
  ASSERT_NE(kaspo, nullptr);
  EXPECT_EQ(kaspo->rows.row_size, 258);
  EXPECT_EQ(kaspo->loaded, '1');
}

TEST_F(DdlTest, CreateTableRefusalsLeaveNoTable) {
  OpenDb1();
  struct Case {
    std::vector<unsigned char> tokens;  // after '5' 'a'(T2)
    const char* reply;
  };
  const Case cases[] = {
      {{}, ""},  // the message ends after the table name: an empty detail
      {{'a', 3, 0, 'C', '1', 0, 'Z'}, "(CREATE TABLE) Syntax error: illegal data-type"},
      {{'a', 3, 0, 'C', '1', 0, '0', 'x'}, "Syntax error: <integer value> expected (found ;)"},
      {{'a', 3, 0, 'C', '1', 0, '2', 'E'}, "(CREATE TABLE) Syntax error: attrib-name is missing"},
      {{'a', 3, 0, 'C', '1', 0, '2', 'a', 3, 0, 'C', '2', 0, 0xA6, 'd', 0, 0, 0, 0, 'x'},
       "(CREATE TABLE) Invalid length 0 of attribute 'C2'"},
      {{'a', 2, 0, 'C', 0, '2', 'x'}, "(CREATE TABLE) Invalid name 'C'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    DBquery_reset();
    DBquery_addcmd('5');
    DBquery_addtokstring('a', "T2");
    for (unsigned char b : c.tokens) DBquery_addtok(b);
    EXPECT_EQ(Send(1), c.reply);
    EXPECT_EQ(Table("DB1", "T2"), nullptr);
  }
  EXPECT_EQ(DefText("DB1"), "");
  // A one-letter table name is refused; the process goes on.
  EXPECT_EQ(Sql(1, "CREATE TABLE T (AB INTEGER)"), "(CREATE TABLE) Invalid name 'T'");
  ASSERT_EQ(Sql(1, "CREATE TABLE T2 (NM CHARACTER(10) NOT NULL, QTY INTEGER)"), "OK");
  EXPECT_EQ(DefText("DB1"), "T2(0);[NM,0,10,1][QTY,2,0];;;");
}

TEST_F(DdlTest, StatementsNeedAConnectionWithADatabase) {
  struct Case {
    const char* sql;
    const char* reply;
  };
  constexpr Case kCases[] = {
      {"CREATE TABLE T2 (AB INTEGER)", "(CREATE TABLE) Conn_Id 9 not found\n"},
      {"DROP TABLE T2", "(DROP TABLE) Conn_Id 9 not found\n"},
      {"CREATE INDEX I1 ON T2 (AB)", "(CREATE INDEX) Conn_Id 9 not found\n"},
      {"CREATE UNIQUE INDEX I1 ON T2 (AB)", "(CREATE INDEX) Conn_Id 9 not found\n"},
      {"DROP INDEX I1", "(DROP INDEX) Conn_Id 9 not found\n"},
      {"SET TABLE T2 STATIC", "(SET TABLE) Conn_Id 9 not found\n"},
      {"SET TABLE T2 SECURE", "(SET TABLE SECURE) Conn_Id 9 not found\n"},
      {"SAVE DATABASE", "(SAVE DATABASE) Conn_Id 9 not found\n"},
      {"DROP DATABASE", "(DROP DATABASE) Database already dropped"},
  };
  for (const Case& c : kCases) EXPECT_EQ(Sql(9, c.sql), c.reply) << c.sql;
  ASSERT_EQ(Names(9, '1', {""}), "OK");
  EXPECT_EQ(Sql(9, "CREATE UNIQUE INDEX I1 ON T2 (AB)"),
            "(CREATE INDEX) No database selected for Conn_Id 9\n");
  EXPECT_EQ(Sql(9, "DROP DATABASE"), "(DROP DATABASE) No database selected for Conn_Id 9\n");
}

TEST_F(DdlTest, IndexNamesAreUniqueInTheDatabaseAndReleasedOnFailure) {
  OpenDb1();
  ASSERT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER, A2 CHARACTER(4))"), "OK");
  ASSERT_EQ(Sql(1, "CREATE TABLE T2 (B1 INTEGER)"), "OK");
  ASSERT_EQ(Sql(1, "CREATE INDEX I1 ON T2 (B1)"), "OK");
  EXPECT_EQ(Sql(1, "CREATE INDEX I1 ON T1 (A1)"), "(CREATE INDEX) Index 'I1' already exists");
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX I1 ON T1 (A1)"),
            "(CREATE UNIQUE INDEX) Index 'I1' already exists");
  EXPECT_EQ(Sql(1, "CREATE INDEX I2 ON T1 (A1, ZZ)"),
            "(CREATE INDEX) Attribute 'ZZ' does not exist in table 'T1'");
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX I2 ON T1 (ZZ)"),
            "(CREATE UNIQUE INDEX) Attribute 'ZZ' not found in table 'T1'");
  EXPECT_EQ(Sql(1, "CREATE INDEX I2 ON NOPE (A1)"), "(CREATE INDEX) Table 'NOPE' does not exist");
  EXPECT_EQ(Names(1, '7', {"I2", "T1"}), "(CREATE INDEX) Syntax error: attrib-name is missing");
  EXPECT_EQ(Names(1, '7', {}), "(CREATE INDEX) index-name is missing\n");
  EXPECT_EQ(Names(1, '8', {"I2"}), "(CREATE UNIQUE INDEX) table-name is missing\n");
  DBATTRIB* a1 = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(Table("DB1", "T1"), "A1", &a1, nullptr), 1);
  EXPECT_EQ(a1->index_count, 0);
  EXPECT_EQ(a1->list, nullptr);
  ASSERT_EQ(Sql(1, "CREATE INDEX I2 ON T1 (A1)"), "OK");
  ASSERT_EQ(Sql(1, "CREATE UNIQUE INDEX U1 ON T1 (A2, A1)"), "OK");
  EXPECT_EQ(DefText("DB1"), "T1(0);[A1,2,0][A2,0,4,0];I2(A1);U1(A2)(A1);T2(0);[B1,2,0];I1(B1);;");
}

TEST_F(DdlTest, IndexesOnOneAttributeShareItsValueList) {
  OpenDb1();
  ASSERT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  DBATTRIB* a1 = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(Table("DB1", "T1"), "A1", &a1, nullptr), 1);
  ASSERT_EQ(Sql(1, "CREATE INDEX I1 ON T1 (A1)"), "OK");
  const IDXLIST* list = a1->list.get();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(Sql(1, "CREATE INDEX I2 ON T1 (A1)"), "OK");
  EXPECT_EQ(a1->list.get(), list);
  EXPECT_EQ(a1->index_count, 2);
  ASSERT_EQ(Sql(1, "DROP INDEX I1"), "OK");
  EXPECT_EQ(a1->list.get(), list);
  ASSERT_EQ(Sql(1, "DROP INDEX I2"), "OK");
  EXPECT_EQ(a1->list, nullptr);
  EXPECT_EQ(Sql(1, "DROP INDEX I2"), "(DROP INDEX) Index 'I2' not found");
  EXPECT_EQ(Names(1, '9', {}), "(DROP INDEX) index-name is missing\n");
  EXPECT_EQ(DefText("DB1"), "T1(0);[A1,2,0];;;");
}

TEST_F(DdlTest, FailedDefinitionWriteUndoesTheStatement) {
  OpenDb1();
  ASSERT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  // A directory where the temporary definition file belongs.
  const std::string blocker = DataDir() + "/DB1.def.tmp";
  ASSERT_EQ(PLATFORM_MakeDirectory(blocker.c_str()), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Sql(1, "CREATE INDEX I1 ON T1 (A1)"),
            "(CREATE INDEX) Database file could not be generated\n");
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX U1 ON T1 (A1)"),
            "(CREATE UNIQUE INDEX) Database file could not be generated\n");
  EXPECT_EQ(Sql(1, "CREATE TABLE T2 (A1 INTEGER)"),
            "(CREATE TABLE) Database file could not be generated\n");
  EXPECT_EQ(Sql(1, "SET TABLE T1 STATIC"), "(SET TABLE) Database file could not be generated\n");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Database-file"), std::string::npos);
  DBATTRIB* a1 = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(Table("DB1", "T1"), "A1", &a1, nullptr), 1);
  EXPECT_EQ(a1->index_count, 0);
  EXPECT_EQ(a1->list, nullptr);
  EXPECT_EQ(Table("DB1", "T2"), nullptr);
  EXPECT_EQ(Table("DB1", "T1")->kind, '1');  // SET TABLE keeps its change
  ASSERT_EQ(PLATFORM_RemoveDirectory(blocker.c_str()), 1);
  EXPECT_EQ(Sql(1, "CREATE INDEX I1 ON T1 (A1)"), "OK");
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX U1 ON T1 (A1)"), "OK");
  EXPECT_EQ(DefText("DB1"), "T1(1);[A1,2,0];I1(A1);U1(A1);");
}

TEST_F(DdlTest, UniqueIndexNeedsAnEmptyTable) {
  OpenDb1();
  ASSERT_EQ(Sql(1, kKaspoSql), "OK");
  DBTABLE* kaspo = Table("DB1", "KASPO");
  const int row = RowPool_NewSlot(&kaspo->rows, 1);
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)"),
            "(CREATE UNIQUE INDEX) Index 'XKASPO01' cannot be created because table 'KASPO' is "
            "not empty");
  RowPool_FreeSlot(&kaspo->rows, row);
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)"), "OK");
}

TEST_F(DdlTest, SetTableWritesTheKindAndTheTableFiles) {
  OpenDb1();
  ASSERT_EQ(Sql(1, kKaspoSql), "OK");
  ASSERT_EQ(Sql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)"), "OK");
  ASSERT_EQ(Sql(1, "SET TABLE KASPO SECURE"), "OK");
  std::string secure = kKaspoDef;
  secure[6] = '2';
  EXPECT_EQ(DefText("DB1"), secure);
  EXPECT_TRUE(PLATFORM_IsRegularFile((DataDir() + "/DB1/KASPO.dat").c_str()));
  ASSERT_EQ(Sql(1, "SET TABLE KASPO STATIC"), "OK");
  std::string plain = kKaspoDef;
  plain[6] = '1';
  EXPECT_EQ(DefText("DB1"), plain);
  EXPECT_EQ(Table("DB1", "KASPO")->secure, '0');
  EXPECT_EQ(Sql(1, "SET TABLE NOPE SECURE"),
            "(SET TABLE SECURE) Table 'NOPE' does not exist in database 'DB1'");
  EXPECT_EQ(Names(1, 'Q', {}), "(SET TABLE) table-name is missing\n");
}

TEST_F(DdlTest, SaveDatabaseWithoutItsDirectoryWarnsAndSucceeds) {
  OpenDb1();
  ASSERT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  ASSERT_EQ(Sql(1, "SET TABLE T1 STATIC"), "OK");
  std::error_code ignored;
  fs::remove_all(DataDir() + "/DB1", ignored);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Sql(1, "SAVE DATABASE"), "OK");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVICDB) Warning: Could not save database 'DB1'\n");
  ASSERT_EQ(PLATFORM_MakeDirectory((DataDir() + "/DB1").c_str()), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Sql(1, "SAVE DATABASE"), "OK");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(PLATFORM_IsRegularFile((DataDir() + "/DB1/T1.dat").c_str()));
}

TEST_F(DdlTest, DropTableDeletesFilesOfStaticTablesOnly) {
  OpenDb1();
  ASSERT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  ASSERT_EQ(Sql(1, "CREATE TABLE T2 (A1 INTEGER)"), "OK");
  ASSERT_EQ(Sql(1, "CREATE INDEX I1 ON T1 (A1)"), "OK");
  ASSERT_EQ(Sql(1, "CREATE UNIQUE INDEX U1 ON T1 (A1)"), "OK");
  ASSERT_EQ(Sql(1, "SET TABLE T1 STATIC"), "OK");
  const std::string t1 = DataDir() + "/DB1/T1";
  ASSERT_TRUE(PLATFORM_IsRegularFile((t1 + ".dat").c_str()));
  ASSERT_TRUE(PLATFORM_IsRegularFile((t1 + ".idx").c_str()));
  const std::string stray = DataDir() + "/DB1/T2.dat";
  ASSERT_EQ(PLATFORM_WriteFile(stray.c_str(), "##", 2), 1);
  ASSERT_EQ(Sql(1, "DROP TABLE T1"), "OK");
  EXPECT_FALSE(PLATFORM_Exists((t1 + ".dat").c_str()));
  EXPECT_FALSE(PLATFORM_Exists((t1 + ".idx").c_str()));
  ASSERT_EQ(Sql(1, "DROP TABLE T2"), "OK");
  EXPECT_TRUE(PLATFORM_Exists(stray.c_str()));
  EXPECT_EQ(DefText("DB1"), "");
  // The index names went with the table.
  ASSERT_EQ(Sql(1, "CREATE TABLE T3 (A1 INTEGER)"), "OK");
  EXPECT_EQ(Sql(1, "CREATE INDEX I1 ON T3 (A1)"), "OK");
  EXPECT_EQ(Sql(1, "CREATE UNIQUE INDEX U1 ON T3 (A1)"), "OK");
  EXPECT_EQ(Sql(1, "DROP TABLE NOPE"), "(DROP TABLE) Table 'NOPE' does not exist in database 'DB1'");
  EXPECT_EQ(Names(1, '6', {}), "(DROP TABLE) table-name is missing\n");
}

TEST_F(DdlTest, DropDatabaseRemovesFilesAndTheConnection) {
  OpenDb1();
  ASSERT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  const unsigned char begin[] = {'J'}, end[] = {'K'};
  Trans_Begin(1, begin, 1);
  EXPECT_EQ(Sql(1, "DROP TABLE T1"), "(DROP TABLE) Not possible within active transaction");
  EXPECT_EQ(Sql(1, "DROP DATABASE"), "(DROP DATABASE) Not possible within active transaction");
  Trans_End(1, end, 1);
  ASSERT_EQ(Names(2, '1', {"DB1"}), "OK");
  EXPECT_EQ(Sql(1, "DROP DATABASE"), "(DROP DATABASE) Not possible with open connections");
  Names(2, '2', {});
  ASSERT_EQ(Sql(1, "DROP DATABASE"), "OK");
  EXPECT_FALSE(PLATFORM_Exists((DataDir() + "/DB1.def").c_str()));
  EXPECT_FALSE(PLATFORM_Exists((DataDir() + "/DB1").c_str()));
  EXPECT_EQ(CATALOG_Engine().db_count, 0);
  EXPECT_EQ(Sql(1, "CREATE TABLE T1 (A1 INTEGER)"), "(CREATE TABLE) Conn_Id 1 not found\n");
  EXPECT_EQ(Sql(1, "DROP DATABASE"), "(DROP DATABASE) Database already dropped");
}

TEST_F(DdlTest, DropDatabaseMovesTheLastDatabaseAndItsConnections) {
  ASSERT_EQ(Sql(1, "CREATE DATABASE DBA"), "OK");
  ASSERT_EQ(Sql(2, "CREATE DATABASE DBB"), "OK");
  ASSERT_EQ(Sql(2, "CREATE TABLE TB (A1 INTEGER)"), "OK");
  ASSERT_EQ(Sql(1, "DROP DATABASE"), "OK");
  ASSERT_EQ(CATALOG_Engine().db_count, 1);
  EXPECT_STREQ(CATALOG_Engine().dbs[0].name, "DBB");
  EXPECT_EQ(CATALOG_Conn(2)->database, 0);
  EXPECT_EQ(Sql(2, "CREATE TABLE TC (A1 INTEGER)"), "OK");
  EXPECT_EQ(DefText("DBB"), "TB(0);[A1,2,0];;;TC(0);[A1,2,0];;;");
}

}  // namespace
