// Evaluation per row combination: conditions between attributes of two
// tables, upper references, EXISTS, the node limit and the choice of a
// narrowing row list.
#include "engine/statements/eval.h"

#include <string>

#include "query_fixture.h"

namespace {

constexpr char kEvalFailed[] = "(SELECT) Error in evaluation of WHERE-expression";

class EvalTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    Run({"CREATE TABLE TA (ID INTEGER, NM CHARACTER(10), FL FLOAT, DT CHARACTER(12))",
         "CREATE TABLE TB (ID INTEGER, AID INTEGER, QT SMALLINT, DD DATE)",
         "CREATE TABLE TE (ID INTEGER)", "BEGIN",
         "INSERT INTO TA VALUES (1, 'one', 3.000000000000001, '2003-07-12')",
         "INSERT INTO TA VALUES (2, 'two', 2.0001, '2003-07-13')",
         "INSERT INTO TA VALUES (3, 'three', 10, '2003-07-14')",
         "INSERT INTO TB VALUES (10, 1, 5, '2003-07-12')",
         "INSERT INTO TB VALUES (20, 2, 7, '2003-07-14')",
         "INSERT INTO TB VALUES (30, 1, 9, '2003-07-15')", "COMMIT"});
  }

  // Runs a query whose evaluation must fail and returns what went to the
  // engine's error output.
  std::string EvalFailure(const std::string& sql) {
    testing::internal::CaptureStderr();
    const std::string rows = Rows(sql);
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rows, std::string("ERR ") + kEvalFailed) << sql;
    return diagnostics;
  }
};

TEST_F(EvalTest, ComparesAttributesOfTwoTablesPerCombination) {
  struct Case {
    const char* sql;
    const char* expected;
  };
  const Case cases[] = {
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE X.ID = Y.AID", "1,30;2,20;1,10"},
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE Y.AID = X.ID AND Y.QT > 6", "1,30;2,20"},
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE Y.QT > 6 AND Y.AID = X.ID", "1,30;2,20"},
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE X.ID < Y.AID", "1,20"},
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE X.ID <> Y.AID AND Y.ID = 20", "3,20;1,20"},
      // INTEGER against FLOAT: both as doubles, with the FLOAT tolerance.
      {"SELECT X.NM, Y.ID FROM TA X, TA Y WHERE X.FL = Y.ID", "one,3"},
      // CHARACTER against DATE: the text is read as a date.
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE X.DT = Y.DD", "3,20;1,10"},
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE Y.DD > X.DT AND X.ID = 3", "3,30"},
      {"SELECT X.ID, Y.ID FROM TA X, TB Y WHERE X.NM LIKE 't%' AND X.ID = Y.AID", "2,20"},
  };
  ExpectRows(cases);
}

TEST_F(EvalTest, FailsTheStatementForValuesThatCannotBeCompared) {
  EXPECT_EQ(EvalFailure("SELECT X.ID FROM TA X, TB Y WHERE X.NM = Y.DD"),
            "(StrgToDate) Invalid date (three)\n");
  EXPECT_EQ(EvalFailure("SELECT X.ID FROM TA X, TB Y WHERE X.ID = Y.DD"),
            "(Compute_ValExpr) Invalid datatype\n");
  EXPECT_EQ(EvalFailure("SELECT X.ID FROM TA X WHERE ID IN (SELECT AID FROM TB WHERE X.ID = X.FL)"),
            "(Compute_ValExpr) illegal use of upper attributes in subselect\n");
}

TEST_F(EvalTest, ComparesWithSomeRowOfTheEnclosingSelectInsideIn) {
  // The subselect runs once: QT > X.ID holds when it holds for some row
  // of X (QT > 1 for every row of TB).
  EXPECT_EQ(Rows("SELECT ID FROM TA X WHERE ID IN (SELECT AID FROM TB WHERE QT > X.ID)"), "1;2");
  EXPECT_EQ(Rows("SELECT ID FROM TA X WHERE ID IN (SELECT AID FROM TB WHERE QT < X.ID)"), "");
  EXPECT_EQ(Rows("SELECT ID FROM TA X WHERE ID IN (SELECT AID FROM TB WHERE X.ID > QT)"), "");
}

