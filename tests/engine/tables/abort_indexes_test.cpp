// ABORT must leave the unique hash and the ordered lists holding exactly
// the rows of the state before the transaction, whatever sequence of
// inserts, updates and deletes the transaction made on a row: lookups,
// ranges and the counted COUNT(*) all read the indexes.
#include <string>

#include "engine/statements/query_fixture.h"

namespace {

class AbortIndexesTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run({"CREATE TABLE TU (KK CHARACTER(4), NN INTEGER)", "CREATE UNIQUE INDEX XU ON TU (KK)",
         "CREATE INDEX YU ON TU (NN)", "BEGIN", "INSERT INTO TU VALUES ('a', 1)",
         "INSERT INTO TU VALUES ('b', 2)", "COMMIT"});
  }

  // What the indexes answer, in one line: the rows by key, by range and
  // the count.
  std::string Indexed() {
    return Rows("SELECT KK, NN FROM TU WHERE KK = 'a'") + " | " +
           Rows("SELECT KK, NN FROM TU WHERE KK = 'n'") + " | " +
           Rows("SELECT KK FROM TU WHERE NN >= 1 ORDER BY KK") + " | " +
           Rows("SELECT COUNT(*) FROM TU");
  }
};

TEST_F(AbortIndexesTest, LeavesTheIndexesAsBeforeTheTransaction) {
  const std::string before = Indexed();
  EXPECT_EQ(before, "a,1 |  | a;b | 2");
  const struct {
    const char* name;
    std::initializer_list<const char*> changes;
  } kCases[] = {
      {"insert, then update",
       {"INSERT INTO TU VALUES ('n', 5)", "UPDATE TU SET NN = 6 WHERE KK = 'n'"}},
      {"insert, update twice",
       {"INSERT INTO TU VALUES ('n', 5)", "UPDATE TU SET NN = 6 WHERE KK = 'n'",
        "UPDATE TU SET KK = 'm' WHERE KK = 'n'"}},
      {"insert, then delete", {"INSERT INTO TU VALUES ('n', 5)", "DELETE FROM TU WHERE KK = 'n'"}},
      {"update, then delete",
       {"UPDATE TU SET NN = 5 WHERE KK = 'a'", "DELETE FROM TU WHERE KK = 'a'"}},
      {"update of the key", {"UPDATE TU SET KK = 'n' WHERE KK = 'a'"}},
      {"update of the key twice",
       {"UPDATE TU SET KK = 'n' WHERE KK = 'a'", "UPDATE TU SET NN = 9 WHERE KK = 'n'"}},
      {"delete, then insert of the key",
       {"DELETE FROM TU WHERE KK = 'a'", "INSERT INTO TU VALUES ('a', 7)"}},
      {"delete of all", {"DELETE FROM TU"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Run({"BEGIN"});
    for (const char* sql : c.changes) Run({sql});
    Run({"ABORT"});
    EXPECT_EQ(Indexed(), before);
  }
  // The keys the aborted transactions used are free.
  Run({"BEGIN", "INSERT INTO TU VALUES ('n', 3)", "INSERT INTO TU VALUES ('m', 4)", "COMMIT"});
  EXPECT_EQ(Indexed(), "a,1 | n,3 | a;b;m;n | 4");
}

TEST_F(AbortIndexesTest, CommitKeepsOnlyTheLastVersionInTheIndexes) {
  Run({"BEGIN", "INSERT INTO TU VALUES ('n', 5)", "UPDATE TU SET NN = 6 WHERE KK = 'n'"});
  EXPECT_EQ(Exec("UPDATE TU SET KK = 'a' WHERE KK = 'b'")->error,
            "(UPDATE) Unique index violation");
  Run({"COMMIT"});
  EXPECT_EQ(Rows("SELECT KK, NN FROM TU ORDER BY KK"), "a,1;b,2;n,6");
  EXPECT_EQ(Rows("SELECT KK FROM TU WHERE NN = 5"), "");
  Run({"BEGIN", "UPDATE TU SET NN = 7 WHERE KK = 'a'", "DELETE FROM TU WHERE KK = 'b'",
       "UPDATE TU SET KK = 'b' WHERE KK = 'n'", "COMMIT"});
  EXPECT_EQ(Rows("SELECT KK, NN FROM TU ORDER BY KK"), "a,7;b,6");
  EXPECT_EQ(Rows("SELECT NN FROM TU WHERE KK = 'b'"), "6");
  EXPECT_EQ(Rows("SELECT KK FROM TU WHERE NN BETWEEN 2 AND 6"), "b");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TU"), "2");
}

}  // namespace
