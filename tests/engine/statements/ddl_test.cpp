// Tests of the data definition statements, run as real command messages
// through process_sql: built by the statement parser from SQL text, or by
// the message builder where a message must be malformed.
#include "engine/statements/ddl.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "client/message.h"
#include "engine/catalog/catalog.h"
#include "engine/shutdown.h"
#include "engine/tables/table_file.h"
#include "engine/tables/transaction.h"
#include "platform/files.h"
#include "support/engine_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr char kKaspoSql[] =
    "CREATE TABLE KASPO (  KASPO_ID CHARACTER(8),  FILENAME CHARACTER(80),  DESCRIPTION "
    "CHARACTER(160),  SIZE INTEGER,  COMPRESSED CHARACTER(1));";
constexpr char kKaspoDef[] =
    "KASPO(0);[KASPO_ID,0,8,0][FILENAME,0,80,0][DESCRIPTION,0,160,0][SIZE,2,0]"
    "[COMPRESSED,0,1,0];;XKASPO01(KASPO_ID);";

class DdlTest : public EngineTest {
 protected:
  std::string DataDir() const { return home_.DataDir(); }
  std::string DefText(const char* db) const { return FileText(DataDir() + "/" + db + ".def"); }

  // Connection 1 on a new database DB1.
  void OpenDb1() { ASSERT_EQ(EngineSendSql(1, "CREATE DATABASE DB1"), "OK"); }
};

TEST_F(DdlTest, CreateDatabaseWritesAnEmptyDefinitionAndSelectsIt) {
  OpenDb1();
  EXPECT_EQ(DefText("DB1"), "");
  EXPECT_TRUE(PLATFORM_IsDirectory((DataDir() + "/DB1").c_str()));
  EXPECT_EQ(CATALOG_Conn(1)->database, 0);
  EngineScript(1, {{"CREATE DATABASE DB2", "(CREATE DATABASE) Already connected to database"}});
  // A refused CREATE DATABASE of a new Conn_Id takes no slot.
  EngineScript(2, {{"CREATE DATABASE DB1", "(CREATE DATABASE) Database 'DB1' exists!"}});
  EXPECT_EQ(EngineSendNames(3, '3', {}), "(CREATE DATABASE) Database-name missing\n");
  EXPECT_EQ(EngineSendNames(3, '3', {"../UP"}), "(CREATE DATABASE) Invalid database-name '../UP'");
  EXPECT_EQ(CATALOG_Engine().conn_count, 1);
  EXPECT_FALSE(PLATFORM_Exists((home_.path() + "/UP.def").c_str()));
}

TEST_F(DdlTest, CreateDatabaseRefusesThe16thDatabaseAndConnection) {
  for (int i = 1; i <= 15; ++i) {
    ASSERT_EQ(EngineSendSql(i, "CREATE DATABASE D" + std::to_string(i)), "OK");
  }
  EngineScript(16, {{"CREATE DATABASE D16",
                     "(CREATE DATABASE) No more connections available (DB_MAXCONNS = 15)!"}});
  EngineSendNames(1, '2', {});
  ASSERT_EQ(EngineSendNames(16, '1', {""}), "OK");  // a slot without a database
  EngineScript(16, {{"CREATE DATABASE D16",
                     "(CREATE DATABASE) No more databases available (DB_MAXDBS = 15)!"}});
  EXPECT_EQ(CATALOG_Conn(16)->database, -1);
}

TEST_F(DdlTest, CreateDatabaseThatCannotWriteItsFileChangesNothing) {
  // A file where the data directory belongs.
  ASSERT_EQ(PLATFORM_WriteFile(DataDir().c_str(), "x", 1), 1);
  testing::internal::CaptureStderr();
  // Each attempt fails alike; the directory is reported only once.
  for (const char* sql : {"CREATE DATABASE DB1", "CREATE DATABASE DB2"}) {
    EngineScript(1, {{sql, "(CREATE DATABASE) Database file could not be generated\n"}});
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(TARVIC) Database-directory '" + DataDir() +
                                                        "' could not be created!\n(TARVIC) " +
                                                        std::strerror(EEXIST) + "\n");
  EXPECT_EQ(CATALOG_Engine().db_count, 0);
  EXPECT_EQ(CATALOG_Engine().conn_count, 0);
}

