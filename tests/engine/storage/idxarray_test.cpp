// Tests of the name index: chain placement, reuse of deleted chain words,
// names outside the two-character table and the refusals that end the
// process.
#include "engine/storage/idxarray.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int HeadIndex(char first, int column) { return (first - 'A') * IDXARRAY_COLUMNS + column; }

TEST(IDXARRAY, SecondCharacterChoosesTheChainColumn) {
  struct Case {
    const char* name;
    int column;
  };
  constexpr Case kCases[] = {{"AB", 1}, {"A_", 36}, {"AZ", 25}, {"A0", 25}, {"A9", 34}, {"ZA", 0}};
  IDXARRAY array;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const int number = IDXARRAY_Add(&array, c.name, nullptr);
    const int head = HeadIndex(c.name[0], c.column);
    ASSERT_NE(array.heads[head], IDXARRAY_CHAIN_END);
    int found = -1;
    ASSERT_NE(IDXARRAY_Find(array, c.name, &found), nullptr);
    EXPECT_EQ(found, number);
  }
  // "AB" and "A_" live in different chains; "AZ" and "A0" share one.
  EXPECT_NE(array.heads[HeadIndex('A', 1)], array.heads[HeadIndex('A', 36)]);
  const auto& shared = array.blocks[array.heads[HeadIndex('A', 25)]];
  EXPECT_EQ(shared[0], 2);
  EXPECT_EQ(shared[1], 3);
}

TEST(IDXARRAY, NamesOutsideTheTableShareTheirOwnChain) {
  const std::vector<std::string> names = {"9A", "a1", "A-", "\xC4" "B", "Ab", "A "};
  IDXARRAY array;
  for (const std::string& name : names) IDXARRAY_Add(&array, name, nullptr);
  for (int head = 0; head < IDXARRAY_ROWS * IDXARRAY_COLUMNS; ++head) {
    EXPECT_EQ(array.heads[head], IDXARRAY_CHAIN_END) << head;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    int found = -1;
    ASSERT_NE(IDXARRAY_Find(array, names[i], &found), nullptr) << names[i];
    EXPECT_EQ(found, int(i));
  }
}

TEST(IDXARRAY, LongChainsSpanBlocksAndFindEveryName) {
  IDXARRAY array;
  for (int i = 0; i < 50; ++i) IDXARRAY_Add(&array, "AB" + std::to_string(i), &array);
  EXPECT_EQ(array.block_count, 6);  // nine entries per block
  for (int i = 0; i < 50; ++i) {
    int found = -1;
    ASSERT_NE(IDXARRAY_Find(array, "AB" + std::to_string(i), &found), nullptr);
    EXPECT_EQ(found, i);
  }
  struct Miss {
    const char* name;
  };
  constexpr Miss kMisses[] = {{"AB50"}, {"AB"}, {"A"}, {""}, {"AC1"}};
  for (const Miss& m : kMisses) EXPECT_EQ(IDXARRAY_Find(array, m.name, nullptr), nullptr) << m.name;
}

TEST(IDXARRAY, DeletedEntryKeepsItsSlotAndItsChainWordIsReused) {
  IDXARRAY array;
  int objects[3] = {};
  for (int i = 0; i < 3; ++i) IDXARRAY_Add(&array, "TB" + std::to_string(i), &objects[i]);
  IDXARRAY_Delete(&array, 1);
  EXPECT_EQ(IDXARRAY_Get(array, 1), nullptr);
  EXPECT_EQ(IDXARRAY_Find(array, "TB1", nullptr), nullptr);
  EXPECT_EQ(IDXARRAY_Count(array), 2);
  EXPECT_EQ(IDXARRAY_Get(array, 2)->object, &objects[2]);
  const auto& block = array.blocks[array.heads[HeadIndex('T', 1)]];
  EXPECT_EQ(block[1], IDXARRAY_CHAIN_DELETED);

  const int fresh = IDXARRAY_Add(&array, "TB9", nullptr);
  EXPECT_EQ(fresh, 3);  // entry slots are never reused
  EXPECT_EQ(array.blocks[array.heads[HeadIndex('T', 1)]][1], 3);  // the chain word is
  EXPECT_EQ(array.block_count, 1);
  int found = -1;
  ASSERT_NE(IDXARRAY_Find(array, "TB2", &found), nullptr);
  EXPECT_EQ(found, 2);
}

