// Tests of the name list: lookup, empty entries, deletion by moving the
// last entry and overlong names.
#include "engine/storage/namelist.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(NAMELIST, FindsAddsAndDeletesByMovingTheLastEntry) {
  NAMELIST list;
  EXPECT_EQ(NAMELIST_Find(list, "A1"), -1);
  EXPECT_EQ(NAMELIST_Add(&list, "A1"), 0);
  EXPECT_EQ(NAMELIST_Add(&list, nullptr), 1);
  EXPECT_EQ(NAMELIST_Add(&list, "C3"), 2);
  EXPECT_EQ(NAMELIST_FindOrAdd(&list, "C3"), 2);
  EXPECT_EQ(NAMELIST_FindOrAdd(&list, "D4"), 3);
  EXPECT_EQ(NAMELIST_Find(list, nullptr), -1);
  EXPECT_EQ(NAMELIST_Find(list, "A"), -1);  // a prefix is another name
  EXPECT_EQ(NAMELIST_Get(list, 1), nullptr);
  EXPECT_EQ(NAMELIST_Get(list, 4), nullptr);
  EXPECT_STREQ(NAMELIST_Get(list, 2), "C3");

  ASSERT_TRUE(NAMELIST_Delete(&list, 0));
  EXPECT_EQ(list.count, 3);
  EXPECT_STREQ(NAMELIST_Get(list, 0), "D4");
  EXPECT_EQ(NAMELIST_Find(list, "D4"), 0);
  EXPECT_EQ(NAMELIST_Find(list, "A1"), -1);
  EXPECT_FALSE(NAMELIST_Delete(&list, 3));
  NAMELIST_Free(&list);
  EXPECT_EQ(list.capacity, -1);
}

TEST(NAMELIST, GrowsAndCutsOverlongNamesAlike) {
  NAMELIST list;
  for (int i = 0; i < 1200; ++i) ASSERT_EQ(NAMELIST_Add(&list, ("N" + std::to_string(i)).c_str()), i);
  EXPECT_EQ(list.capacity, 2100);  // 100, then 1000 more at a time
  EXPECT_EQ(NAMELIST_Find(list, "N1199"), 1199);
  const std::string long_name(45, 'L');
  const int at = NAMELIST_Add(&list, long_name.c_str());
  EXPECT_EQ(std::string(NAMELIST_Get(list, at)), long_name.substr(0, 31));
  EXPECT_EQ(NAMELIST_Find(list, long_name.c_str()), at);
}

}  // namespace