TEST_F(DdlTest, CreateTableAndUniqueIndexWriteTheItemTableDefinition) {
  OpenDb1();
  ASSERT_TRUE(EngineScript(
      1, {{kKaspoSql, "OK"}, {"CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)", "OK"}}));
  EXPECT_EQ(DefText("DB1"), kKaspoDef);
  EngineScript(1, {{kKaspoSql, "(CREATE TABLE) Table 'KASPO' already exists"}});
  DBTABLE* kaspo = EngineTable("DB1", "KASPO");
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
    EXPECT_EQ(EngineSend(1), c.reply);
    EXPECT_EQ(EngineTable("DB1", "T2"), nullptr);
  }
  EXPECT_EQ(DefText("DB1"), "");
  // A one-letter table name is refused; the process goes on.
  EngineScript(1, {{"CREATE TABLE T (AB INTEGER)", "(CREATE TABLE) Invalid name 'T'"},
                   {"CREATE TABLE T2 (NM CHARACTER(10) NOT NULL, QTY INTEGER)", "OK"}});
  EXPECT_EQ(DefText("DB1"), "T2(0);[NM,0,10,1][QTY,2,0];;;");
}

TEST_F(DdlTest, StatementsNeedAConnectionWithADatabase) {
  EngineScript(9, {
                      {"CREATE TABLE T2 (AB INTEGER)", "(CREATE TABLE) Conn_Id 9 not found\n"},
                      {"DROP TABLE T2", "(DROP TABLE) Conn_Id 9 not found\n"},
                      {"CREATE INDEX I1 ON T2 (AB)", "(CREATE INDEX) Conn_Id 9 not found\n"},
                      {"CREATE UNIQUE INDEX I1 ON T2 (AB)", "(CREATE INDEX) Conn_Id 9 not found\n"},
                      {"DROP INDEX I1", "(DROP INDEX) Conn_Id 9 not found\n"},
                      {"SET TABLE T2 STATIC", "(SET TABLE) Conn_Id 9 not found\n"},
                      {"SET TABLE T2 SECURE", "(SET TABLE SECURE) Conn_Id 9 not found\n"},
                      {"SAVE DATABASE", "(SAVE DATABASE) Conn_Id 9 not found\n"},
                      {"DROP DATABASE", "(DROP DATABASE) Database already dropped"},
                  });
  ASSERT_EQ(EngineSendNames(9, '1', {""}), "OK");
  EngineScript(9, {{"CREATE UNIQUE INDEX I1 ON T2 (AB)",
                    "(CREATE INDEX) No database selected for Conn_Id 9\n"},
                   {"DROP DATABASE", "(DROP DATABASE) No database selected for Conn_Id 9\n"}});
}

TEST_F(DdlTest, IndexNamesAreUniqueInTheDatabaseAndReleasedOnFailure) {
  OpenDb1();
  ASSERT_TRUE(EngineScript(1, {{"CREATE TABLE T1 (A1 INTEGER, A2 CHARACTER(4))", "OK"},
                               {"CREATE TABLE T2 (B1 INTEGER)", "OK"},
                               {"CREATE INDEX I1 ON T2 (B1)", "OK"}}));
  EngineScript(
      1,
      {
          {"CREATE INDEX I1 ON T1 (A1)", "(CREATE INDEX) Index 'I1' already exists"},
          {"CREATE UNIQUE INDEX I1 ON T1 (A1)", "(CREATE UNIQUE INDEX) Index 'I1' already exists"},
          {"CREATE INDEX I2 ON T1 (A1, ZZ)",
           "(CREATE INDEX) Attribute 'ZZ' does not exist in table 'T1'"},
          {"CREATE UNIQUE INDEX I2 ON T1 (ZZ)",
           "(CREATE UNIQUE INDEX) Attribute 'ZZ' not found in table 'T1'"},
          {"CREATE INDEX I2 ON NOPE (A1)", "(CREATE INDEX) Table 'NOPE' does not exist"},
      });
  EXPECT_EQ(EngineSendNames(1, '7', {"I2", "T1"}),
            "(CREATE INDEX) Syntax error: attrib-name is missing");
  EXPECT_EQ(EngineSendNames(1, '7', {}), "(CREATE INDEX) index-name is missing\n");
  EXPECT_EQ(EngineSendNames(1, '8', {"I2"}), "(CREATE UNIQUE INDEX) table-name is missing\n");
  DBATTRIB* a1 = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(EngineTable("DB1", "T1"), "A1", &a1, nullptr), 1);
  EXPECT_EQ(a1->index_count, 0);
  EXPECT_EQ(a1->list, nullptr);
  ASSERT_TRUE(EngineScript(
      1, {{"CREATE INDEX I2 ON T1 (A1)", "OK"}, {"CREATE UNIQUE INDEX U1 ON T1 (A2, A1)", "OK"}}));
  EXPECT_EQ(DefText("DB1"), "T1(0);[A1,2,0][A2,0,4,0];I2(A1);U1(A2)(A1);T2(0);[B1,2,0];I1(B1);;");
}

