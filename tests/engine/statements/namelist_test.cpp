// Tests of the name list: lookup, empty entries, deletion by moving the
// last entry and overlong names.
#include "engine/statements/namelist.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(NAMELIST, FindsAddsAndDeletesByMovingTheLastEntry) {
  NAMELIST list;
  EXPECT_EQ(NAMELIST_Add(&list, "A1"), 0);
  EXPECT_EQ(NAMELIST_Add(&list, nullptr), 1);
  EXPECT_EQ(NAMELIST_FindOrAdd(&list, "A1"), 0);
  EXPECT_EQ(NAMELIST_FindOrAdd(&list, "D4"), 2);
  EXPECT_EQ(NAMELIST_Find(list, nullptr), -1);
  EXPECT_EQ(NAMELIST_Find(list, "A"), -1);  // a prefix is another name
  EXPECT_EQ(NAMELIST_Get(list, 1), nullptr);
  ASSERT_TRUE(NAMELIST_Delete(&list, 0));
  EXPECT_STREQ(NAMELIST_Get(list, 0), "D4");
  EXPECT_EQ(NAMELIST_Find(list, "A1"), -1);
  EXPECT_FALSE(NAMELIST_Delete(&list, 2));
  const std::string long_name(45, 'L');
  const int at = NAMELIST_Add(&list, long_name.c_str());
  EXPECT_EQ(std::string(NAMELIST_Get(list, at)), long_name.substr(0, 31));
  EXPECT_EQ(NAMELIST_Find(list, long_name.c_str()), at);
}

}  // namespace
