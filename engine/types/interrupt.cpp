// interrupt.cpp: the stop request of the running statement.
#include "engine/types/interrupt.h"

#include "engine/types/reply.h"

INTERRUPTSTATE& INTERRUPT_State() {
  static INTERRUPTSTATE state;
  return state;
}

void INTERRUPT_Arm() {
  INTERRUPTSTATE& state = INTERRUPT_State();
  state.requested = 0;
  state.armed = 1;
}

int INTERRUPT_Disarm() {
  INTERRUPTSTATE& state = INTERRUPT_State();
  state.armed = 0;
  const int requested = state.requested != 0;
  state.requested = 0;
  return requested;
}

int INTERRUPT_Take() {
  INTERRUPTSTATE& state = INTERRUPT_State();
  if (!state.armed) return 0;
  state.requested = 1;
  return 1;
}

int INTERRUPT_Requested() { return INTERRUPT_State().requested != 0; }

int INTERRUPT_Fail() {
  REPLY_Error(INTERRUPT_MESSAGE);
  return 0;
}

void INTERRUPT_ResetForTest() { INTERRUPT_State() = INTERRUPTSTATE{}; }