TEST_F(DdlTest, IndexesOnOneAttributeShareItsValueList) {
  OpenDb1();
  ASSERT_EQ(EngineSendSql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  DBATTRIB* a1 = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(EngineTable("DB1", "T1"), "A1", &a1, nullptr), 1);
  ASSERT_EQ(EngineSendSql(1, "CREATE INDEX I1 ON T1 (A1)"), "OK");
  const IDXLIST* list = a1->list.get();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(EngineSendSql(1, "CREATE INDEX I2 ON T1 (A1)"), "OK");
  EXPECT_EQ(a1->list.get(), list);
  EXPECT_EQ(a1->index_count, 2);
  ASSERT_EQ(EngineSendSql(1, "DROP INDEX I1"), "OK");
  EXPECT_EQ(a1->list.get(), list);
  ASSERT_EQ(EngineSendSql(1, "DROP INDEX I2"), "OK");
  EXPECT_EQ(a1->list, nullptr);
  EXPECT_EQ(EngineSendSql(1, "DROP INDEX I2"), "(DROP INDEX) Index 'I2' not found");
  EXPECT_EQ(EngineSendNames(1, '9', {}), "(DROP INDEX) index-name is missing\n");
  EXPECT_EQ(DefText("DB1"), "T1(0);[A1,2,0];;;");
}

TEST_F(DdlTest, FailedDefinitionWriteUndoesTheStatement) {
  OpenDb1();
  ASSERT_EQ(EngineSendSql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  // A directory where the definition file belongs.
  const std::string blocker = DataDir() + "/DB1.def";
  ASSERT_EQ(PLATFORM_RemoveFile(blocker.c_str()), 1);
  ASSERT_EQ(PLATFORM_MakeDirectory(blocker.c_str()), 1);
  testing::internal::CaptureStderr();
  EngineScript(
      1,
      {
          {"CREATE INDEX I1 ON T1 (A1)", "(CREATE INDEX) Database file could not be generated\n"},
          {"CREATE UNIQUE INDEX U1 ON T1 (A1)",
           "(CREATE UNIQUE INDEX) Database file could not be generated\n"},
          {"CREATE TABLE T2 (A1 INTEGER)", "(CREATE TABLE) Database file could not be generated\n"},
          {"SET TABLE T1 STATIC", "(SET TABLE) Database file could not be generated\n"},
      });
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Database-file"), std::string::npos);
  DBATTRIB* a1 = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(EngineTable("DB1", "T1"), "A1", &a1, nullptr), 1);
  EXPECT_EQ(a1->index_count, 0);
  EXPECT_EQ(a1->list, nullptr);
  EXPECT_EQ(EngineTable("DB1", "T2"), nullptr);
  EXPECT_EQ(EngineTable("DB1", "T1")->kind, '1');  // SET TABLE keeps its change
  ASSERT_EQ(PLATFORM_RemoveDirectory(blocker.c_str()), 1);
  EngineScript(1,
               {{"CREATE INDEX I1 ON T1 (A1)", "OK"}, {"CREATE UNIQUE INDEX U1 ON T1 (A1)", "OK"}});
  EXPECT_EQ(DefText("DB1"), "T1(1);[A1,2,0];I1(A1);U1(A1);");
}

