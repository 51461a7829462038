// The comparison of the differential test must tell rows, order and
// errors apart, or the differential test would pass on anything.
#include "differential/result_compare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "differential/peer_shell.h"

namespace {

using diff::OUTCOME;

OUTCOME Rows(const std::vector<std::string>& lines) {
  OUTCOME o;
  for (const std::string& line : lines) o.rows.push_back(diff::SplitRow(line));
  return o;
}

TEST(DiffCompare, WritesCellsAlikeOnBothSides) {
  struct Case {
    const char* cell;
    const char* canonical;
  };
  const Case cases[] = {{"ab   ", "ab"}, {"2.0", "2"}, {"-0.25", "-0.25"}, {"", ""},
                        {"   ", ""},     {"12", "12"}, {"1.5e1", "15"},    {"a b", "a b"},
                        {"-0.0", "0"},   {"Ab", "Ab"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cell);
    EXPECT_EQ(diff::Canonical(c.cell), c.canonical);
  }
  EXPECT_EQ(diff::SplitRow("1|ab   |2.50|").size(), 4u);
  EXPECT_EQ(diff::RowText(diff::SplitRow("1|ab   |2.50|")), "1|ab|2.5|");
}

TEST(DiffCompare, TellsRowsOrderAndErrorsApart) {
  const OUTCOME sorted = Rows({"1|a", "2|b", "2|c", "3|d"});
  struct Case {
    OUTCOME peer;
    bool ordered;
    std::vector<int> keys;
    const char* what;  // the start of the difference, "" for none
  };
  OUTCOME failed;
  failed.failed = true;
  failed.error = "Parse error near line 1\n";
  const Case cases[] = {
      {Rows({"3|d", "2|c", "1|a", "2|b"}), false, {}, ""},
      // Ties under the key may come in any order; the key runs may not.
      {Rows({"1|a", "2|c", "2|b", "3|d"}), true, {0}, ""},
      {Rows({"2|b", "1|a", "2|c", "3|d"}), true, {0}, "a different order"},
      {Rows({"1|a", "2|c", "2|b", "3|d"}), true, {0, 1}, "a different order"},
      {Rows({"1|a", "2|b", "3|d"}), false, {}, "different rows"},
      {Rows({"1|a", "2|b", "2|b", "3|d"}), false, {}, "different rows"},
      {failed, false, {}, "an error"},
  };
  for (const Case& c : cases) {
    const std::string what = diff::Compare(sorted, c.peer, c.ordered, c.keys);
    EXPECT_EQ(what.substr(0, std::string(c.what).size()), c.what);
    EXPECT_EQ(what.empty(), std::string(c.what).empty()) << what;
  }
}

TEST(DiffShell, CutsTheOutputIntoOneOutcomePerQuery) {
  const std::string output =
      "@@Q 0\n1|ab   \n\n@@Q 1\nParse error near line 9: no such column: X\n"
      "  SELECT X FROM T1;\n         ^--- error here\n@@Q 2\n@@END\n";
  std::vector<OUTCOME> outcomes;
  std::string preamble;
  ASSERT_TRUE(diff::SplitOutput(output, 3, &outcomes, &preamble));
  EXPECT_EQ(preamble, "");
  ASSERT_EQ(outcomes[0].rows.size(), 2u);  // an empty line is a row of one empty cell
  EXPECT_EQ(diff::RowText(outcomes[0].rows[1]), "");
  EXPECT_TRUE(outcomes[1].failed);
  EXPECT_NE(outcomes[1].error.find("no such column"), std::string::npos);
  EXPECT_TRUE(outcomes[2].rows.empty());
  EXPECT_FALSE(outcomes[2].failed);
  // A shell that stopped early leaves queries without their marker.
  EXPECT_FALSE(diff::SplitOutput("@@Q 0\n1\n", 2, &outcomes, &preamble));
  EXPECT_FALSE(diff::SplitOutput("Error: in prepare\n@@Q 0\n@@END\n", 2, &outcomes, &preamble));
  EXPECT_EQ(preamble, "Error: in prepare\n");
}

}  // namespace
