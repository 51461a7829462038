// Tests of the handle: the BEGIN-stack, the execute calls, the printing
// execute and the collected error text, against a scripted engine.
#include "records/dbhandle.h"

#include <cstdio>
#include <string>

#include "engine/types/reply.h"
#include "records/internal/dbhandle_shared.h"
#include "support/fake_engine.h"

namespace {

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

void AnswerError(unsigned char letter, const std::string& text) {
  Fake().answers[letter] = [text](const Message&) { REPLY_Error(text); };
}

using HandleTest = FakeEngineTest;

TEST_F(HandleTest, OnlyTheOutermostLevelTalksToTheEngine) {
  auto record = KASPO_New();
  ASSERT_TRUE(KASPO_Delete(record.get(), &handle_));  // alone: its own BEGIN and END
  ASSERT_TRUE(DB_Begin(&handle_));
  ASSERT_TRUE(KASPO_Insert(record.get(), &handle_));
  ASSERT_TRUE(KASPO_Update(record.get(), &handle_));
  ASSERT_TRUE(DB_Begin(&handle_));
  ASSERT_TRUE(DB_Commit(&handle_));  // at depth 2: commits nothing
  EXPECT_EQ(DBHANDLE_BeginDepth(), 2);
  ASSERT_TRUE(dbend(&handle_));
  ASSERT_TRUE(DB_Commit(&handle_));
  EXPECT_EQ(Letters(), "JGKJDHK");
  EXPECT_EQ(Fake().messages[2], ParsedMessage("END"));
  EXPECT_EQ(Fake().messages[6], ParsedMessage("COMMIT"));
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
  EXPECT_FALSE(DB_Commit(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "COMMIT command without BEGIN");
  EXPECT_FALSE(DB_RollBack(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "ROLLBACK command without BEGIN");
  EXPECT_FALSE(dbend(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(), "BEGIN-stack underflow (too many dbends).\n");
  EXPECT_EQ(DBHANDLE_BeginDepth(), -1);
  EXPECT_EQ(Letters(), "JGKJDHK");
}

TEST_F(HandleTest, FailedBeginDoesNotCountItsLevel) {
  AnswerError('J', "(BEGIN) Already open transaction");
  EXPECT_FALSE(DB_Begin(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BEGIN command failed.\nError: (BEGIN) Already open transaction\n");
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
  Fake().answers.erase('J');
  ASSERT_TRUE(DB_Begin(&handle_));
  EXPECT_EQ(Letters(), "JJ");
}

TEST_F(HandleTest, ErrorRepliesToClosingStatementsAreFailures) {
  AnswerError('K', "(END) Connection Timestamp not defined");
  ASSERT_TRUE(DB_Begin(&handle_));
  EXPECT_FALSE(DB_Commit(&handle_));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "COMMIT command failed.\nError: (END) Connection Timestamp not defined\n");
  EXPECT_EQ(DBHANDLE_BeginDepth(), 1);
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
    const char* dbsys;  // nullptr: unset
    const char* handle_name;
    const char* error;
  };
  const Case cases[] = {
      {"KASPODB", "host", "host/KASPODB", ""},
      {"KASPODB", "", "KASPODB", ""},  // an empty prefix would name no database
      {"sys/x1", nullptr, "sys/x1",
       "Connection to TARVIC1-database 'x1' failed:\n  (CONNECT) Database 'X1' not found!\n"},
      {"sys/", nullptr, "sys/",
       "Connection to TARVIC1-database failed:\n  (CONNECT) Database '' not found!\n"},
      {"a-name-longer-than-nineteen", nullptr, "a-name-longer-than-",
       "Connection to TARVIC1-database 'a-name-longer-than-' failed:\n  (CONNECT) Database "
       "'A-NAME-LONGER-THAN-' not found!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.dbsys ? setenv("DBSYS", c.dbsys, 1) : unsetenv("DBSYS");
    DBHANDLE h;
    EXPECT_EQ(DBHANDLE_Init(&h, c.name), c.error[0] == '\0');
    EXPECT_EQ(h.name, c.handle_name);
    EXPECT_EQ(DBHANDLE_ErrorText(), c.error);
  }
  unsetenv("DBSYS");
}

TEST_F(HandleTest, StatusesMapToTheirMessages) {
  AnswerError('C', "(SELECT) Table 'T' does not exist");
  AnswerError('D', "(INSERT STD) Unique index violation");
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
  DBquery_reset();
  DBquery_addcmd('D');
  EXPECT_FALSE(dbbinexec(&handle_, &result, &status, 0));  // quiet
  EXPECT_EQ(DBHANDLE_ErrorText(), "");
  Fake().answers['G'] = [](const Message&) { REPLY_Count(3); };
  int rows = 0;
  EXPECT_TRUE(dbexec1(&handle_, "DELETE FROM t", &result, &status));
  EXPECT_TRUE(dbfill_rows(&handle_, result.get(), status, &rows));
  EXPECT_EQ(rows, 3);
  AnswerError('N', "(DECLARE) No transaction");
  EXPECT_FALSE(dbdeclare(&handle_, "C1", "SELECT * FROM t"));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "DECLARE CURSOR command failed (C1/SELECT * FROM t).\nError: (DECLARE) No "
            "transaction\n");
}

TEST_F(HandleTest, ExistenceChecksCountRowsAsExisting) {
  Fake().answers['S'] = [](const Message& m) {
    const std::string name(reinterpret_cast<const char*>(&m[5]));
    if (name != "KASPO") {
      REPLY_Errorf("(SHOW TABLE) Table '%s' not found", name.c_str());
      return;
    }
    ReplyRows('2', {{"Attribute", DBTYPE_CHARACTER, 32}}, {{TextCell("KASPO_ID")}});
  };
  EXPECT_TRUE(DB_Table_Exists(&handle_, "KASPO"));
  EXPECT_FALSE(DB_Table_Exists(&handle_, "BLOBJ"));
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("SHOW TABLE BLOBJ;"));
  EXPECT_FALSE(DB_Index_Exists(&handle_, "XBLOBJ01"));
  EXPECT_EQ(Fake().messages.back(), ParsedMessage("SHOW INDEX XBLOBJ01;"));
}

TEST_F(HandleTest, SqlStatementEndsAtItsSemicolon) {
  Printed printed;
  int count = 0;
  EXPECT_FALSE(dbexec_sql(&handle_, "DROP TABLE a; DROP TABLE b", nullptr, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(), "syntax error in SQL-command (characters after ';')!\n");
  EXPECT_EQ(Letters(), "");
  const Message with_semicolon = ParsedMessage("DELETE FROM a WHERE x = 1;");
  for (const char* text : {"DELETE FROM a WHERE x = 1", "DELETE FROM a\nWHERE\nx = 1",
                           "DELETE FROM a WHERE x = 1;  \t\n"}) {
    SCOPED_TRACE(text);
    Fake().messages.clear();
    EXPECT_TRUE(dbexec_sql(&handle_, text, nullptr, &count));
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0], with_semicolon);
  }
  EXPECT_EQ(printed.Text(),
            "sql-command successfully executed\nsql-command successfully executed\n"
            "sql-command successfully executed\n");
}

TEST_F(HandleTest, SqlRowsArePrintedJoinedAndTrimmed) {
  static char code;
  Fake().answers['C'] = [](const Message&) {
    ReplyRows(code, {{"NAME", DBTYPE_CHARACTER, 11}, {"QTY", DBTYPE_INTEGER, 4}},
              {{TextCell("apple     "), IntCell(3)}, {TextCell("pear \t  "), IntCell(-7)}});
  };
  Printed printed;
  int count = 0;
  for (char reply : {'2', '4'}) {  // all rows, then not all rows
    code = reply;
    ASSERT_TRUE(dbexec_sql(&handle_, "SELECT * FROM f", nullptr, &count));
    EXPECT_EQ(count, reply == '2' ? 2 : -2);
  }
  EXPECT_EQ(printed.Text(),
            "NAME, QTY\napple, 3\npear, -7\nsql-command successfully evaluated 2 items\n"
            "NAME, QTY\napple, 3\npear, -7\nnot all results evaluated!\n"
            "sql-command successfully evaluated 2 items\n");
  AnswerError('5', "(CREATE TABLE) Table 'T' already exists");
  EXPECT_FALSE(dbexec_sql(&handle_, "CREATE TABLE t (a INTEGER)", nullptr, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "BAD RESPONSE to CREATE TABLE t (a INTEGER); command.\n"
            "Error: (CREATE TABLE) Table 'T' already exists\n");
}

TEST_F(HandleTest, CollectedTextIsCutAt999Bytes) {
  AnswerError('C', std::string(2000, 'e'));
  MYDB_RESULT result;
  int status = 0;
  EXPECT_FALSE(dbexec1(&handle_, "SELECT * FROM t", &result, &status));
  ASSERT_EQ(DBHANDLE_ErrorText().size(), 999u);
  EXPECT_EQ(DBHANDLE_ErrorText().substr(0, 40), "BAD RESPONSE to dbexec1 command.\nError: ");
  dberror("more");
  EXPECT_EQ(DBHANDLE_ErrorText().size(), 999u);
}

TEST_F(HandleTest, ErrorTextFormatAndModes) {
  DBHANDLE_ClearError();
  dberror("[%5d|%-4s|%.2f|%ld|%8.3lf|%s]", 42, "ab", 2.5, 7L, 1.0, "z");
  EXPECT_EQ(DBHANDLE_ErrorText(), "[   42|ab  |2.50|7|   1.000|z]");
  DBHANDLE_ClearError();
  dberror("%x and %c", 255, 'q');
  EXPECT_EQ(DBHANDLE_ErrorText(), "??? and ???");
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
  EXPECT_FALSE(dbfill_count(&handle_, result.get(), MYDB_COMMAND_OK, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "(dbfill_count) More than one resulttuple!\n"
            "(dbfill_count) Status is not MYDB_TUPLES_OK!\n");
  Fake().answers['C'] = [](const Message&) { ReplyNumber("COUNT(*)", 12); };
  ASSERT_TRUE(dbexec1(&handle_, "SELECT COUNT(*) FROM t", &result, &status));
  ASSERT_TRUE(dbfill_count(&handle_, result.get(), status, &count));
  EXPECT_EQ(count, 12);
}

// What a statement asks of the engine, read from its message when it is
// prepared: the kind, the first name, and the table it works on. The
// execute then sends that message as it was parsed.
TEST_F(HandleTest, PreparedStatementsNameWhatTheyAskAndRunAsParsed) {
  const struct {
    const char* sql;
    DBSTMTKIND kind;
    const char* name;
    const char* table;
  } kCases[] = {
      {"DROP TABLE kaspo", DBSTMT_DROPTABLE, "KASPO", "KASPO"},
      {"DROP INDEX xblobj01", DBSTMT_DROPINDEX, "XBLOBJ01", ""},
      {"CREATE INDEX ik ON kaspo (filename)", DBSTMT_CREATEINDEX, "IK", "KASPO"},
      {"CREATE UNIQUE INDEX ub ON blobj (fk_id, itemnumber)", DBSTMT_CREATEINDEX, "UB", "BLOBJ"},
      {"SET TABLE blobj STATIC", DBSTMT_SETTABLE, "BLOBJ", "BLOBJ"},
      {"SET TABLE kaspo SECURE;", DBSTMT_SETTABLE, "KASPO", "KASPO"},
      {"SET DATABASE other", DBSTMT_SETDATABASE, "OTHER", ""},
      {"CREATE TABLE mine (aa INTEGER)", DBSTMT_OTHER, "MINE", ""},
      {"SELECT * FROM kaspo", DBSTMT_OTHER, "", ""},
      {"end", DBSTMT_COMMIT, "", ""},
  };
  MYDB_RESULT result;
  int count = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    DBSTATEMENT statement;
    ASSERT_TRUE(DBHANDLE_Prepare(c.sql, &statement));
    EXPECT_EQ(statement.kind, c.kind);
    EXPECT_EQ(statement.name, c.name);
    EXPECT_EQ(statement.table, c.table);
    DBquery_reset();  // what goes out is the prepared form, not the buffer
    Fake().messages.clear();
    EXPECT_TRUE(DBHANDLE_ExecStatement(&handle_, statement, &result, &count));
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0], ParsedMessage(c.sql));
  }
  Fake().messages.clear();
  DBSTATEMENT statement;
  EXPECT_FALSE(DBHANDLE_Prepare("SET TABLE kaspo TEMPORARY", &statement));
  EXPECT_EQ(statement.kind, DBSTMT_NONE);
  EXPECT_FALSE(DBHANDLE_ExecStatement(&handle_, statement, &result, &count));
  EXPECT_EQ(DBHANDLE_ErrorText(),
            "NONFATAL ERROR occured in SET TABLE kaspo TEMPORARY; command.\n"
            "Error: Syntax error: STATIC expected (found '<identifier value>')\n");
  EXPECT_EQ(Letters(), "");
}

}  // namespace
