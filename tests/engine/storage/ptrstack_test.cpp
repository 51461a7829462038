// Tests of the pointer stack: order across growth and the null answers of
// an empty stack.
#include "engine/storage/ptrstack.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PTRSTACK, KeepsOrderAcrossGrowthAndAnswersNullWhenEmpty) {
  PTRSTACK stack;
  PTRSTACK_Init(&stack);
  EXPECT_EQ(PTRSTACK_Pop(&stack), nullptr);
  EXPECT_EQ(PTRSTACK_Top(stack), nullptr);
  EXPECT_EQ(PTRSTACK_Get(stack, 0), nullptr);

  std::vector<int> items(600);
  for (int& item : items) PTRSTACK_Push(&stack, &item);
  EXPECT_EQ(stack.capacity, 1050);  // 50, then 500 more at a time
  EXPECT_EQ(PTRSTACK_Get(stack, 0), &items[0]);
  EXPECT_EQ(PTRSTACK_Get(stack, 599), &items[599]);
  EXPECT_EQ(PTRSTACK_Get(stack, 600), nullptr);
  EXPECT_EQ(PTRSTACK_Get(stack, -1), nullptr);
  EXPECT_EQ(PTRSTACK_Top(stack), &items[599]);
  for (int i = 599; i >= 0; --i) ASSERT_EQ(PTRSTACK_Pop(&stack), &items[i]);
  EXPECT_EQ(PTRSTACK_Pop(&stack), nullptr);
  EXPECT_EQ(stack.count, 0);

  PTRSTACK_Push(&stack, &items[1]);
  PTRSTACK_Clear(&stack);
  EXPECT_EQ(PTRSTACK_Top(stack), nullptr);
  PTRSTACK_Free(&stack);
  PTRSTACK_Push(&stack, &items[2]);  // a freed stack grows again on use
  EXPECT_EQ(PTRSTACK_Pop(&stack), &items[2]);
}

}  // namespace
