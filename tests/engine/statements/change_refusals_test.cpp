// Changing statements that must refuse without changing a row: a WHERE
// fed by a subselect the row maximum cut short, unknown attributes and bad
// time literals, and an update of a row already changed in the transaction
// that would break a unique index.
#include <string>

#include "engine/statements/query_fixture.h"

namespace {

class ChangeRefusalsTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run({"CREATE TABLE TA (ID INTEGER, NM CHARACTER(4), TM TIME, TS TIMESTAMP)",
         "CREATE TABLE TB (ID INTEGER)", "CREATE TABLE TU (KK CHARACTER(4), NN INTEGER)",
         "CREATE UNIQUE INDEX XU ON TU (KK)", "BEGIN", "INSERT INTO TA (ID, NM) VALUES (1, 'one')",
         "INSERT INTO TA (ID, NM) VALUES (2, 'two')", "INSERT INTO TB VALUES (1)",
         "INSERT INTO TB VALUES (2)", "INSERT INTO TU VALUES ('a', 1)",
         "INSERT INTO TU VALUES ('b', 2)", "COMMIT", "BEGIN"});
  }

  // The error text of a changing statement that must be refused.
  std::string Refused(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    EXPECT_EQ(r->status, DBRES_BAD_REPLY) << sql;
    return r->error;
  }
};

TEST_F(ChangeRefusalsTest, ACutShortSubselectRefusesTheWholeChange) {
  Run({"MAX 1"});
  EXPECT_EQ(Refused("DELETE FROM TA WHERE ID IN (SELECT ID FROM TB)"),
            "(DELETE) Subselect with too many results");
  EXPECT_EQ(Refused("UPDATE TA SET NM = 'x' WHERE ID IN (SELECT ID FROM TB)"),
            "(UPDATA) Subselect with too many results");
  Run({"MAX 100"});
  EXPECT_EQ(Rows("SELECT ID, NM FROM TA ORDER BY ID"), "1,one;2,two");
  // With room for the subselect the same statements go through.
  Run({"UPDATE TA SET NM = 'x' WHERE ID IN (SELECT ID FROM TB)"});
  EXPECT_EQ(Rows("SELECT ID, NM FROM TA ORDER BY ID"), "1,x;2,x");
  Run({"DELETE FROM TA WHERE ID IN (SELECT ID FROM TB)"});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA"), "0");
}

TEST_F(ChangeRefusalsTest, NamesTheAttributeOrLiteralItCannotUse) {
  struct Case {
    const char* sql;
    const char* error;
  };
  const Case cases[] = {
      {"UPDATE TA SET XX = 1", "(UPDATE) Attrib 'XX' not found in table 'TA'"},
      {"UPDATE TA SET NM = 'y', XX = 1 WHERE ID = 1",
       "(UPDATE) Attrib 'XX' not found in table 'TA'"},
      {"INSERT INTO TA (ID, TM) VALUES (3, '24:00:00')", "(INSERT) Invalid time-value '24:00:00'"},
      {"INSERT INTO TA (ID, TM) VALUES (3, '1:2:3')", "(INSERT) Invalid time-value '1:2:3'"},
      {"INSERT INTO TA (ID, TS) VALUES (3, '2003-07-12-10.00.00')",
       "(INSERT) Invalid timestamp-value '2003-07-12-10.00.00'"},
      {"UPDATE TA SET TM = '12:60:00'", "(UPDATE) Invalid time-value '12:60:00'"},
      {"UPDATE TA SET TS = '2003-02-29-10.00.00.000000'",
       "(UPDATE) Invalid timestamp-value '2003-02-29-10.00.00.000000'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Refused(c.sql), c.error);
  }
  EXPECT_EQ(Rows("SELECT ID, NM, TM FROM TA ORDER BY ID"), "1,one,00:00:00;2,two,00:00:00");
  Run({"UPDATE TA SET TM = '23:59:59', TS = '2004-02-29-23.59.59.999999' WHERE ID = 2"});
  EXPECT_EQ(Rows("SELECT TM, TS FROM TA WHERE ID = 2"), "23:59:59,2004-02-29-23.59.59.999999");
}

TEST_F(ChangeRefusalsTest, AChangedRowKeepsItsVersionWhenAnUpdateBreaksTheKey) {
  Run({"UPDATE TU SET NN = 5 WHERE KK = 'a'"});
  EXPECT_EQ(Refused("UPDATE TU SET KK = 'b' WHERE KK = 'a'"), "(UPDATE) Unique index violation");
  EXPECT_EQ(Rows("SELECT KK, NN FROM TU ORDER BY KK"), "a,5;b,2");
  // The key of the kept version is back in the index.
  EXPECT_EQ(Rows("SELECT NN FROM TU WHERE KK = 'a'"), "5");
  EXPECT_EQ(Rows("SELECT NN FROM TU WHERE KK = 'b'"), "2");
  Run({"UPDATE TU SET KK = 'c' WHERE KK = 'a'", "COMMIT"});
  EXPECT_EQ(Rows("SELECT KK, NN FROM TU ORDER BY KK"), "b,2;c,5");
  EXPECT_EQ(Rows("SELECT NN FROM TU WHERE KK = 'c'"), "5");
  EXPECT_EQ(Rows("SELECT NN FROM TU WHERE KK = 'a'"), "");
}

}  // namespace
