// Tests of the engine out-of-memory path, with and without a handler.
#include "engine/types/alloc.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/process.h"

namespace {

void EndWithThree(int status) {
  std::fprintf(stderr, "handler %d\n", status);
  PLATFORM_QuickExit(3);
}

TEST(ALLOCDeathTest, OutOfMemoryReportsAndEndsThroughTheHandler) {
  ALLOC_ResetForTest();
  EXPECT_EXIT(ALLOC_Fail(), testing::ExitedWithCode(1), "^\\(TARVIC\\) Out of memory!\n$");
  ALLOC_SetFailHandler(EndWithThree);
  EXPECT_EXIT(ALLOC_Fail(), testing::ExitedWithCode(3),
              "^\\(TARVIC\\) Out of memory!\nhandler 1\n$");
  ALLOC_ResetForTest();
}

}  // namespace
