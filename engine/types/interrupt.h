// interrupt.h: stopping the running statement at the user's request
// (INTERRUPT). Owns the process-wide stop request: whether SIGINT asks for
// a stop and whether it did. Both sides of the request channel see it: the
// client arms it around a statement and stops printing its rows, the
// engine's loops poll it.
//
// While a caller has armed it, SIGINT asks the running statement to stop
// instead of asking for the end of the process; the other end signals
// ask for both. The engine's long loops (row walks and
// joins, subselects and EXISTS, the row choice and the row changes of
// UPDATE and DELETE, duplicate removal) poll the request once per step;
// the loop that sees it ends its statement with the error reply
// INTERRUPT_MESSAGE, and a statement that had changed rows takes them
// back first, as after any failure (modify.h).
#pragma once

#include <csignal>

// The SIGINT handler reads the first flag and sets the second.
struct INTERRUPTSTATE {
  volatile std::sig_atomic_t armed = 0;
  volatile std::sig_atomic_t requested = 0;
};
INTERRUPTSTATE& INTERRUPT_State();

// The error reply of a statement stopped on request.
inline constexpr char INTERRUPT_MESSAGE[] = "(TARVIC) Statement interrupted";

// From now on SIGINT asks the running statement to stop. Clears an
// earlier request.
void INTERRUPT_Arm();

// SIGINT asks for the end of the process again. Returns 1 when a stop was asked for
// since INTERRUPT_Arm (whether or not a loop saw it).
[[nodiscard]] int INTERRUPT_Disarm();

// For a signal handler: when armed, notes the request and returns 1;
// otherwise returns 0 and the handler goes on to record the end.
// Async-signal-safe.
[[nodiscard]] int INTERRUPT_Take();

// 1 when the running statement was asked to stop. Cheap enough for every
// step of a loop.
[[nodiscard]] int INTERRUPT_Requested();

// Writes the error reply INTERRUPT_MESSAGE and returns 0, for the loop
// that ends its statement on a request.
[[nodiscard]] int INTERRUPT_Fail();

// Back to the state at process start. Only tests call it.
void INTERRUPT_ResetForTest();
