// Tests of the ordered list: the four ways a full block splits, the shared
// block pool, every search against a scan of the rows on random data, and
// a rebuild matching row-by-row inserts.
#include "engine/storage/idxlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/types/tokens.h"
#include "engine/types/values.h"

namespace {

// INTEGER rows (the attribute at offset 0), visible from their timestamp.
struct IntTable {
  std::vector<int32_t> values;
  std::vector<int> inserted;
  int Add(int32_t v, int timestamp = 0) {
    values.push_back(v);
    inserted.push_back(timestamp);
    return int(values.size()) - 1;
  }
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
  void SetUp() override {
    IDXLIST_ResetForTest();
    IDXLIST_Init(&list_, IDXROWS{&table_, RowData, FirstRow, NextRow}, DBTYPE_INTEGER, 0);
  }
  void TearDown() override {
    IDXLIST_Clear(&list_);
    IDXLIST_ResetForTest();
  }
  int Insert(int32_t v) {
    const int row = table_.Add(v);
    IDXLIST_Insert(&list_, &v, row);
    return row;
  }
  std::vector<int> BlockSizes() const {
    std::vector<int> sizes;
    for (const auto& b : list_.blocks) sizes.push_back(b->count);
    return sizes;
  }
  // Every row in list order, checked to be in ascending value order.
  void ExpectSorted() const {
    std::vector<int> rows;
    IDXLIST_Rows(list_, &rows);
    for (size_t i = 1; i < rows.size(); ++i) {
      ASSERT_LE(table_.values[rows[i - 1]], table_.values[rows[i]]) << "at " << i;
    }
  }
  std::vector<int> Search(int op, int32_t v) const {
    std::vector<int> out;
    EXPECT_TRUE(IDXLIST_Search(list_, op, &v, &out));
    return out;
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
      {-1, {1, 2000}},      // position 0: a block of its own before
      {5000, {2000, 1}},    // position 2000: a block of its own after
      {1999, {1000, 1001}}, // position 1000: the new row leads the upper half
      {1997, {1000, 1001}}, // position 999: the lower half and the new row before
      {1, {2, 1999}},       // position 1
      {3997, {1999, 2}},    // position 1999
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.value);
    TearDown();
    table_ = IntTable{};
    SetUp();
    for (int32_t v = 0; v < 4000; v += 2) Insert(v);
    ASSERT_EQ(BlockSizes(), std::vector<int>{2000});
    const int row = Insert(c.value);
    EXPECT_EQ(BlockSizes(), c.sizes);
    ExpectSorted();
    const std::vector<int> found = Search(DBTK_EQ, c.value);
    EXPECT_EQ(found, std::vector<int>{row});
  }
}

TEST_F(IDXLISTTest, EmptiedBlockGoesToThePoolAndComesBack) {
  for (int32_t v = 0; v < 2000; ++v) Insert(v);
  const int lone = Insert(-5);
  ASSERT_EQ(BlockSizes(), (std::vector<int>{1, 2000}));
  const IDXBLOCK* freed = list_.blocks[0].get();
  EXPECT_EQ(IDXLIST_PoolSize(), 0);

  const int32_t v = -5;
  ASSERT_TRUE(IDXLIST_Delete(&list_, &v, lone));
  EXPECT_EQ(BlockSizes(), std::vector<int>{2000});
  EXPECT_EQ(IDXLIST_PoolSize(), 1);

  Insert(9000);  // the full block splits at its end and needs a new block
  EXPECT_EQ(BlockSizes(), (std::vector<int>{2000, 1}));
  EXPECT_EQ(list_.blocks[1].get(), freed);
  EXPECT_EQ(IDXLIST_PoolSize(), 0);
}

TEST_F(IDXLISTTest, DeleteOfAMissingRowChangesNothing) {
  std::vector<int> out;
  const int32_t v = 3;
  EXPECT_FALSE(IDXLIST_Search(list_, DBTK_EQ, &v, &out));
  EXPECT_FALSE(IDXLIST_Between(list_, &v, &v, &out));
  EXPECT_FALSE(IDXLIST_Delete(&list_, &v, 0));
  const int row = Insert(3);
  Insert(4);
  EXPECT_FALSE(IDXLIST_Delete(&list_, &v, row + 7));
  EXPECT_EQ(IDXLIST_Count(list_), 2);
  EXPECT_TRUE(out.empty());
}

TEST_F(IDXLISTTest, StrictSearchesSkipEqualRowsSpanningBlocks) {
  const int low = Insert(1);
  for (int i = 0; i < 4500; ++i) Insert(5);
  const int high = Insert(9);
  ASSERT_GE(list_.blocks.size(), 3u);
  EXPECT_EQ(Search(DBTK_GT, 5), std::vector<int>{high});
  EXPECT_EQ(Search(DBTK_LT, 5), std::vector<int>{low});
  EXPECT_EQ(Search(DBTK_EQ, 5).size(), 4500u);
  EXPECT_EQ(Search(DBTK_GE, 5).size(), 4501u);
  EXPECT_EQ(Search(DBTK_LE, 5).size(), 4501u);
}

// The row numbers a scan of all listed rows finds for `v op value`.
std::vector<int> Scan(const IntTable& table, const std::vector<bool>& live, int op, int32_t value) {
  std::vector<int> rows;
  for (int r = 0; r < int(table.values.size()); ++r) {
    if (live[r] && CmpValues(op, DBTYPE_INTEGER, &table.values[r], &value)) rows.push_back(r);
  }
  return rows;
}