TEST_F(DdlTest, WithoutAnEngineNameAnUnwritableDefinitionIsAWarning) {
  // Nothing reads the file back then: every statement goes on, and the
  // exit's save finds nothing lost.
  CATALOG_Engine().engine_name.clear();
  const std::string def = home_.path() + "/.dat/DB1.def";
  fs::create_directories(def + "/keep");  // a directory where the file belongs
  testing::internal::CaptureStderr();
  EXPECT_TRUE(EngineScript(1, {{"CREATE DATABASE DB1", "OK"},
                               {"CREATE TABLE T1 (A1 INTEGER)", "OK"},
                               {"CREATE INDEX I1 ON T1 (A1)", "OK"},
                               {"DROP INDEX I1", "OK"}}));
  EXPECT_EQ(Engine_SaveAll(), 1);
  std::string warnings;
  for (int statement = 0; statement < 4; ++statement) {
    warnings += "(TARVIC) Database-file '" + def + "' could not be created!\n(TARVIC) " +
                std::strerror(EISDIR) + "\n";
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), warnings);
  EXPECT_NE(EngineTable("DB1", "T1"), nullptr);
}

TEST_F(DdlTest, UniqueIndexNeedsAnEmptyTable) {
  OpenDb1();
  ASSERT_EQ(EngineSendSql(1, kKaspoSql), "OK");
  DBTABLE* kaspo = EngineTable("DB1", "KASPO");
  const int row = RowPool_NewSlot(&kaspo->rows, 1);
  EXPECT_EQ(EngineSendSql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)"),
            "(CREATE UNIQUE INDEX) Index 'XKASPO01' cannot be created because table 'KASPO' is "
            "not empty");
  RowPool_FreeSlot(&kaspo->rows, row);
  EXPECT_EQ(EngineSendSql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)"), "OK");
}

TEST_F(DdlTest, SetTableWritesTheKindAndTheTableFiles) {
  OpenDb1();
  ASSERT_TRUE(EngineScript(1, {{kKaspoSql, "OK"},
                               {"CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID)", "OK"},
                               {"SET TABLE KASPO SECURE", "OK"}}));
  std::string secure = kKaspoDef;
  secure[6] = '2';
  EXPECT_EQ(DefText("DB1"), secure);
  EXPECT_TRUE(PLATFORM_IsRegularFile((DataDir() + "/DB1/KASPO.dat").c_str()));
  ASSERT_EQ(EngineSendSql(1, "SET TABLE KASPO STATIC"), "OK");
  std::string plain = kKaspoDef;
  plain[6] = '1';
  EXPECT_EQ(DefText("DB1"), plain);
  EXPECT_EQ(EngineTable("DB1", "KASPO")->secure, '0');
  EXPECT_EQ(EngineSendSql(1, "SET TABLE NOPE SECURE"),
            "(SET TABLE SECURE) Table 'NOPE' does not exist in database 'DB1'");
  EXPECT_EQ(EngineSendNames(1, 'Q', {}), "(SET TABLE) table-name is missing\n");
}

TEST_F(DdlTest, SaveDatabaseWithoutItsDirectoryWarnsAndSucceeds) {
  OpenDb1();
  ASSERT_TRUE(
      EngineScript(1, {{"CREATE TABLE T1 (A1 INTEGER)", "OK"}, {"SET TABLE T1 STATIC", "OK"}}));
  std::error_code ignored;
  fs::remove_all(DataDir() + "/DB1", ignored);
  testing::internal::CaptureStderr();
  EXPECT_EQ(EngineSendSql(1, "SAVE DATABASE"), "OK");
  // The warning follows what really failed: the directory, and why.
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVIC) Database-directory '" + DataDir() + "/DB1' not found!\n(TARVIC) " +
                std::strerror(ENOENT) + "\n(TARVICDB) Warning: Could not save database 'DB1'\n");
  ASSERT_EQ(PLATFORM_MakeDirectory((DataDir() + "/DB1").c_str()), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(EngineSendSql(1, "SAVE DATABASE"), "OK");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(PLATFORM_IsRegularFile((DataDir() + "/DB1/T1.dat").c_str()));
}

