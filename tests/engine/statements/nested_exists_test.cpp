// EXISTS inside EXISTS where the inner subselect names a table of a select
// two or more levels up: the inner condition depends on that row, so it
// must be decided for each of its rows, not once for all of them.
#include "engine/statements/eval.h"
#include "query_fixture.h"

namespace {

class NestedExistsTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run({"CREATE TABLE TA (ID INTEGER, NM CHARACTER(6))",
         "CREATE TABLE TB (ID INTEGER, AID INTEGER)",
         "CREATE TABLE TC (ID INTEGER, BID INTEGER, AV INTEGER)", "BEGIN",
         "INSERT INTO TA VALUES (1, 'one')", "INSERT INTO TA VALUES (2, 'two')",
         "INSERT INTO TA VALUES (3, 'three')", "INSERT INTO TB VALUES (10, 1)",
         "INSERT INTO TB VALUES (20, 2)", "INSERT INTO TB VALUES (30, 2)",
         "INSERT INTO TC VALUES (100, 10, 1)", "INSERT INTO TC VALUES (200, 30, 3)",
         "INSERT INTO TC VALUES (300, 20, 2)", "COMMIT"});
  }
};

struct Case {
  const char* sql;
  const char* expected;
};

TEST_F(NestedExistsTest, DecidesADeepReferencePerRowOfItsTable) {
  const Case cases[] = {
      // The middle select names no upper table: only the innermost does.
      {"SELECT X.ID FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE EXISTS "
       "(SELECT * FROM TC Z WHERE Z.AV > X.ID)) ORDER BY X.ID",
       "1;2"},
      {"SELECT X.ID FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE EXISTS "
       "(SELECT * FROM TC Z WHERE Z.AV = X.ID AND Z.ID > 150)) ORDER BY X.ID",
       "2;3"},
      {"SELECT X.ID FROM TA X WHERE NOT EXISTS (SELECT * FROM TB Y WHERE EXISTS "
       "(SELECT * FROM TC Z WHERE Z.AV = X.ID AND Z.ID > 150)) ORDER BY X.ID",
       "1"},
      // Both levels refer upwards; TA 2 passes through TB 30 alone.
      {"SELECT X.ID FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE Y.AID = X.ID AND EXISTS "
       "(SELECT * FROM TC Z WHERE Z.BID = Y.ID AND Z.AV = X.ID)) ORDER BY X.ID",
       "1;2"},
      {"SELECT X.ID FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE Y.AID = X.ID AND EXISTS "
       "(SELECT * FROM TC Z WHERE Z.BID = Y.ID AND Z.AV <> X.ID)) ORDER BY X.ID",
       "2"},
      // Three levels, the innermost naming the top select.
      {"SELECT X.ID FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE EXISTS (SELECT * FROM TB W "
       "WHERE EXISTS (SELECT * FROM TC Z WHERE Z.AV > X.ID AND Z.BID = W.ID))) ORDER BY X.ID",
       "1;2"},
      {"SELECT X.ID FROM TA X WHERE EXISTS (SELECT * FROM TB Y WHERE EXISTS (SELECT * FROM TB W "
       "WHERE W.ID = 30 AND EXISTS (SELECT * FROM TC Z WHERE Z.AV = X.ID AND Z.BID = W.ID)))",
       "3"},
      // A join at the top: the deep reference names its second table.
      {"SELECT X.ID, V.ID FROM TA X, TA V WHERE X.ID = 1 AND EXISTS (SELECT * FROM TB Y WHERE "
       "EXISTS (SELECT * FROM TC Z WHERE Z.AV = V.ID AND Z.BID = 30)) ORDER BY V.ID",
       "1,3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Rows(c.sql), c.expected);
  }
}

TEST_F(NestedExistsTest, KeepsTheTokensAfterARereadSubselect) {
  // The re-read middle select has an ORDER BY of its own, and the outer
  // statement goes on after it with an ORDER BY and another condition.
  EXPECT_EQ(Rows("SELECT X.ID, X.NM FROM TA X WHERE EXISTS (SELECT Y.ID FROM TB Y WHERE EXISTS "
                 "(SELECT * FROM TC Z WHERE Z.AV > X.ID) ORDER BY Y.ID) AND X.ID > 1 "
                 "ORDER BY X.ID DESC"),
            "2,two");
}

}  // namespace
