// Conditions between two attributes of every type, decided per row
// combination: times, timestamps and binary values against each other and
// against texts in either order, the pairings evaluation refuses, and the
// aggregates and DISTINCT over those types.
#include <string>

#include "query_fixture.h"

namespace {

constexpr char kEvalFailed[] = "ERR (SELECT) Error in evaluation of WHERE-expression";

class TypedEvaluationTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    // CD, CT and CS hold texts in the forms of DATE, TIME and TIMESTAMP;
    // CB holds texts to meet the BINARY column.
    Run(
        {"CREATE TABLE TT (ID INTEGER, SM SMALLINT, FL FLOAT, DT DATE, TM TIME, TS TIMESTAMP, "
         "BI BINARY(4), CD CHARACTER(10), CT CHARACTER(8), CS CHARACTER(26), CB CHARACTER(4))",
         "BEGIN",
         "INSERT INTO TT VALUES (1, 1, 1.5, '2003-07-12', '10:00:00', "
         "'2003-07-12-10.00.00.000000', 'ab', '2003-07-13', '12:30:00', "
         "'2003-07-13-12.30.00.000001', 'zz')",
         "INSERT INTO TT VALUES (2, 2, 2.0, '2003-07-13', '12:30:00', "
         "'2003-07-13-12.30.00.000001', 'abc', '2003-07-12', '10:00:00', "
         "'2003-07-12-10.00.00.000000', 'abc')",
         "INSERT INTO TT VALUES (3, 2, 3.0, '2003-07-12', '10:00:00', "
         "'2003-07-12-10.00.00.000000', 'abc', '1999-01-01', '23:59:59', "
         "'1999-01-01-00.00.00.000000', 'ab')",
         "COMMIT"});
  }

  std::string Pairs(const std::string& condition) {
    return Rows("SELECT X.ID, Y.ID FROM TT X, TT Y WHERE " + condition + " ORDER BY X.ID, Y.ID");
  }

  // The statement fails; returns the engine's diagnostic.
  std::string Refusal(const std::string& condition) {
    testing::internal::CaptureStderr();
    const std::string rows = Pairs(condition);
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rows, kEvalFailed) << condition;
    return diagnostics;
  }
};

struct Case {
  const char* condition;
  const char* pairs;
};

