// alloc.cpp: size classes and the out-of-memory path of the engine.
#include "engine/types/alloc.h"

#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kOutOfMemory[] = "(TARVIC) Out of memory!\n";

struct AllocState {
  AllocFailHandler fail_handler = nullptr;
};

AllocState& State() {
  static AllocState state;
  return state;
}
}  // namespace

std::size_t ALLOC_SizeClass(std::size_t n) {
  if (n < ALLOC_CLASS_MIN) return ALLOC_CLASS_MIN;
  if (n < 128) return 128;
  if (n < 256) return 256;
  if (n < 512) return 512;
  if (n < ALLOC_CLASS_LIMIT) return ALLOC_CLASS_LIMIT;
  return n;
}

void ALLOC_SetFailHandler(AllocFailHandler handler) { State().fail_handler = handler; }

void ALLOC_Fail() {
  DBreport("%s", kOutOfMemory);
  if (State().fail_handler != nullptr) State().fail_handler(1);
  PLATFORM_Exit(1);
}

void ALLOC_ResetForTest() { State() = AllocState{}; }
