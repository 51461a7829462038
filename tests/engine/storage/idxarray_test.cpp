// Tests of the name index: chain placement, names outside the two-character
// table, reuse of deleted chain words and the refusals that end the process.
#include "engine/storage/idxarray.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int HeadIndex(char first, int column) { return (first - 'A') * IDXARRAY_COLUMNS + column; }

TEST(IDXARRAY, SecondCharacterChoosesTheChainColumn) {
  struct Case {
    const char* name;
    int column;
  };
  constexpr Case kCases[] = {{"AB", 1}, {"A_", 36}, {"AZ", 25}, {"A0", 25}, {"A9", 34}};
  IDXARRAY array;
  for (const Case& c : kCases) {
    const int number = IDXARRAY_Add(&array, c.name, nullptr);
    EXPECT_NE(array.heads[HeadIndex(c.name[0], c.column)], IDXARRAY_CHAIN_END) << c.name;
    int found = -1;
    ASSERT_NE(IDXARRAY_Find(array, c.name, &found), nullptr) << c.name;
    EXPECT_EQ(found, number);
  }
  EXPECT_NE(array.heads[HeadIndex('A', 1)], array.heads[HeadIndex('A', 36)]);
}

TEST(IDXARRAY, NamesOutsideTheTableShareTheirOwnChain) {
  const std::string names[] = {"9A", "a1", "A-",
                               "\xC4"
                               "B",
                               "Ab"};
  IDXARRAY array;
  for (const std::string& name : names) IDXARRAY_Add(&array, name, nullptr);
  for (int head = 0; head < IDXARRAY_ROWS * IDXARRAY_COLUMNS; ++head) {
    EXPECT_EQ(array.heads[head], IDXARRAY_CHAIN_END) << head;
  }
  for (int i = 0; i < 5; ++i) {
    int found = -1;
    ASSERT_NE(IDXARRAY_Find(array, names[i], &found), nullptr) << names[i];
    EXPECT_EQ(found, i);
  }
}

TEST(IDXARRAY, LongChainsReuseDeletedWordsAndKeepEntryNumbers) {
  IDXARRAY array;
  for (int i = 0; i < 50; ++i) IDXARRAY_Add(&array, "AB" + std::to_string(i), nullptr);
  EXPECT_EQ(array.block_count, 6);  // nine entries per block
  for (const char* miss : {"AB50", "AB", "A", "", "AC1"})
    EXPECT_EQ(IDXARRAY_Find(array, miss, nullptr), nullptr);

  IDXARRAY_Delete(&array, 10);  // word 1 of the second block
  EXPECT_EQ(IDXARRAY_Find(array, "AB10", nullptr), nullptr);
  EXPECT_EQ(IDXARRAY_Count(array), 49);
  EXPECT_EQ(IDXARRAY_Add(&array, "AB99", nullptr), 50);  // entry slots are never reused,
  EXPECT_EQ(array.blocks[array.blocks[array.heads[HeadIndex('A', 1)]][9]][1],
            50);  // chain words are
  int found = -1;
  ASSERT_NE(IDXARRAY_Find(array, "AB49", &found), nullptr);
  EXPECT_EQ(found, 49);
  int number = -1;
  IDXARRAY_First(&array, &number);
  for (int expect = 1; expect < 12; ++expect) IDXARRAY_Next(&array, &number);
  EXPECT_EQ(number, 12);  // iteration skipped the deleted entry
}

TEST(IDXARRAYDeathTest, MisuseEndsTheProcessWithItsMessage) {
  IDXARRAY array;
  IDXARRAY_Add(&array, "AB", nullptr);
  EXPECT_EXIT(IDXARRAY_Add(&array, "X", nullptr), testing::ExitedWithCode(1),
              "^\\(IDXARRAY_Add\\) Invalid name 'X'\n$");
  EXPECT_EXIT(IDXARRAY_Add(&array, "", nullptr), testing::ExitedWithCode(1),
              "^\\(IDXARRAY_Add\\) Name not defined\n$");
  IDXARRAY_Delete(&array, 0);
  for (int number : {0, 5}) {
    EXPECT_EXIT(IDXARRAY_Delete(&array, number), testing::ExitedWithCode(1),
                "^\\(IDXARRAY_Delete\\) Index not found\n$");
  }
}

}  // namespace