TEST_F(TypedEvaluationTest, ComparesEveryTypeWithItsOwnKind) {
  const Case cases[] = {
      {"X.DT = Y.DT AND X.ID < Y.ID", "1,3"},
      {"X.TM < Y.TM", "1,2;3,2"},
      {"X.TS > Y.TS", "2,1;2,3"},
      {"X.TS <> Y.TS AND X.ID = 1", "1,2"},
      // BINARY orders by length first: 'ab' before 'abc'.
      {"X.BI < Y.BI", "1,2;1,3"},
      {"X.BI = Y.BI AND X.ID < Y.ID", "2,3"},
      {"X.BI >= Y.BI AND X.ID = 1", "1,1"},
      // SMALLINT against FLOAT compares numbers.
      {"X.SM = Y.FL", "2,2;3,2"},
      {"X.FL > Y.SM AND Y.ID = 3", "3,3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    EXPECT_EQ(Pairs(c.condition), c.pairs);
  }
}

TEST_F(TypedEvaluationTest, ReadsTextsAsTheOtherSidesType) {
  const Case cases[] = {
      // The date, time or timestamp on the left, the text on the right.
      {"X.DT = Y.CD", "1,2;2,1;3,2"},
      {"X.TM = Y.CT", "1,2;2,1;3,2"},
      {"X.TS = Y.CS", "1,2;2,1;3,2"},
      {"X.DT > Y.CD AND X.ID = 2", "2,2;2,3"},
      // The text on the left.
      {"X.CT < Y.TM AND X.ID = 2", "2,2"},
      {"X.CS >= Y.TS AND X.ID = 1", "1,1;1,2;1,3"},
      // A text meets a BINARY value as its bytes without the CHARACTER
      // padding, in either order; the left side's type gives the order.
      {"X.CB = Y.BI", "2,2;2,3;3,1"},
      {"X.BI = Y.CB", "1,3;2,2;3,2"},
      {"X.CB <> Y.BI AND X.ID = 3", "3,2;3,3"},
      {"X.BI < Y.CB AND X.ID = 1", "1,1;1,2"},
      {"X.CB < Y.BI AND X.ID = 1", "1,2;1,3"},  // as BINARY: 'zz' is shorter than 'abc'
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    EXPECT_EQ(Pairs(c.condition), c.pairs);
  }
}

TEST_F(TypedEvaluationTest, RefusesPairingsOfDifferentKinds) {
  const std::string invalid = "(Compute_ValExpr) Invalid datatype\n";
  EXPECT_EQ(Refusal("X.DT = Y.TM"), invalid);
  EXPECT_EQ(Refusal("X.TS = Y.ID"), invalid);
  EXPECT_EQ(Refusal("X.ID = Y.CB"), invalid);
  EXPECT_EQ(Refusal("X.CB = Y.FL"), invalid);
  EXPECT_EQ(Refusal("X.BI = Y.SM"), invalid);
  EXPECT_EQ(Refusal("X.FL <> Y.DT"), invalid);
  // A text that is no time fails the conversion, and so the statement
  // (rows come newest first: the third row's text is the first tried).
  EXPECT_EQ(Refusal("X.TM = Y.CB"), "(StrgToTime) Invalid time (ab)\n");
  EXPECT_EQ(Refusal("X.CB < Y.TS"), "(StrgToDati) Invalid timestamp (ab)\n");
  // A BINARY value read as text for a date.
  EXPECT_EQ(Refusal("X.BI = Y.DT"), "(StrgToDate) Invalid date (abc)\n");
}

TEST_F(TypedEvaluationTest, ComparesUpperValuesOfEveryKind) {
  EXPECT_EQ(Rows("SELECT X.ID FROM TT X WHERE EXISTS (SELECT * FROM TT Y WHERE Y.TS = X.TS "
                 "AND Y.ID <> X.ID) ORDER BY X.ID"),
            "1;3");
  EXPECT_EQ(Rows("SELECT X.ID FROM TT X WHERE EXISTS (SELECT * FROM TT Y WHERE X.BI < Y.BI) "
                 "ORDER BY X.ID"),
            "1");
  EXPECT_EQ(Rows("SELECT X.ID FROM TT X WHERE EXISTS (SELECT * FROM TT Y WHERE Y.CT = X.TM) "
                 "ORDER BY X.ID"),
            "1;2;3");
}

TEST_F(TypedEvaluationTest, AggregatesAndDistinctOverEveryType) {
  // Evaluated (two attributes compared), so the aggregate cells are used.
  EXPECT_EQ(Rows("SELECT MIN(X.BI), MAX(X.BI), MIN(X.TS), MAX(X.TM), MIN(X.DT), MAX(X.SM) "
                 "FROM TT X, TT Y WHERE X.ID = Y.ID"),
            "ab,abc,2003-07-12-10.00.00.000000,12:30:00,2003-07-12,2");
  EXPECT_EQ(Rows("SELECT MAX(X.CB), MIN(X.FL) FROM TT X, TT Y WHERE X.ID = Y.ID"), "zz,1.5");
  // The same over whole lists (no evaluation).
  EXPECT_EQ(Rows("SELECT MIN(BI), MAX(TS), MIN(TM) FROM TT"),
            "ab,2003-07-13-12.30.00.000001,10:00:00");
  EXPECT_EQ(Rows("SELECT DISTINCT DT, TM, TS FROM TT ORDER BY DT"),
            "2003-07-12,10:00:00,2003-07-12-10.00.00.000000;"
            "2003-07-13,12:30:00,2003-07-13-12.30.00.000001");
  EXPECT_EQ(Rows("SELECT DISTINCT SM, BI FROM TT ORDER BY SM"), "1,ab;2,abc");
  EXPECT_EQ(Rows("SELECT DISTINCT FL, CB FROM TT ORDER BY FL"), "1.5,zz;2,abc;3,ab");
}

}  // namespace
