// Tests of the engine allocation rules: size classes and the out-of-memory
// path with and without a registered handler.
#include "engine/storage/alloc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/process.h"

namespace {

TEST(ALLOC, SmallSizesRiseToTheirClass) {
  struct Case {
    std::size_t asked;
    std::size_t taken;
  };
  constexpr Case kCases[] = {{0, 32},     {31, 32},     {32, 128},    {127, 128}, {128, 256},
                             {255, 256},  {256, 512},   {511, 512},   {512, 1024},
                             {1023, 1024}, {1024, 1024}, {5000, 5000}};
  for (const Case& c : kCases) EXPECT_EQ(ALLOC_SizeClass(c.asked), c.taken) << c.asked;
  EXPECT_EQ(ALLOC_Bytes(40)[127], 0);  // the whole class is there, zeroed
}

void EndWithThree(int status) {
  std::fprintf(stderr, "handler %d\n", status);
  PLATFORM_QuickExit(3);
}

TEST(ALLOCDeathTest, OutOfMemoryReportsAndEndsThroughTheHandler) {
  ALLOC_ResetForTest();
  EXPECT_EXIT(ALLOC_Fail(), testing::ExitedWithCode(1), "^\\(TARVIC\\) Out of memory!\n$");
  ALLOC_SetFailHandler(EndWithThree);
  EXPECT_EXIT(ALLOC_Fail(), testing::ExitedWithCode(3), "^\\(TARVIC\\) Out of memory!\nhandler 1\n$");
  ALLOC_ResetForTest();
}

}  // namespace
