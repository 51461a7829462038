// Tests of the ordered list: the ways a full block splits, the shared block
// pool, every search against a scan of random rows, and a rebuild matching
// row-by-row inserts.
#include "engine/storage/idxlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/types/tokens.h"
#include "engine/types/values.h"

namespace {

// INTEGER rows (the attribute at offset 0), visible from their timestamp.
struct IntTable {
  std::vector<int32_t> values;
  std::vector<int> inserted;
};

const unsigned char* RowData(void* ctx, int row) {
  return reinterpret_cast<const unsigned char*>(&static_cast<IntTable*>(ctx)->values[row]);
}
int FirstRow(void*) { return 0; }
int NextRow(void* ctx, int timestamp, int* cursor) {
  auto* table = static_cast<IntTable*>(ctx);
  while (*cursor < int(table->values.size())) {
    const int row = (*cursor)++;
    if (table->inserted[row] <= timestamp) return row;
  }
  return -1;
}

class IDXLISTTest : public testing::Test {
 protected:
  void SetUp() override { Restart(); }
  void TearDown() override { IDXLIST_ResetForTest(); }
  void Restart() {
    IDXLIST_ResetForTest();
    table_ = IntTable{};
    list_ = IDXLIST{};
    IDXLIST_Init(&list_, IDXROWS{&table_, RowData, FirstRow, NextRow}, DBTYPE_INTEGER, 0);
  }
  int Insert(int32_t v, int timestamp = 0) {
    table_.values.push_back(v);
    table_.inserted.push_back(timestamp);
    const int row = int(table_.values.size()) - 1;
    IDXLIST_Insert(&list_, &v, row);
    return row;
  }
  std::vector<int> Sizes() const {
    std::vector<int> sizes;
    for (const auto& b : list_.blocks) sizes.push_back(b->count);
    return sizes;
  }
  std::vector<int> Search(int op, int32_t v) const {
    std::vector<int> out;
    EXPECT_TRUE(IDXLIST_Search(list_, op, &v, &out));
    return out;
  }
  bool Sorted() const {
    std::vector<int> rows;
    IDXLIST_Rows(list_, &rows);
    return std::is_sorted(rows.begin(), rows.end(),
                          [this](int a, int b) { return table_.values[a] < table_.values[b]; });
  }

