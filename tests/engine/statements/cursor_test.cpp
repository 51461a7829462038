// Tests of DECLARE, FETCH and CLOSE, run as SQL text through the client
// (DBexec), or as hand-built messages where a message must be malformed.
#include "engine/statements/cursor.h"

#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "engine/catalog/catalog.h"
#include "engine/types/tokens.h"
#include "support/engine_fixture.h"

namespace {

class CursorTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    conn_ = DBconnect("CURDB", 1);  // Conn_Id 1
    // Five rows, inserted out of order so that ORDER BY has work to do.
    Script({{"CREATE TABLE TT (ID INTEGER, NAME CHARACTER(2))", "ok"}, {"BEGIN", "ok"}});
    for (int id : {3, 1, 5, 2, 4})
      Run("INSERT INTO TT VALUES (" + std::to_string(id) + ", 'N" + std::to_string(id) + "')");
    Script({{"COMMIT", "ok"}});
  }

  // "ok" (with a row count other than 0), an error's text, or the rows:
  // cells joined by ":", rows by ","; a result marked cut short by "cut ".
  std::string Run(const std::string& sql) {
    return ResultText(DBexec(conn_.get(), sql.c_str()).get(), ":", ",");
  }

  struct Step {
    std::string sql;
    std::string expected;
  };
  void Script(const std::vector<Step>& steps) {
    for (const Step& s : steps) EXPECT_EQ(Run(s.sql), s.expected) << s.sql;
  }

  const DBCONN& Conn() const { return *CATALOG_Conn(1); }

  std::unique_ptr<DBCONNECTION> conn_;
};

TEST_F(CursorTest, FetchesInTheSelectsOrderUntilTheTransactionEnds) {
  Script({
      {"DECLARE UP CURSOR FOR SELECT ID FROM TT", "(DECLARE) No transaction"},
      {"BEGIN", "ok"},
      {"DECLARE UP CURSOR FOR SELECT ID, NAME FROM TT ORDER BY ID", "ok 5"},
      {"DECLARE DOWN CURSOR FOR SELECT ID FROM TT ORDER BY ID DESC", "ok 5"},
      {"DECLARE UP CURSOR FOR SELECT ID FROM TT",
       "(DECLARE) Cursor 'UP' already in use for Conn_Id 1\n"},
      // The rows are those of the DECLARE, whatever happens to the table.
      {"INSERT INTO TT VALUES (6, 'N6')", "ok"},
      {"DELETE FROM TT WHERE ID = 1", "ok 1"},
      {"FETCH IN UP", "1:N1"},
      {"FETCH NEXT UP", "2:N2"},
      {"FETCH ALL IN UP", "3:N3,4:N4,5:N5"},
      {"FETCH IN UP", ""},  // past the end: no rows, no error
      {"FETCH ALL IN UP", ""},
      {"FETCH IN DOWN", "5"},
      {"CLOSE UP", "ok"},
      {"FETCH IN UP", "(FETCH) Cursor 'UP' not found for Conn_Id 1\n"},
      {"CLOSE UP", "(CLOSE) Cursor 'UP' not found for Conn_Id 1\n"},
      {"ABORT", "ok"},
      {"FETCH IN DOWN", "(FETCH) No transaction"},
      {"CLOSE DOWN", "(CLOSE) No transaction"},
      {"BEGIN", "ok"},
      {"FETCH IN DOWN", "(FETCH) Cursor 'DOWN' not found for Conn_Id 1\n"},
      // The row maximum cuts the select short; the FETCH that reaches the
      // end of its rows says so, as a SELECT does ('4').
      {"MAX 2", "ok"},
      {"DECLARE TOP CURSOR FOR SELECT ID FROM TT WHERE ID > 3 ORDER BY ID DESC", "ok 2"},
      {"FETCH ALL IN TOP", "cut 5,4"},
      {"FETCH ALL IN TOP", "cut "},
      {"DECLARE ONE CURSOR FOR SELECT ID FROM TT WHERE ID < 3 ORDER BY ID", "ok 2"},
      {"FETCH IN ONE", "1"},
      {"FETCH IN ONE", "cut 2"},
      {"COMMIT", "ok"},
      {"BEGIN", "ok"},
      {"FETCH ALL IN TOP", "(FETCH) Cursor 'TOP' not found for Conn_Id 1\n"},
  });
  EXPECT_EQ(Conn().cursor_count, 0);
}

