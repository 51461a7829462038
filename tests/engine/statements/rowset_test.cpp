// Row sets: each row once, in the order first added, whether the set still
// searches its list or has moved on to a map by slot.
#include "engine/statements/rowlist.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/storage/rowpool.h"

namespace {

TEST(ROWSET, KeepsEachRowOnceInFirstAddedOrder) {
  DBTABLE table;
  ROWPOOL_Init(&table.rows, 4);
  constexpr int kSlots = 200;
  for (int i = 0; i < kSlots; ++i) (void)RowPool_NewSlot(&table.rows, 1);
  struct Case {
    int distinct;  // rows added, each twice, around the point a map is made
  };
  for (const Case c : {Case{1}, Case{31}, Case{32}, Case{33}, Case{150}}) {
    SCOPED_TRACE(c.distinct);
    std::vector<int32_t> list = {7, 8};  // emptied by the start
    ROWSET set;
    ROWLIST_StartSet(&set, &table, &list);
    std::vector<int32_t> want;
    for (int i = 0; i < c.distinct; ++i) {
      const int32_t row = (i * 37 + 11) % kSlots;  // 37 is prime to 200: no repeats
      ROWLIST_Add(&set, row);
      ROWLIST_Add(&set, row);  // at once again
      want.push_back(row);
    }
    for (int32_t row : want) ROWLIST_Add(&set, row);  // every row again
    ROWLIST_Add(&set, -1);                            // outside the table
    ROWLIST_Add(&set, kSlots);
    EXPECT_EQ(list, want);
  }
}

}  // namespace
