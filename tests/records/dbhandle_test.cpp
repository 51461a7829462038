// Tests of the handle: the BEGIN-stack, the execute calls, the printing
// execute and the collected error text, against a scripted engine.
#include "records/dbhandle.h"

#include <cstdio>
#include <string>

#include "records/fake_engine.h"

namespace {

void ReplyError(const std::string& text) { REPLY_Error(text); }

// What dbexec_sql printed.
class Printed {
 public:
  Printed() : stream_(open_memstream(&data_, &size_)) { DBHANDLE_State().out = stream_; }
  ~Printed() {
    DBHANDLE_State().out = stdout;
    std::fclose(stream_);
    std::free(data_);
  }
  std::string Text() {
    std::fflush(stream_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  FILE* stream_;
};

using HandleTest = FakeEngineTest;

TEST_F(HandleTest, ApplicationTransactionWrapsRecordCallsInOneBeginAndCommit) {
  ASSERT_TRUE(DB_Begin(&handle_));
  auto record = KASPO_New();
  ASSERT_TRUE(KASPO_Insert(record.get(), &handle_));
  ASSERT_TRUE(KASPO_Update(record.get(), &handle_));
  ASSERT_TRUE(KASPO_Delete(record.get(), &handle_));
  ASSERT_TRUE(DB_Commit(&handle_));
  EXPECT_EQ(Letters(), "JDHGK");
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("COMMIT;"));
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}

TEST_F(HandleTest, RecordCallAloneRunsInItsOwnTransaction) {
  auto record = KASPO_New();
  ASSERT_TRUE(KASPO_Delete(record.get(), &handle_));
  ASSERT_EQ(Letters(), "JGK");
  EXPECT_EQ(Fake().messages.front(), ParsedMessage("BEGIN;"));
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("END;"));
}

TEST_F(HandleTest, CommitAndRollbackNeedABegin) {
  struct Case {
    int (*call)(DBHANDLE*);
    const char* text;
  };
  const Case cases[] = {{DB_Commit, "COMMIT command without BEGIN"},
                        {DB_RollBack, "ROLLBACK command without BEGIN"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_FALSE(c.call(&handle_));
    EXPECT_EQ(DBHANDLE_ErrorText(), c.text);
  }
  EXPECT_EQ(Letters(), "");
}

TEST_F(HandleTest, OnlyTheOutermostLevelTalksToTheEngine) {
  ASSERT_TRUE(DB_Begin(&handle_));
  ASSERT_TRUE(DB_Begin(&handle_));
  ASSERT_TRUE(DB_Commit(&handle_));
  EXPECT_EQ(Letters(), "J");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 2);
  ASSERT_TRUE(dbend(&handle_));
  ASSERT_TRUE(DB_RollBack(&handle_));
  EXPECT_EQ(Letters(), "JM");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}

TEST_F(HandleTest, TooManyEndsUnderflowTheStack) {
  EXPECT_FALSE(dbend(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "BEGIN-stack underflow (too many dbends).\n");
  EXPECT_EQ(DBHANDLE_State().begin_depth, -1);
  EXPECT_EQ(Letters(), "");
}

TEST_F(HandleTest, FailedBeginDoesNotCountItsLevel) {
  Fake().answers['J'] = [](const Message&) { ReplyError("(BEGIN) Already open transaction"); };
  EXPECT_FALSE(DB_Begin(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BEGIN command failed.\nError: (BEGIN) Already open transaction\n");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
  Fake().answers.erase('J');
  ASSERT_TRUE(DB_Begin(&handle_));
  EXPECT_EQ(Letters(), "JJ");
}

TEST_F(HandleTest, ErrorRepliesToClosingStatementsAreFailures) {
  Fake().answers['K'] = [](const Message&) { ReplyError("(END) Connection Timestamp not defined"); };
  Fake().answers['M'] = [](const Message&) { ReplyError("(ABORT) Connection Timestamp not defined"); };
  ASSERT_TRUE(DB_Begin(&handle_));
  EXPECT_FALSE(DB_Commit(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "COMMIT command failed.\nError: (END) Connection Timestamp not defined\n");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 1);
  EXPECT_FALSE(DB_RollBack(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "ROLLBACK command failed.\nError: (ABORT) Connection Timestamp not defined\n");
  EXPECT_FALSE(dbend(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "END command failed.\nError: (END) Connection Timestamp not defined\n");
}

TEST_F(HandleTest, BeginWithoutConnectionConnectsOnceMore) {
  DBHANDLE fresh;
  fresh.name = "KASPODB";
  ASSERT_TRUE(dbbegin(&fresh));
  EXPECT_EQ(Letters(), "1J");
  ASSERT_TRUE(dbend(&fresh));
}

TEST_F(HandleTest, HandleNamesAndConnectFailures) {
  Fake().answers['1'] = [](const Message& m) {
    const std::string name(reinterpret_cast<const char*>(&m[4]));
    if (name == "KASPODB") {
      REPLY_Success();
    } else {
      REPLY_Errorf("(CONNECT) Database '%s' not found!", name.c_str());
    }
  };
  struct Case {
    const char* name;
    int ok;
    const char* handle_name;
    const char* error;
  };
  const Case cases[] = {
      {"KASPODB", 1, "KASPODB", ""},
      {"sys/kaspodb", 1, "sys/kaspodb", ""},
      {"sys/other", 0, "sys/other",
       "Connection to TARVIC1-database 'other' failed:\n  (CONNECT) Database 'OTHER' not "
       "found!\n"},
      {"sys/", 0, "sys/",
       "Connection to TARVIC1-database failed:\n  (CONNECT) Database '' not found!\n"},
      {"a-name-longer-than-nineteen", 0, "a-name-longer-than-",
       "Connection to TARVIC1-database 'a-name-longer-than-' failed:\n  (CONNECT) Database "
       "'A-NAME-LONGER-THAN-' not found!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DBHANDLE h;
    EXPECT_EQ(DBHANDLE_Init(&h, c.name), c.ok);
    EXPECT_EQ(h.name, c.handle_name);
    EXPECT_EQ(DBHANDLE_ErrorText(), c.error);
  }
}

TEST_F(HandleTest, SystemPrefixComesFromTheEnvironment) {
  setenv("DBSYS", "host", 1);
  DBHANDLE h;
  EXPECT_TRUE(DBHANDLE_Init(&h, "KASPODB"));
  EXPECT_EQ(h.name, "host/KASPODB");
  EXPECT_EQ(h.conn->dbname, "KASPODB");
  setenv("DBSYS", "", 1);
  EXPECT_TRUE(DBHANDLE_Init(&h, "KASPODB"));
  EXPECT_EQ(h.name, "KASPODB");
  unsetenv("DBSYS");
}

TEST_F(HandleTest, StatusesMapToTheirMessages) {
  Fake().answers['C'] = [](const Message&) { ReplyError("(SELECT) Table 'T' does not exist"); };
  MYDB_RESULT result;
  int status = -1;
  EXPECT_FALSE(dbexec1(&handle_, "SELECT * FROM t", &result, &status));
  EXPECT_EQ(status, MYDB_BAD_RESPONSE);
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BAD RESPONSE to dbexec1 command.\nError: (SELECT) Table 'T' does not exist\n");
  EXPECT_FALSE(dbexec(&handle_, "GRANT", "ALL", &result, &status));
  EXPECT_EQ(status, MYDB_NONFATAL_ERROR);
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "NONFATAL ERROR occured in 'GRANT' command.\nError: (DBexec) Syntax error: "
            "SQL-command GRANT not known\n");
  int rows = 0;
  EXPECT_FALSE(dbdelete(&handle_, "t", "a = ", &status));
  EXPECT_EQ(DBHANDLE_ErrorText().substr(0, 58),
            "NONFATAL ERROR occured in DELETE FROM t WHERE a =  command");
  Fake().answers['G'] = [](const Message&) { REPLY_Count(3); };
  EXPECT_TRUE(dbdelete(&handle_, "t", "a = 1", &status));
  EXPECT_EQ(status, MYDB_COMMAND_OK);
  EXPECT_TRUE(dbexec1(&handle_, "DELETE FROM t", &result, &status));
  EXPECT_TRUE(dbfill_rows(&handle_, result.get(), status, &rows));
  EXPECT_EQ(rows, 3);
}

TEST_F(HandleTest, QuietBinaryExecuteSaysNothing) {
  Fake().answers['D'] = [](const Message&) { ReplyError("(INSERT STD) Unique index violation"); };
  DBquery_reset();
  DBquery_addcmd('D');
  MYDB_RESULT result;
  int status = 0;
  EXPECT_FALSE(dbbinexec(&handle_, &result, &status, 0));
  EXPECT_EQ(DBHANDLE_ErrorText(), "");
  DBquery_reset();
  DBquery_addcmd('D');
  EXPECT_FALSE(dbbinexec(&handle_, &result, &status, 1));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BAD RESPONSE to dbbinexec1 command.\nError: (INSERT STD) Unique index violation\n");
}

TEST_F(HandleTest, ExistenceChecksCountRowsAsExisting) {
  Fake().answers['S'] = [](const Message& m) {
    const std::string name(reinterpret_cast<const char*>(&m[5]));
    if (name == "KASPO") {
      ReplyRows('2', {{"Attribute", DBTYPE_CHARACTER, 32}}, {{TextCell("KASPO_ID")}});
    } else {
      REPLY_Errorf("(SHOW TABLE) Table '%s' not found", name.c_str());
    }
  };
  EXPECT_TRUE(DB_Table_Exists(&handle_, "KASPO"));
  EXPECT_FALSE(DB_Table_Exists(&handle_, "BLOBJ"));
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("SHOW TABLE BLOBJ;"));
  EXPECT_TRUE(DB_Create_Table(&handle_, "CREATE TABLE BLOBJ (  BLOBJ_ID CHARACTER(8));"));
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("CREATE TABLE BLOBJ (BLOBJ_ID CHARACTER(8));"));
  EXPECT_FALSE(DB_Index_Exists(&handle_, "XBLOBJ01"));
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("SHOW INDEX XBLOBJ01;"));
}

TEST_F(HandleTest, SqlStatementEndsAtItsSemicolon) {
  Printed printed;
  int count = 0;
  EXPECT_FALSE(dbexec_sql(&handle_, "DROP TABLE a; DROP TABLE b", nullptr, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(), "syntax error in SQL-command (characters after ';')!\n");
  EXPECT_EQ(Letters(), "");
  EXPECT_EQ(DBHANDLE_LastLetter(), 0);
  const Message with_semicolon = ParsedMessage("DELETE FROM a WHERE x = 1;");
  for (const char* text : {"DELETE FROM a WHERE x = 1", "DELETE FROM a\nWHERE\nx = 1",
                           "DELETE FROM a WHERE x = 1;  \t\n"}) {
    SCOPED_TRACE(text);
    Fake().messages.clear();
    EXPECT_TRUE(dbexec_sql(&handle_, text, nullptr, &count));
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0], with_semicolon);
    EXPECT_EQ(DBHANDLE_LastLetter(), 'G');
  }
  EXPECT_EQ(printed.Text(),
            "sql-command successfully executed\n"
                                "sql-command successfully executed\n"
                                "sql-command successfully executed\n");
}

TEST_F(HandleTest, SqlRowsArePrintedJoinedAndTrimmed) {
  Fake().answers['C'] = [](const Message&) {
    ReplyRows('2', {{"NAME", DBTYPE_CHARACTER, 11}, {"QTY", DBTYPE_INTEGER, 4}},
              {{TextCell("apple     "), IntCell(3)}, {TextCell("pear \t  "), IntCell(-7)}});
  };
  Printed printed;
  int count = 0;
  ASSERT_TRUE(dbexec_sql(&handle_, "SELECT * FROM fruit", nullptr, &count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(printed.Text(),
            "NAME, QTY\napple, 3\npear, -7\nsql-command successfully evaluated 2 items\n");
}

TEST_F(HandleTest, PartialRowsAreMarkedAndCountNegative) {
  Fake().answers['C'] = [](const Message&) {
    ReplyRows('4', {{"N", DBTYPE_SMALLINT, 2}}, {{ShortCell(1)}, {ShortCell(2)}});
  };
  Printed printed;
  int count = 0;
  ASSERT_TRUE(dbexec_sql(&handle_, "SELECT n FROM t;", nullptr, &count));
  EXPECT_EQ(count, -2);
  EXPECT_EQ(printed.Text(),
            "N\n1\n2\nnot all results evaluated!\nsql-command successfully evaluated 2 items\n");
  MYDB_RESULT result;
  ASSERT_TRUE(dbexec_sql(&handle_, "SELECT n FROM t;", &result, &count));
  EXPECT_EQ(count, -2);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(DBresult_rows(result.get()), 2);
}

TEST_F(HandleTest, FailedSqlStatementCollectsTheEngineText) {
  Fake().answers['5'] = [](const Message&) { ReplyError("(CREATE TABLE) Table 'T' already exists"); };
  Printed printed;
  int count = 0;
  EXPECT_FALSE(dbexec_sql(&handle_, "CREATE TABLE t (a INTEGER)", nullptr, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BAD RESPONSE to CREATE TABLE t (a INTEGER); command.\n"
            "Error: (CREATE TABLE) Table 'T' already exists\n");
  EXPECT_EQ(printed.Text(), "");
  EXPECT_EQ(DBHANDLE_LastLetter(), '5');
}

TEST_F(HandleTest, CollectedTextIsCutAt999Bytes) {
  const std::string long_text(2000, 'e');
  Fake().answers['C'] = [long_text](const Message&) { ReplyError(long_text); };
  MYDB_RESULT result;
  int status = 0;
  EXPECT_FALSE(dbexec1(&handle_, "SELECT * FROM t", &result, &status));
  ASSERT_EQ(DBHANDLE_ErrorText().size(), 999u);
  EXPECT_EQ(DBHANDLE_ErrorText().substr(0, 40), "BAD RESPONSE to dbexec1 command.\nError: ");
  dberror("more");
  EXPECT_EQ(DBHANDLE_ErrorText().size(), 999u);
}

TEST_F(HandleTest, ErrorFormatKnowsItsConversions) {
  DBHANDLE_ClearError();
  dberror("[%5d|%-4s|%.2f|%ld|%8.3lf|%s]", 42, "ab", 2.5, 7L, 1.0, "z");
  EXPECT_EQ(DBHANDLE_ErrorText(), "[   42|ab  |2.50|7|   1.000|z]");
  DBHANDLE_ClearError();
  dberror("%x and %c", 255, 'q');
  EXPECT_EQ(DBHANDLE_ErrorText(), "??? and ???");
}

TEST_F(HandleTest, DirectModeReportsAtOnce) {
  DBHANDLE_SetErrorMode(DBERR_DIRECT);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(DB_Commit(&handle_));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "COMMIT command without BEGIN");
  EXPECT_EQ(DBHANDLE_ErrorText(), "");
}

TEST_F(HandleTest, FillCountWantsExactlyOneRow) {
  Fake().answers['C'] = [](const Message&) {
    ReplyRows('2', {{"COUNT(*)", DBTYPE_INTEGER, 4}}, {{IntCell(1)}, {IntCell(2)}});
  };
  MYDB_RESULT result;
  int status = 0;
  int count = -1;
  ASSERT_TRUE(dbexec1(&handle_, "SELECT COUNT(*) FROM t", &result, &status));
  EXPECT_FALSE(dbfill_count(&handle_, result.get(), status, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(), "(dbfill_count) More than one resulttuple!\n");
  DBHANDLE_ClearError();
  EXPECT_FALSE(dbfill_count(&handle_, result.get(), MYDB_COMMAND_OK, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(), "(dbfill_count) Status is not MYDB_TUPLES_OK!\n");
  Fake().answers['C'] = [](const Message&) { ReplyNumber("COUNT(*)", 12); };
  ASSERT_TRUE(dbexec1(&handle_, "SELECT COUNT(*) FROM t", &result, &status));
  ASSERT_TRUE(dbfill_count(&handle_, result.get(), status, &count));
  EXPECT_EQ(count, 12);
  std::string text;
  ASSERT_TRUE(dbfill_string(&handle_, result.get(), status, &text));
  EXPECT_EQ(text, "12");
}

TEST_F(HandleTest, CursorCallsNameTheCursor) {
  Fake().answers['N'] = [](const Message&) { ReplyError("(DECLARE) No transaction"); };
  Fake().answers['P'] = [](const Message&) { ReplyError("(CLOSE) No transaction"); };
  EXPECT_FALSE(dbdeclare(&handle_, "C1", "SELECT * FROM t"));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "DECLARE CURSOR command failed (C1/SELECT * FROM t).\nError: (DECLARE) No "
            "transaction\n");
  EXPECT_FALSE(dbclose(&handle_, "C1"));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "CLOSE CURSOR command failed C1.\nError: (CLOSE) No transaction\n");
}

}  // namespace