  IntTable table_;
  IDXLIST list_;
};

TEST_F(IDXLISTTest, FullBlockSplitsByTheInsertPosition) {
  struct Case {
    int32_t value;  // the full block holds 0, 2, ..., 3998
    std::vector<int> sizes;
  };
  const Case kCases[] = {
      {-1, {1, 2000}},       // position 0: a block of its own before
      {5000, {2000, 1}},     // position 2000: a block of its own after
      {1999, {1000, 1001}},  // position 1000: the new row leads the upper half
      {1997, {1000, 1001}},  // position 999: the lower half and the new row
      {1, {2, 1999}},       {3997, {1999, 2}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    Restart();
    for (int32_t v = 0; v < 4000; v += 2) Insert(v);
    ASSERT_EQ(Sizes(), std::vector<int>{2000});
    const int row = Insert(c.value);
    EXPECT_EQ(Sizes(), c.sizes);
    EXPECT_TRUE(Sorted());
    EXPECT_EQ(Search(DBTK_EQ, c.value), std::vector<int>{row});
  }
}

TEST_F(IDXLISTTest, EmptiedBlockGoesToThePoolAndComesBack) {
  for (int32_t v = 0; v < 2000; ++v) Insert(v);
  const int lone = Insert(-5);
  const IDXBLOCK* freed = list_.blocks[0].get();
  const int32_t v = -5;
  EXPECT_FALSE(IDXLIST_Delete(&list_, &v, lone + 1));  // not listed: nothing changes
  ASSERT_TRUE(IDXLIST_Delete(&list_, &v, lone));
  EXPECT_EQ(Sizes(), std::vector<int>{2000});
  EXPECT_EQ(IDXLIST_PoolSize(), 1);
  Insert(9000);  // the full block splits at its end and needs a block
  EXPECT_EQ(Sizes(), (std::vector<int>{2000, 1}));
  EXPECT_EQ(list_.blocks[1].get(), freed);
  EXPECT_EQ(IDXLIST_PoolSize(), 0);
}

TEST_F(IDXLISTTest, StrictSearchesSkipEqualRowsSpanningBlocks) {
  const int low = Insert(1);
  for (int i = 0; i < 4500; ++i) Insert(5);
  const int high = Insert(9);
  ASSERT_GE(list_.blocks.size(), 3u);
  EXPECT_EQ(Search(DBTK_GT, 5), std::vector<int>{high});
  EXPECT_EQ(Search(DBTK_LT, 5), std::vector<int>{low});
  EXPECT_EQ(Search(DBTK_LE, 5).size(), 4501u);
}

TEST_F(IDXLISTTest, SearchesMatchAScanOfRandomRows) {
  struct Case {
    int rows;
    bool many_blocks;  // 20 and more blocks are searched by halves
  };
  for (const Case& c : {Case{6000, false}, Case{60000, true}}) {
    SCOPED_TRACE(c.rows);
    Restart();
    std::mt19937 random(c.rows);
    std::uniform_int_distribution<int32_t> value(0, 600);
    for (int i = 0; i < c.rows; ++i) Insert(value(random));
    std::vector<bool> live(c.rows, true);
    for (int r = 0; r < c.rows; r += 3) {
      ASSERT_TRUE(IDXLIST_Delete(&list_, &table_.values[r], r));
      live[r] = false;
    }
    EXPECT_EQ(list_.blocks.size() >= 20, c.many_blocks);
    EXPECT_TRUE(Sorted());
    auto scan = [&](int op, int32_t v) {
      std::vector<int> rows;
      for (int r = 0; r < c.rows; ++r) {
        if (live[r] && CmpValues(op, DBTYPE_INTEGER, &table_.values[r], &v)) rows.push_back(r);
      }
      return rows;
    };
    const int32_t edges[] = {-1, 0, 300, 600, 601};
    for (int probe = 0; probe < 25; ++probe) {
      const int32_t v = probe < 5 ? edges[probe] : value(random);
      for (int op : {DBTK_LT, DBTK_LE, DBTK_GT, DBTK_GE, DBTK_EQ}) {
        SCOPED_TRACE(testing::Message() << char(op) << " " << v);
        std::vector<int> found = Search(op, v);
        for (size_t i = 1; op == DBTK_LT && i < found.size(); ++i) {
          ASSERT_GE(table_.values[found[i - 1]], table_.values[found[i]]);  // descending
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, scan(op, v));
      }
      const int32_t high = value(random);
      std::vector<int> between;
      ASSERT_TRUE(IDXLIST_Between(list_, &v, &high, &between));
      std::vector<int> expect;
      for (int r : scan(DBTK_GE, v)) {
        if (table_.values[r] <= high) expect.push_back(r);
      }
      std::sort(between.begin(), between.end());
      EXPECT_EQ(between, expect);
    }
  }
}

TEST_F(IDXLISTTest, RebuildGivesTheOrderOfRowByRowInsertsAtItsTimestamp) {
  std::mt19937 random(3);
  for (int i = 0; i < 9000; ++i) {
    table_.values.push_back(int32_t(random() % 200));
    table_.inserted.push_back(i % 4);  // rows inserted at 3 are not visible at 2
  }
  IDXLIST_Rebuild(&list_, 2);
  std::vector<int> rebuilt;
  IDXLIST_Rows(list_, &rebuilt);
  IDXLIST one_by_one;
  IDXLIST_Init(&one_by_one, list_.rows, DBTYPE_INTEGER, 0);
  int cursor = FirstRow(&table_);
  for (int row = NextRow(&table_, 2, &cursor); row >= 0; row = NextRow(&table_, 2, &cursor)) {
    IDXLIST_Insert(&one_by_one, &table_.values[row], row);
  }
  std::vector<int> inserted;
  IDXLIST_Rows(one_by_one, &inserted);
  EXPECT_EQ(rebuilt.size(), 6750u);
  EXPECT_EQ(rebuilt, inserted);
}

}  // namespace
