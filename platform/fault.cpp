// fault.cpp: counters and armed failures of the file layer's seam.
#include "platform/fault.h"

#include <array>
#include <atomic>
#include <cerrno>

namespace {
// Atomic each: the export writer's thread counts its calls beside the
// main thread's. Arming happens while no other thread makes calls.
struct FAULTKIND {
  std::atomic<long> calls{0};       // calls counted since the reset
  std::atomic<long> fail_at{0};     // call number that fails; 0: none armed
  std::atomic<bool> sticky{false};  // every call from fail_at on fails
  std::atomic<long> injected{0};    // failures handed out
};

struct FAULTSTATE {
  std::array<FAULTKIND, PLATFORM_FAULT_KINDS> kinds;
};

FAULTSTATE& State() {
  static FAULTSTATE state;
  return state;
}

bool Valid(PLATFORM_FAULTOP op) { return op >= 0 && op < PLATFORM_FAULT_KINDS; }
}  // namespace

void PLATFORM_FaultAt(PLATFORM_FAULTOP op, long nth, PLATFORM_FAULTSPAN span) {
  if (!Valid(op)) return;
  FAULTKIND& kind = State().kinds[op];
  kind.fail_at = nth > 0 ? kind.calls + nth : 0;
  kind.sticky = span == PLATFORM_FAULT_FROM_NTH;
}

long PLATFORM_FaultCalls(PLATFORM_FAULTOP op) {
  return Valid(op) ? State().kinds[op].calls.load() : 0;
}

long PLATFORM_FaultsInjected(PLATFORM_FAULTOP op) {
  return Valid(op) ? State().kinds[op].injected.load() : 0;
}

void PLATFORM_FaultResetForTest() {
  for (FAULTKIND& kind : State().kinds) {
    kind.calls = 0;
    kind.fail_at = 0;
    kind.sticky = false;
    kind.injected = 0;
  }
}

int PLATFORM_FaultHit(PLATFORM_FAULTOP op) {
  if (!Valid(op)) return 0;
  FAULTKIND& kind = State().kinds[op];
  const long call = ++kind.calls;
  const long fail_at = kind.fail_at;
  if (fail_at == 0) return 0;
  const bool fails = kind.sticky ? call >= fail_at : call == fail_at;
  if (!fails) return 0;
  ++kind.injected;
  errno = op == PLATFORM_FAULT_WRITE ? ENOSPC : op == PLATFORM_FAULT_LOCK ? ENOLCK : EIO;
  return 1;
}
