// DROP INDEX of unique and non-unique indexes on tables with rows: the
// rule the index kept goes, lookups fall back to scans with the same rows,
// and the name is free again.
#include <string>

#include "engine/statements/query_fixture.h"

namespace {

class DropIndexTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run({"CREATE TABLE TK (KK CHARACTER(4), NN INTEGER)", "CREATE UNIQUE INDEX XK ON TK (KK)",
         "CREATE UNIQUE INDEX XP ON TK (KK, NN)", "CREATE INDEX YN ON TK (NN)", "BEGIN",
         "INSERT INTO TK VALUES ('a', 1)", "INSERT INTO TK VALUES ('b', 2)",
         "INSERT INTO TK VALUES ('c', 2)", "COMMIT"});
  }

  std::string Reply(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    return r->status == DBRES_COMMAND_OK ? "OK" : r->error;
  }
};

TEST_F(DropIndexTest, DroppingAUniqueIndexLetsEqualKeysIn) {
  Run({"BEGIN"});
  EXPECT_EQ(Reply("INSERT INTO TK VALUES ('a', 9)"), "(INSERT) Unique index violation");
  Run({"COMMIT"});
  EXPECT_EQ(Reply("DROP INDEX XK"), "OK");
  Run({"BEGIN"});
  EXPECT_EQ(Reply("INSERT INTO TK VALUES ('a', 9)"), "OK");
  // The other unique index still holds its pair of columns.
  EXPECT_EQ(Reply("INSERT INTO TK VALUES ('a', 9)"), "(INSERT) Unique index violation");
  Run({"COMMIT"});
  // Without the hash the equality scans and finds both rows.
  EXPECT_EQ(Rows("SELECT NN FROM TK WHERE KK = 'a' ORDER BY NN"), "1;9");
  EXPECT_EQ(Reply("CREATE UNIQUE INDEX XK ON TK (KK)"),
            "(CREATE UNIQUE INDEX) Index 'XK' cannot be created because table 'TK' is not empty");
  EXPECT_EQ(Reply("DROP INDEX XP"), "OK");
  Run({"BEGIN", "INSERT INTO TK VALUES ('a', 9)", "COMMIT"});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TK WHERE KK = 'a'"), "3");
}

TEST_F(DropIndexTest, DroppingAnOrderedListKeepsRangeResults) {
  const char* queries[] = {
      "SELECT KK FROM TK WHERE NN < 2 ORDER BY KK", "SELECT KK FROM TK WHERE NN >= 2 ORDER BY KK",
      "SELECT KK FROM TK WHERE NN BETWEEN 2 AND 5 ORDER BY KK", "SELECT COUNT(*) FROM TK"};
  std::string before[4];
  for (int i = 0; i < 4; ++i) before[i] = Rows(queries[i]);
  EXPECT_EQ(before[0], "a");
  EXPECT_EQ(before[1], "b;c");
  EXPECT_EQ(Reply("DROP INDEX YN"), "OK");
  EXPECT_EQ(Reply("DROP INDEX YN"), "(DROP INDEX) Index 'YN' not found");
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(queries[i]);
    EXPECT_EQ(Rows(queries[i]), before[i]);
  }
  // The name can be given again, here to a list over another column.
  EXPECT_EQ(Reply("CREATE INDEX YN ON TK (KK)"), "OK");
  EXPECT_EQ(Rows("SELECT NN FROM TK WHERE KK > 'a' ORDER BY NN"), "2;2");
}

}  // namespace