TEST_F(EvalTest, DecidesExistsPerRowOfTheEnclosingSelect) {
  struct Case {
    const char* sql;  // the condition
    const char* expected;
  };
  const Case cases[] = {
      {"EXISTS (SELECT * FROM TB WHERE AID = X.ID)", "2;1"},
      {"NOT EXISTS (SELECT * FROM TB WHERE AID = X.ID)", "3"},
      {"EXISTS (SELECT * FROM TB WHERE AID = X.ID AND QT > 8)", "1"},
      {"EXISTS (SELECT * FROM TB Y WHERE Y.AID = X.ID AND Y.QT < X.ID)", ""},
      {"EXISTS (SELECT * FROM TB Y, TA Z WHERE Y.AID = X.ID AND Z.ID = Y.QT)", ""},
      {"X.ID > 1 AND EXISTS (SELECT * FROM TB WHERE AID = X.ID)", "2"},
      {"EXISTS (SELECT * FROM TB WHERE QT > 100)", ""},
      {"EXISTS (SELECT * FROM TB WHERE QT > 8)", "3;2;1"},
      {"EXISTS (SELECT * FROM TE)", ""},
      {"EXISTS (SELECT COUNT(*) FROM TE)", "3;2;1"},
      {"EXISTS (SELECT COUNT(*) FROM TE WHERE ID = X.ID)", "3;2;1"},
      {"EXISTS (SELECT * FROM TB WHERE ID IN (SELECT ID FROM TB WHERE AID = X.ID))", "3;2;1"},
  };
  ExpectRows(cases, "SELECT ID FROM TA X WHERE ");
}

TEST_F(EvalTest, KeepsOrAndNotOverSeveralTablesForEvaluation) {
  // Merging these per table would turn the OR into an AND.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA X, TB Y WHERE X.ID = 1 OR Y.QT = 7"), "5");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA X, TB Y WHERE NOT (X.ID = 1 AND Y.QT = 7)"), "8");
  EXPECT_EQ(Rows("SELECT X.ID, Y.ID FROM TA X, TB Y WHERE X.ID = 3 AND (Y.QT = 7 OR X.ID = 1)"),
            "3,20");
  // Over one table the lists merge exactly.
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA X, TB Y WHERE X.ID = 1 OR X.ID = 2"), "6");
}

TEST_F(EvalTest, RefusesExpressionsOfOneHundredNodes) {
  // 25 comparisons of two attributes and 24 ANDs: 99 nodes.
  std::string condition = "X.ID = Y.AID";
  for (int i = 1; i < 25; ++i) condition += " AND X.ID = Y.AID";
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM TA X, TB Y WHERE " + condition), "3");
  // A NOT that stays for evaluation makes it 100.
  EXPECT_EQ(EvalFailure("SELECT COUNT(*) FROM TA X, TB Y WHERE NOT " + condition),
            "(Gen_ValExpr) Values-expression too big (DB_EXPRVALMAX = 100)\n");
}

TEST_F(EvalTest, NarrowsOnlyByARowListRightOfTheLastAnd) {
  std::vector<EXPRNODE*> made;
  auto node = [&](unsigned char kind) {
    made.push_back(EXPR_NewNode(kind));
    return made.back();
  };
  auto list = [&](std::initializer_list<EXPRNODE*> nodes) {
    PTRSTACK s;
    PTRSTACK_Init(&s);
    for (EXPRNODE* n : nodes) PTRSTACK_Push(&s, n);
    return s;
  };
  EXPRNODE* h = node(DBTK_RowList);
  EXPRNODE* a1 = node(DBTK_IDENT);
  EXPRNODE* a2 = node(DBTK_IDENT);
  EXPRNODE* eq = node(DBTK_EQ);
  EXPRNODE* and1 = node(DBTK_AND);
  EXPRNODE* or1 = node(DBTK_OR);
  EXPECT_EQ(Reduce_ResultIdxs(list({a1, a2, eq, h, and1})), h);
  EXPECT_EQ(Reduce_ResultIdxs(list({h, a1, a2, eq, and1})), nullptr);
  EXPECT_EQ(Reduce_ResultIdxs(list({a1, a2, eq, h})), nullptr);
  EXPECT_EQ(Reduce_ResultIdxs(list({h})), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Reduce_ResultIdxs(list({h, h, or1, h, or1, and1})), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(Reduce_ResultIdxs) Illegal function\n");
  for (EXPRNODE* n : made) EXPR_FreeNode(n);
}

}  // namespace