TEST(IDXARRAY, IterationSkipsDeletedEntries) {
  IDXARRAY array;
  for (const char* name : {"AA", "BB", "CC", "DD"}) IDXARRAY_Add(&array, name, nullptr);
  IDXARRAY_Delete(&array, 0);
  IDXARRAY_Delete(&array, 2);
  std::vector<std::string> seen;
  int number = -1;
  for (IDXENTRY* e = IDXARRAY_First(&array, &number); e != nullptr; e = IDXARRAY_Next(&array, &number)) {
    seen.push_back(std::string(e->name) + ":" + std::to_string(number));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"BB:1", "DD:3"}));
  EXPECT_EQ(IDXARRAY_Get(array, 4), nullptr);
  EXPECT_EQ(IDXARRAY_Get(array, -1), nullptr);
}

TEST(IDXARRAY, EntriesKeepTheirNumbersAcrossGrowth) {
  IDXARRAY array;
  for (int i = 0; i < 700; ++i) ASSERT_EQ(IDXARRAY_Add(&array, "N" + std::to_string(i) + "X", nullptr), i);
  EXPECT_EQ(array.capacity, 1100);  // 100, then 500 more at a time
  for (int i = 0; i < 700; i += 37) {
    int found = -1;
    ASSERT_NE(IDXARRAY_Find(array, "N" + std::to_string(i) + "X", &found), nullptr);
    EXPECT_EQ(found, i);
  }
}

TEST(IDXARRAY, OverlongNamesAreCutAlikeOnAddAndFind) {
  IDXARRAY array;
  const std::string name(40, 'Q');
  IDXARRAY_Add(&array, name, nullptr);
  const IDXENTRY* entry = IDXARRAY_Find(array, name, nullptr);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(std::string(entry->name), name.substr(0, 31));
}

int g_freed = 0;
void CountFree(void*) { ++g_freed; }

TEST(IDXARRAY, FreeAllReleasesOnlyLiveObjects) {
  IDXARRAY array;
  int objects[3] = {};
  for (int i = 0; i < 3; ++i) IDXARRAY_Add(&array, "OB" + std::to_string(i), &objects[i]);
  IDXARRAY_Delete(&array, 0);
  g_freed = 0;
  IDXARRAY_FreeAll(&array, CountFree);
  EXPECT_EQ(g_freed, 2);
  EXPECT_EQ(array.count, 0);
  EXPECT_EQ(array.capacity, -1);
  EXPECT_EQ(IDXARRAY_Find(array, "OB1", nullptr), nullptr);
}

TEST(IDXARRAYDeathTest, MisuseEndsTheProcessWithItsMessage) {
  IDXARRAY array;
  IDXARRAY_Add(&array, "AB", nullptr);
  EXPECT_EXIT(IDXARRAY_Add(&array, "X", nullptr), testing::ExitedWithCode(1),
              "^\\(IDXARRAY_Add\\) Invalid name 'X'\n$");
  EXPECT_EXIT(IDXARRAY_Add(&array, "", nullptr), testing::ExitedWithCode(1),
              "^\\(IDXARRAY_Add\\) Name not defined\n$");
  EXPECT_EXIT(IDXARRAY_Delete(&array, 5), testing::ExitedWithCode(1),
              "^\\(IDXARRAY_Delete\\) Index not found\n$");
  IDXARRAY_Delete(&array, 0);
  EXPECT_EXIT(IDXARRAY_Delete(&array, 0), testing::ExitedWithCode(1),
              "^\\(IDXARRAY_Delete\\) Index not found\n$");
}

}  // namespace
