// ORDER BY against a plain reference: the rows of the unsorted query, put
// through a bottom-up merge sort that compares every pair with CmpString
// and the integer order. Texts share long prefixes, end early, carry
// trailing blanks, bytes below the blank and bytes above 127, so that any
// shortcut in the comparison that disagrees with CmpString shows up.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "query_fixture.h"

namespace {

struct SortRow {
  std::string text;
  int number = 0;
};

// The reference: the same merge the engine documents, comparing in full.
std::vector<SortRow> ReferenceSort(std::vector<SortRow> rows, int text_direction,
                                   int number_direction) {
  auto less = [&](const SortRow& a, const SortRow& b) {
    const int c = CmpString(a.text.c_str(), b.text.c_str());
    if (c != 0) return c * text_direction < 0;
    if (number_direction == 0) return false;
    return (a.number < b.number ? -1 : a.number > b.number ? 1 : 0) * number_direction < 0;
  };
  const size_t n = rows.size();
  std::vector<SortRow> buffer(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) buffer[k++] = less(rows[j], rows[i]) ? rows[j++] : rows[i++];
      while (i < mid) buffer[k++] = rows[i++];
      while (j < hi) buffer[k++] = rows[j++];
    }
    rows.swap(buffer);
  }
  return rows;
}

class OrderByTest : public QueryTest {
 protected:
  std::vector<SortRow> Fetch(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    EXPECT_EQ(r->status, DBRES_TUPLES_OK) << sql << ": " << r->error;
    std::vector<SortRow> rows;
    for (int i = 0; i < DBresult_rows(r.get()); ++i) {
      rows.push_back({DBresult_value(r.get(), i, 0), std::stoi(DBresult_value(r.get(), i, 1))});
    }
    return rows;
  }
};

TEST_F(OrderByTest, SortsTextsAsTheFullComparisonDoes) {
  Run({"CREATE TABLE ST (TX CHARACTER(12), NR INTEGER)", "BEGIN"});
  std::mt19937 rng(2026);
  const std::string alphabet = std::string("ab \x01") + "\xC3";
  for (int n = 0; n < 600; ++n) {
    std::string text(rng() % 13, 'a');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    if (n % 3 == 0) text = "abababab" + text.substr(0, 4);  // a shared 8-byte prefix
    std::string sql = "INSERT INTO ST VALUES ('" + text + "', " + std::to_string(n) + ")";
    // Stored texts are padded with blanks; a row without a value holds the
    // empty text, which equals an all-blank one but ends at once.
    if (n % 7 == 0) sql = "INSERT INTO ST (NR) VALUES (" + std::to_string(n) + ")";
    Run({sql.c_str()});
  }
  Run({"COMMIT"});
  const std::vector<SortRow> unsorted = Fetch("SELECT TX, NR FROM ST");
  ASSERT_EQ(unsorted.size(), 600u);
  struct Case {
    const char* order;
    int text_direction, number_direction;
  };
  const Case kCases[] = {
      {"TX", 1, 0}, {"TX DESC", -1, 0}, {"TX, NR DESC", 1, -1}, {"TX DESC, NR", -1, 1}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.order);
    const std::vector<SortRow> got =
        Fetch(std::string("SELECT TX, NR FROM ST ORDER BY ") + c.order);
    const std::vector<SortRow> want = ReferenceSort(unsorted, c.text_direction, c.number_direction);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].number, want[i].number) << "position " << i;
    }
  }
}

}  // namespace
