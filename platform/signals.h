// signals.h: catching the signals that must end the process in order
// (PLATFORM). Owns the end request that a handler records and the pipe
// that wakes a wait for input when one comes; the handlers themselves are
// the kernel's to keep.
//
// A handler runs between any two instructions of the program, with its
// data half changed: it may only record what happened (and write a fixed
// text with write(2)). The work an end needs (saving, removing files,
// stopping threads) runs in the main flow, which notices the request where
// it waits for input (PLATFORM_WaitForInput) or at a point where ending
// leaves nothing half done (PLATFORM_EndIfRequested).
//
// Threads: every other thread (the export writer) blocks the signals, so
// a signal sent to the process runs its handler in the main thread; only
// a fault of another thread's own (SIGSEGV, ...) runs it there. The calls
// marked "for a handler" are async-signal-safe, the rest are the main
// thread's unless marked.
// An end taken in the handler itself (PLATFORM_SignalExit) cannot stop
// other threads in order: they end with the process, and a temporary file
// being written stays for the next cleanup of its directory.
#pragma once

#include <csignal>

// The console break key has no signal of its own here; the quit key
// (SIGQUIT) is its nearest kin: a user's request to stop at once.
inline constexpr int PLATFORM_SIGBREAK = SIGQUIT;

using SignalHandler = void (*)(int signal);

// Installs `handler` for `signal`. The handler stays installed after it
// runs and the signal is not blocked while it runs, so a second signal
// (or a fault inside the handler) enters the handler again; a handler
// must therefore notice that it is already under way and end the process
// at once. A handler that returns lets an interrupted read or write go on.
// Returns 0 for a signal that cannot be caught.
[[nodiscard]] int PLATFORM_SetSignalHandler(int signal, SignalHandler handler);

// Has `signal` ignored. Returns 0 for a signal that cannot be ignored.
[[nodiscard]] int PLATFORM_IgnoreSignal(int signal);

// Makes the pipe through which a recorded end wakes PLATFORM_WaitForInput.
// Called before the handlers that record ends are installed; later calls
// change nothing. Without it (or when no pipe can be made) a wait notices
// an end only when a signal interrupts it.
void PLATFORM_PrepareEndSignals();

// For a handler (async-signal-safe): records `signal` as the request to
// end the process and wakes a wait for input. The first request counts;
// later ones change nothing.
void PLATFORM_RecordEnd(int signal);

// The signal whose end was recorded, 0 while none was. Any thread.
[[nodiscard]] int PLATFORM_EndRequested();

// For a handler (async-signal-safe): writes `text` to standard error with
// one write(2), leaving errno as it was.
void PLATFORM_SignalWrite(const char* text);

// For a handler (async-signal-safe): ends the process at once with
// `status`, without exit handlers and without flushing streams.
[[noreturn]] void PLATFORM_SignalExit(int status);

// Waits until `fd` has input to read (or its end, or an error to report)
// or an end was recorded. Returns 1 when a read of `fd` will not block,
// 0 once an end was recorded (then always). A negative `fd` (a stream in
// memory) never blocks. Main thread only.
[[nodiscard]] int PLATFORM_WaitForInput(int fd);

// A point where the caller holds nothing that an end would leave half done:
// when an end was recorded, ends the process here through PLATFORM_Exit
// (its end work runs). Main thread only.
void PLATFORM_EndIfRequested();