TEST_F(DdlTest, DropTableDeletesFilesOfStaticTablesOnly) {
  OpenDb1();
  ASSERT_TRUE(EngineScript(1, {{"CREATE TABLE T1 (A1 INTEGER)", "OK"},
                               {"CREATE TABLE T2 (A1 INTEGER)", "OK"},
                               {"CREATE INDEX I1 ON T1 (A1)", "OK"},
                               {"CREATE UNIQUE INDEX U1 ON T1 (A1)", "OK"},
                               {"SET TABLE T1 STATIC", "OK"}}));
  const std::string t1 = DataDir() + "/DB1/T1";
  ASSERT_TRUE(PLATFORM_IsRegularFile((t1 + ".dat").c_str()));
  ASSERT_TRUE(PLATFORM_IsRegularFile((t1 + ".idx").c_str()));
  const std::string stray = DataDir() + "/DB1/T2.dat";
  ASSERT_EQ(PLATFORM_WriteFile(stray.c_str(), "##", 2), 1);
  ASSERT_EQ(EngineSendSql(1, "DROP TABLE T1"), "OK");
  EXPECT_FALSE(PLATFORM_Exists((t1 + ".dat").c_str()));
  EXPECT_FALSE(PLATFORM_Exists((t1 + ".idx").c_str()));
  ASSERT_EQ(EngineSendSql(1, "DROP TABLE T2"), "OK");
  EXPECT_TRUE(PLATFORM_Exists(stray.c_str()));
  EXPECT_EQ(DefText("DB1"), "");
  // The index names went with the table.
  EngineScript(1,
               {{"CREATE TABLE T3 (A1 INTEGER)", "OK"},
                {"CREATE INDEX I1 ON T3 (A1)", "OK"},
                {"CREATE UNIQUE INDEX U1 ON T3 (A1)", "OK"},
                {"DROP TABLE NOPE", "(DROP TABLE) Table 'NOPE' does not exist in database 'DB1'"}});
  EXPECT_EQ(EngineSendNames(1, '6', {}), "(DROP TABLE) table-name is missing\n");
}

TEST_F(DdlTest, DropDatabaseRemovesFilesAndTheConnection) {
  OpenDb1();
  ASSERT_EQ(EngineSendSql(1, "CREATE TABLE T1 (A1 INTEGER)"), "OK");
  ASSERT_EQ(EngineSendBytes(1, {'J'}), "OK");
  EngineScript(1, {{"DROP TABLE T1", "(DROP TABLE) Not possible within active transaction"},
                   {"DROP DATABASE", "(DROP DATABASE) Not possible within active transaction"}});
  ASSERT_EQ(EngineSendBytes(1, {'K'}), "OK");
  ASSERT_EQ(EngineSendNames(2, '1', {"DB1"}), "OK");
  EngineScript(1, {{"DROP DATABASE", "(DROP DATABASE) Not possible with open connections"}});
  EngineSendNames(2, '2', {});
  ASSERT_EQ(EngineSendSql(1, "DROP DATABASE"), "OK");
  EXPECT_FALSE(PLATFORM_Exists((DataDir() + "/DB1.def").c_str()));
  EXPECT_FALSE(PLATFORM_Exists((DataDir() + "/DB1").c_str()));
  EXPECT_EQ(CATALOG_Engine().db_count, 0);
  EngineScript(1, {{"CREATE TABLE T1 (A1 INTEGER)", "(CREATE TABLE) Conn_Id 1 not found\n"},
                   {"DROP DATABASE", "(DROP DATABASE) Database already dropped"}});
}

TEST_F(DdlTest, DropDatabaseMovesTheLastDatabaseAndItsConnections) {
  ASSERT_EQ(EngineSendSql(1, "CREATE DATABASE DBA"), "OK");
  ASSERT_TRUE(
      EngineScript(2, {{"CREATE DATABASE DBB", "OK"}, {"CREATE TABLE TB (A1 INTEGER)", "OK"}}));
  ASSERT_EQ(EngineSendSql(1, "DROP DATABASE"), "OK");
  ASSERT_EQ(CATALOG_Engine().db_count, 1);
  EXPECT_STREQ(CATALOG_Engine().dbs[0].name, "DBB");
  EXPECT_EQ(CATALOG_Conn(2)->database, 0);
  EXPECT_EQ(EngineSendSql(2, "CREATE TABLE TC (A1 INTEGER)"), "OK");
  EXPECT_EQ(DefText("DBB"), "TB(0);[A1,2,0];;;TC(0);[A1,2,0];;;");
}

}  // namespace