TEST_F(CursorTest, TwentySlotsWhichClosedAndFailedDeclaresGiveBack) {
  Script({{"BEGIN", "ok"}});
  for (int i = 0; i < DB_MAXCURSORS; ++i)
    Script({{"DECLARE C" + std::to_string(i) + " CURSOR FOR SELECT ID FROM TT", "ok 5"}});
  Script({{"DECLARE C20 CURSOR FOR SELECT ID FROM TT",
           "(DECLARE) Too many open cursors for Conn_Id 1 (DB_MAXCURSORS = 20)\n"},
          {"CLOSE C5", "ok"},
          {"CLOSE C19", "ok"},
          // A failing select gives back the free slot below the count ...
          {"DECLARE BAD CURSOR FOR SELECT * FROM NOPE", "(SELECT) Table 'NOPE' does not exist"},
          {"FETCH IN BAD", "(FETCH) Cursor 'BAD' not found for Conn_Id 1\n"}});
  EXPECT_EQ(Conn().cursors[5].name[0], '\0');
  EXPECT_EQ(Conn().cursor_count, DB_MAXCURSORS - 1);
  Script({{"DECLARE AGAIN CURSOR FOR SELECT ID FROM TT WHERE ID < 3", "ok 2"},
          // ... and the one it added on top.
          {"DECLARE BAD CURSOR FOR SELECT NOPE FROM TT", "(SELECT) Attribute NOPE not found"},
          {"DECLARE LAST CURSOR FOR SELECT ID FROM TT", "ok 5"},
          {"DECLARE MORE CURSOR FOR SELECT ID FROM TT",
           "(DECLARE) Too many open cursors for Conn_Id 1 (DB_MAXCURSORS = 20)\n"}});
  EXPECT_STREQ(Conn().cursors[5].name, "AGAIN");
  // Closing the top slot lowers the count past every free slot below it.
  for (int i : {18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6})
    Script({{"CLOSE C" + std::to_string(i), "ok"}});
  EXPECT_EQ(Conn().cursor_count, DB_MAXCURSORS);
  Script({{"CLOSE LAST", "ok"}});
  EXPECT_EQ(Conn().cursor_count, 6);  // AGAIN in slot 5 is the highest left
}

TEST_F(CursorTest, MalformedMessagesNameWhatIsMissing) {
  const std::string kFoundInt = std::string("Syntax error: ") + DBTK_Name(DBTK_IDENT) +
                                " expected (found " + DBTK_Name(DBTK_INTVAL) + ")";
  const std::string kLong(DB_NAMESIZE, 'L');
  std::vector<unsigned char> long_name = {'N', DBTK_IDENT, DB_NAMESIZE + 1, 0};
  long_name.insert(long_name.end(), kLong.begin(), kLong.end());
  long_name.insert(long_name.end(), {0, DBTK_STAR, DBTK_FROM, DBTK_IDENT, 3, 0, 'T', 'T', 0, 'x'});
  const struct {
    int conn;
    std::vector<unsigned char> msg;
    std::string expected;
  } kCases[] = {
      {9, {'N'}, "(DECLARE) Conn_Id 9 not found\n"},
      {9, {'O'}, "(FETCH) Conn_Id 9 not found\n"},
      {9, {'P'}, "(CLOSE) Conn_Id 9 not found\n"},
      {1, {'N'}, "(DECLARE) cursor-name is missing\n"},
      {1, {'O'}, "(FETCH)\n"},
      {1, {'O', DBTK_ALL}, "(FETCH) cursor-name is missing\n"},
      {1, {'O', DBTK_ALL, DBTK_INTVAL, 0, 0, 0, 0}, "(FETCH) cursor-name is missing\n" + kFoundInt},
      {1, {'O', DBTK_INTVAL, 0, 0, 0, 0}, "(FETCH) cursor-name is missing\n" + kFoundInt},
      {1,
       {'P', DBTK_IDENT, 3},
       "(CLOSE) cursor-name is missing\nSyntax error: <name> expected (unexpected end of squery)"},
      // Names no slot can hold; an empty one would pass for a free slot.
      {1,
       {'N', DBTK_IDENT, 1, 0, 0, DBTK_STAR, DBTK_FROM, DBTK_IDENT, 3, 0, 'T', 'T', 0, 'x'},
       "(DECLARE) Invalid cursor-name ''"},
      {1, long_name, "(DECLARE) Invalid cursor-name '" + kLong + "'"},
  };
  Script({{"BEGIN", "ok"}});
  for (const auto& c : kCases) EXPECT_EQ(EngineSendBytes(c.conn, c.msg), c.expected);
  EXPECT_EQ(Conn().cursor_count, 0);
  // One character less, and the name is a cursor's.
  long_name.erase(long_name.begin() + 4);
  long_name[2] = DB_NAMESIZE;
  EXPECT_EQ(EngineSendBytes(1, long_name), "<33>");
}

}  // namespace
