// fault.cpp: counters and armed failures of the file layer's seam.
#include "platform/fault.h"

#include <array>
#include <cerrno>

namespace {
struct FAULTKIND {
  long calls = 0;       // calls counted since the reset
  long fail_at = 0;     // call number that fails; 0: none armed
  bool sticky = false;  // every call from fail_at on fails
  long injected = 0;    // failures handed out
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

long PLATFORM_FaultCalls(PLATFORM_FAULTOP op) { return Valid(op) ? State().kinds[op].calls : 0; }

long PLATFORM_FaultsInjected(PLATFORM_FAULTOP op) {
  return Valid(op) ? State().kinds[op].injected : 0;
}

void PLATFORM_FaultResetForTest() { State() = FAULTSTATE{}; }

int PLATFORM_FaultHit(PLATFORM_FAULTOP op) {
  if (!Valid(op)) return 0;
  FAULTKIND& kind = State().kinds[op];
  ++kind.calls;
  if (kind.fail_at == 0) return 0;
  const bool fails = kind.sticky ? kind.calls >= kind.fail_at : kind.calls == kind.fail_at;
  if (!fails) return 0;
  ++kind.injected;
  errno = op == PLATFORM_FAULT_WRITE ? ENOSPC : op == PLATFORM_FAULT_LOCK ? ENOLCK : EIO;
  return 1;
}