std::vector<int> Sorted(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

void RandomSearchesMatchAScan(IntTable& table, IDXLIST& list, int n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> value(0, 600);
  std::vector<bool> live;
  for (int i = 0; i < n; ++i) {
    const int32_t v = value(random);
    IDXLIST_Insert(&list, &v, table.Add(v));
    live.push_back(true);
  }
  for (int r = 0; r < n; r += 3) {  // delete a third of the rows
    ASSERT_TRUE(IDXLIST_Delete(&list, &table.values[r], r));
    live[r] = false;
  }
  ASSERT_EQ(IDXLIST_Count(list), n - (n + 2) / 3);
  const int ops[] = {DBTK_LT, DBTK_LE, DBTK_GT, DBTK_GE, DBTK_EQ};
  const int32_t edges[] = {-1, 0, 300, 600, 601};  // below, at and above the values
  for (int probe = 0; probe < 30; ++probe) {
    const int32_t v = probe < 5 ? edges[probe] : value(random);
    for (int op : ops) {
      SCOPED_TRACE(testing::Message() << "op " << char(op) << " value " << v);
      std::vector<int> found;
      ASSERT_TRUE(IDXLIST_Search(list, op, &v, &found));
      EXPECT_EQ(Sorted(found), Scan(table, live, op, v));
      for (size_t i = 1; i < found.size(); ++i) {
        const int32_t before = table.values[found[i - 1]];
        const int32_t after = table.values[found[i]];
        if (op == DBTK_LT) {
          EXPECT_GE(before, after);  // descending
        } else if (op != DBTK_LE) {
          EXPECT_LE(before, after);
        }
      }
    }
    const int32_t high = value(random);
    std::vector<int> between;
    ASSERT_TRUE(IDXLIST_Between(list, &v, &high, &between));
    std::vector<int> expect;
    for (int r : Scan(table, live, DBTK_GE, v)) {
      if (table.values[r] <= high) expect.push_back(r);
    }
    EXPECT_EQ(Sorted(between), expect);
  }
}

TEST_F(IDXLISTTest, SearchesMatchAScanOnFewBlocks) {
  RandomSearchesMatchAScan(table_, list_, 6000, 7);
  EXPECT_LT(list_.blocks.size(), 20u);
  ExpectSorted();
}

TEST_F(IDXLISTTest, SearchesMatchAScanOnManyBlocks) {
  RandomSearchesMatchAScan(table_, list_, 60000, 11);
  EXPECT_GE(list_.blocks.size(), 20u);
  ExpectSorted();
}

TEST_F(IDXLISTTest, RebuildGivesTheOrderOfRowByRowInserts) {
  std::mt19937 random(3);
  for (int i = 0; i < 9000; ++i) table_.Add(int32_t(random() % 200), i % 4);
  const int timestamp = 2;  // rows inserted at 3 are not visible
  IDXLIST_Rebuild(&list_, timestamp);
  std::vector<int> rebuilt;
  IDXLIST_Rows(list_, &rebuilt);

  IDXLIST one_by_one;
  IDXLIST_Init(&one_by_one, list_.rows, DBTYPE_INTEGER, 0);
  int cursor = FirstRow(&table_);
  for (int row = NextRow(&table_, timestamp, &cursor); row >= 0; row = NextRow(&table_, timestamp, &cursor)) {
    IDXLIST_Insert(&one_by_one, &table_.values[row], row);
  }
  std::vector<int> inserted;
  IDXLIST_Rows(one_by_one, &inserted);
  EXPECT_EQ(rebuilt.size(), 6750u);
  EXPECT_EQ(rebuilt, inserted);
  IDXLIST_Clear(&one_by_one);
}

TEST_F(IDXLISTTest, AppendFillsBlocksOf1333InGivenOrder) {
  std::vector<int32_t> rows;
  for (int i = 0; i < 3000; ++i) rows.push_back(table_.Add(i));
  IDXLIST_Append(&list_, rows.data(), int(rows.size()));
  EXPECT_EQ(BlockSizes(), (std::vector<int>{1333, 1333, 334}));
  const int32_t v = 1500;
  std::vector<int> found;
  ASSERT_TRUE(IDXLIST_Search(list_, DBTK_EQ, &v, &found));
  EXPECT_EQ(found, std::vector<int>{1500});
}

const unsigned char* TextRow(void* ctx, int row) {
  return static_cast<const unsigned char*>(ctx) + row * 9;
}

TEST(IDXLIST, CharacterValuesIgnoreTrailingBlanks) {
  IDXLIST_ResetForTest();
  char rows[3][9] = {"ab      ", "abc     ", "a       "};
  IDXLIST list;
  IDXLIST_Init(&list, IDXROWS{rows, TextRow, nullptr, nullptr}, DBTYPE_CHARACTER, 0);
  for (int r = 0; r < 3; ++r) IDXLIST_Insert(&list, rows[r], r);
  std::vector<int> found;
  ASSERT_TRUE(IDXLIST_Search(list, DBTK_EQ, "ab", &found));
  EXPECT_EQ(found, std::vector<int>{0});
  found.clear();
  ASSERT_TRUE(IDXLIST_Search(list, DBTK_LE, "ab", &found));
  EXPECT_EQ(found, (std::vector<int>{0, 2}));
  IDXLIST_Clear(&list);
  IDXLIST_ResetForTest();
}

}  // namespace
