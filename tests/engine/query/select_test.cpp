// SELECT through real statements: joins with table identifiers, the
// column names they produce, aggregates, DISTINCT, limits and the reply.
#include "engine/query/select.h"

#include "query_fixture.h"

namespace {

class SelectTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run({"CREATE TABLE TA (ID INTEGER, NM CHARACTER(10))",
         "CREATE TABLE TB (ID INTEGER, AID INTEGER, QT SMALLINT)",
         "BEGIN", "INSERT INTO TA VALUES (1, 'one')", "INSERT INTO TA VALUES (2, 'two')",
         "INSERT INTO TB VALUES (10, 1, 5)", "INSERT INTO TB VALUES (20, 2, 7)",
         "INSERT INTO TB VALUES (30, 1, 9)", "COMMIT"});
  }
};

TEST_F(SelectTest, JoinsTwoTablesWithTheFirstVaryingFastest) {
  EXPECT_EQ(Columns("SELECT * FROM TA X, TB Y"), "X.ID,X.NM,Y.ID,Y.AID,Y.QT");
  // Rows of a table come newest first; A varies fastest.
  EXPECT_EQ(Rows("SELECT X.ID, Y.ID FROM TA X, TB Y"), "2,30;1,30;2,20;1,20;2,10;1,10");
}

}  // namespace
