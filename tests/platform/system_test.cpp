// Tests of memory totals, the counter, the environment, signals and the
// exit path.
#include "platform/system.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/process.h"
#include "platform/report.h"
#include "platform/signals.h"
#include "tests/support/stderr_capture.h"

namespace {
// A value of /proc/meminfo, in bytes (the file counts kB).
int64_t MemInfoBytes(const std::string& key) {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  int64_t kb = 0;
  std::string unit;
  while (meminfo >> name >> kb) {
    std::getline(meminfo, unit);
    if (name == key + ":") return kb * 1024;
  }
  return -1;
}

TEST(MemoryStatus, MatchesTheKernelsTotals) {
  PLATFORM_MEMORY memory;
  ASSERT_EQ(PLATFORM_MemoryStatus(&memory), 1);
  const int64_t physical = MemInfoBytes("MemTotal");
  const int64_t swap = MemInfoBytes("SwapTotal");
  ASSERT_GT(physical, 0);
  ASSERT_GE(swap, 0);
  // The kernel's two views round to whole kB differently; allow that.
  EXPECT_NEAR(static_cast<double>(memory.physical_bytes), static_cast<double>(physical), 1024.0);
  EXPECT_NEAR(static_cast<double>(memory.swap_bytes), static_cast<double>(swap), 1024.0);
}

TEST(Counter, MovesForwardWithinAMillisecond) {
  const uint64_t first = PLATFORM_Counter();
  usleep(1000);
  const uint64_t second = PLATFORM_Counter();
  EXPECT_GT(second, first);
  // Seeds take the low 32 bits: they must differ, not just the high ones.
  EXPECT_NE(static_cast<uint32_t>(second), static_cast<uint32_t>(first));
}

TEST(GetEnv, TellsUnsetFromEmpty) {
  std::string value = "stale";
  ASSERT_EQ(setenv("KASPO_TEST_VALUE", "", 1), 0);
  EXPECT_EQ(PLATFORM_GetEnv("KASPO_TEST_VALUE", &value), 1);
  EXPECT_EQ(value, "");
  ASSERT_EQ(unsetenv("KASPO_TEST_VALUE"), 0);
  value = "stale";
  EXPECT_EQ(PLATFORM_GetEnv("KASPO_TEST_VALUE", &value), 0);
  EXPECT_EQ(value, "");
}

void SaveAndEnd() {
  std::fputs("exit handler ran\n", stderr);
  PLATFORM_QuickExit(1);
}

TEST(ExitPath, ExitHandlersDecideTheStatus) {
  EXPECT_EXIT(
      {
        if (!PLATFORM_AtExit(SaveAndEnd)) std::abort();
        PLATFORM_Exit(0);
      },
      ::testing::ExitedWithCode(1), "exit handler ran");
  EXPECT_EXIT(
      {
        if (!PLATFORM_AtExit(SaveAndEnd)) std::abort();
        PLATFORM_QuickExit(3);
      },
      ::testing::ExitedWithCode(3), "^$");
}

void SayCleanup(void*) { DBreport("cleanup\n"); }
void SayFatal() {
  DBreport("fatal handler\n");
  PLATFORM_QuickExit(5);
}

// The threads to stop go first, before the work of the end that could
// still write files; what an output buffer kept is written before all.
TEST(ExitPath, CleanupsRunBeforeTheOtherWorkOfEveryEnd) {
  EXPECT_EXIT(
      {
        PLATFORM_AddCleanup(SayCleanup, nullptr);
        PLATFORM_SetFatalHandler(SayFatal);
        PLATFORM_FatalExit();
      },
      ::testing::ExitedWithCode(5), "^cleanup\nfatal handler\n$");
  EXPECT_EXIT(
      {
        PLATFORM_OUTPUTBUFFER outer;
        DBreport("first\n");
        PLATFORM_OUTPUTBUFFER inner;
        DBreport("second\n");
        PLATFORM_AddCleanup(SayCleanup, nullptr);
        PLATFORM_Exit(2);
      },
      ::testing::ExitedWithCode(2), "^first\nsecond\ncleanup\n$");
}

// Output buffers nest, each buffers only its own thread's output, and one
// that goes out of scope without End writes what it buffered.
TEST(OutputBuffer, KeepsItsOwnThreadsOutputInOrder) {
  kaspo_test::StderrCapture capture;
  PLATFORM_BUFFERED outer_kept;
  PLATFORM_BUFFERED inner_kept;
  {
    PLATFORM_OUTPUTBUFFER outer;
    DBreport("a%d", 1);
    {
      PLATFORM_OUTPUTBUFFER inner;
      DBreport("b");
      std::thread([] { DBreport("other thread;"); }).join();
      inner_kept = inner.End();
    }
    DBreport("c");
    outer_kept = outer.End();
  }
  {
    PLATFORM_OUTPUTBUFFER unended;
    DBreport("written at its end;");
  }
  DBreport("after");
  const std::vector<std::pair<FILE*, std::string>> outer_pieces = {{stderr, "a1"}, {stderr, "c"}};
  const std::vector<std::pair<FILE*, std::string>> inner_pieces = {{stderr, "b"}};
  EXPECT_EQ(outer_kept.pieces, outer_pieces);
  EXPECT_EQ(inner_kept.pieces, inner_pieces);
  EXPECT_EQ(capture.Text(), "other thread;written at its end;after");
}

// The handling a signal handler must do: notice that it runs a second
// time (a fault inside itself) and end at once.
volatile std::sig_atomic_t g_handling = 0;
void EndOrderly(int signal) {
  if (g_handling) PLATFORM_SignalExit(40 + signal);
  g_handling = 1;
  std::raise(signal);  // a second signal while the first is handled
  PLATFORM_SignalExit(1);
}

TEST(SignalHandler, IsEnteredAgainForASignalDuringItself) {
  for (int signal : {SIGTERM, SIGSEGV, SIGINT, SIGFPE, SIGILL, SIGABRT, PLATFORM_SIGBREAK}) {
    SCOPED_TRACE(signal);
    EXPECT_EXIT(
        {
          if (!PLATFORM_SetSignalHandler(signal, EndOrderly)) std::abort();
          std::raise(signal);
        },
        ::testing::ExitedWithCode(40 + signal), "");
  }
  EXPECT_EQ(PLATFORM_SetSignalHandler(SIGKILL, EndOrderly), 0);
}
}  // namespace
