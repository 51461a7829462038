// Row pool: slot reuse, list order and what each reader timestamp sees.
#include "engine/storage/rowpool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::vector<int> Visible(ROWPOOL* pool, int timestamp) {
  std::vector<int> rows;
  RowPool_First(pool);
  for (int s = RowPool_Next(pool, timestamp); s >= 0; s = RowPool_Next(pool, timestamp)) {
    rows.push_back(s);
  }
  return rows;
}

std::vector<int> LiveList(const ROWPOOL& pool) {
  std::vector<int> rows;
  for (int s = pool.head; s >= 0; s = pool.slots[s].next) rows.push_back(s);
  return rows;
}

TEST(ROWPOOL, YieldsNewestRowsFirstAndReusesFreedSlots) {
  ROWPOOL pool;
  ROWPOOL_Init(&pool, 4);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(RowPool_NewSlot(&pool, 1), i);
  EXPECT_EQ(Visible(&pool, -1), (std::vector<int>{2, 1, 0}));

  std::memcpy(ROWPOOL_Data(&pool, 1), "abc", 4);
  unsigned char* kept = ROWPOOL_Data(&pool, 1);
  RowPool_FreeSlot(&pool, 1);
  EXPECT_EQ(LiveList(pool), (std::vector<int>{2, 0}));
  // The freed slot comes back first, with its buffer.
  EXPECT_EQ(RowPool_NewSlot(&pool, 2), 1);
  EXPECT_EQ(ROWPOOL_Data(&pool, 1), kept);
  EXPECT_EQ(LiveList(pool), (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(RowPool_NewSlot(&pool, 2), 3);
}

// Rows are cut from shared data blocks: across block ends, through frees,
// reuse and changed versions, each slot keeps bytes of its own.
TEST(ROWPOOL, EverySlotKeepsItsOwnBytesAcrossDataBlocks) {
  constexpr int kRowSize = 301;  // not a multiple of the row alignment
  const int per_block = ROWPOOL_BLOCKBYTES / 304;
  const int rows = ROWPOOL_FIRSTSLOTS + 2 * per_block + 7;
  ROWPOOL pool;
  ROWPOOL_Init(&pool, kRowSize);
  auto fill = [&](int slot, int seed) {
    unsigned char* data = ROWPOOL_Data(&pool, slot);
    for (int i = 0; i < kRowSize; ++i) data[i] = static_cast<unsigned char>(seed * 31 + i);
  };
  auto holds = [&](int slot, int seed) {
    const unsigned char* data = ROWPOOL_Data(pool, slot);
    for (int i = 0; i < kRowSize; ++i) {
      if (data[i] != static_cast<unsigned char>(seed * 31 + i)) return false;
    }
    return true;
  };
  for (int r = 0; r < rows; ++r) {
    ASSERT_EQ(RowPool_NewSlot(&pool, 1), r);
    const unsigned char* fresh = ROWPOOL_Data(pool, r);
    ASSERT_EQ(std::count(fresh, fresh + kRowSize, 0), kRowSize);  // a new slot is zeroed
    fill(r, r);
  }
  RowPool_FreeSlot(&pool, ROWPOOL_FIRSTSLOTS);  // the first row of the second block
  ASSERT_EQ(RowPool_NewSlot(&pool, 2), ROWPOOL_FIRSTSLOTS);
  EXPECT_TRUE(holds(ROWPOOL_FIRSTSLOTS, ROWPOOL_FIRSTSLOTS));  // a reused slot keeps its bytes
  const int version = KASPO_Change(&pool, rows - 1, 3);
  EXPECT_EQ(version, rows);
  EXPECT_TRUE(holds(version, rows - 1));  // the change starts as a copy
  fill(version, 9999);
  for (int r = 0; r < rows; ++r) {
    ASSERT_TRUE(holds(r, r)) << r;
  }
  EXPECT_EQ(int(Visible(&pool, -1).size()), rows);
}

TEST(ROWPOOL, FreeingABaseRowPromotesItsChangedVersion) {
  ROWPOOL pool;
  ROWPOOL_Init(&pool, 4);
  int a = RowPool_NewSlot(&pool, 1);
  int b = RowPool_NewSlot(&pool, 1);
  int c = RowPool_NewSlot(&pool, 1);
  std::memcpy(ROWPOOL_Data(&pool, b), "old", 4);
  int v = KASPO_Change(&pool, b, 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(ROWPOOL_Data(pool, v)), "old");
  // A change of the changed version is made in place.
  EXPECT_EQ(KASPO_Change(&pool, v, 3), v);
  EXPECT_EQ(pool.slots[v].update_ts, 3);

  RowPool_FreeSlot(&pool, b);
  EXPECT_EQ(LiveList(pool), (std::vector<int>{c, v, a}));
  EXPECT_EQ(pool.slots[v].base, -1);
  EXPECT_EQ(pool.free_head, b);

  // Freeing a changed version only detaches it from its base row.
  int w = KASPO_Change(&pool, a, 4);
  RowPool_FreeSlot(&pool, w);
  EXPECT_EQ(pool.slots[a].changed, -1);
  EXPECT_EQ(LiveList(pool), (std::vector<int>{c, v, a}));
}

TEST(ROWPOOL, ChangingARowWithAChangedVersionEndsTheProcess) {
  ROWPOOL pool;
  ROWPOOL_Init(&pool, 4);
  int a = RowPool_NewSlot(&pool, 1);
  (void)KASPO_Change(&pool, a, 2);
  EXPECT_EXIT(KASPO_Change(&pool, a, 3), testing::ExitedWithCode(1), "\\(KASPO_Change\\) Error");
}

// Database committed up to 4; transaction 5 inserts I, changes A, deletes
// D, and changes then deletes E. Readers at 4 (before), 5 (at the
// transaction), 6 (after) and -1 (latest state).
TEST(ROWPOOL, VisibilityFollowsReaderTimestamp) {
  ROWPOOL pool;
  ROWPOOL_Init(&pool, 4);
  int e = RowPool_NewSlot(&pool, 1);
  int d = RowPool_NewSlot(&pool, 1);
  int a = RowPool_NewSlot(&pool, 2);
  int i = RowPool_NewSlot(&pool, 5);
  int a2 = KASPO_Change(&pool, a, 5);
  pool.slots[d].delete_ts = 5;
  int e2 = KASPO_Change(&pool, e, 5);
  pool.slots[e2].delete_ts = 5;

  struct Case {
    int reader;
    std::vector<int> rows;
  };
  // A change shows to every reader that the base row is visible to; a
  // delete hides the row from the deleting timestamp on; an insert shows
  // from its own timestamp on.
  const Case cases[] = {
      {0, {}}, {1, {d}}, {4, {a2, d}}, {5, {i, a2}}, {6, {i, a2}}, {-1, {i, a2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reader);
    EXPECT_EQ(Visible(&pool, c.reader), c.rows);
  }
}

}  // namespace
