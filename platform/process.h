// process.h: how the process ends, and which processes run.
// Owns the single exit path: no other code calls exit(). The engine
// registers the work that must happen before a fatal end (writing its
// static tables); the layers below it only ask for the end.
//
// Every way to end and every registration: main thread only. The ends
// stop the threads of the cleanups first (joining them), so a thread that
// is to be stopped must never ask for an end itself.
#pragma once

// Ends the process with `status`: first the end work (the cleanups below,
// then the end handler), then the registered exit handlers (std::exit
// semantics).
[[noreturn]] void PLATFORM_Exit(int status);

// Work that must be done however the process ends, through PLATFORM_Exit,
// PLATFORM_QuickExit or a fatal end: a thread to stop and the temporary
// files it leaves. Each runs once, the latest added first, before any
// other work of the end (the end handler, the fatal handler, the exit
// handlers). An owner that ends its work itself removes its cleanup
// again. Main thread only.
using CleanupFn = void (*)(void* context);
void PLATFORM_AddCleanup(CleanupFn cleanup, void* context);
void PLATFORM_RemoveCleanup(CleanupFn cleanup, void* context);

// The work of a planned end (PLATFORM_Exit, not a quick or a fatal one),
// set by the program: what the session would otherwise lose is kept. It
// runs once, after the cleanups, while everything still works.
using EndHandler = void (*)();
void PLATFORM_SetEndHandler(EndHandler handler);

// Registers work to run when the process ends through PLATFORM_Exit or a
// return from main (not through PLATFORM_QuickExit). Handlers run in the
// reverse order of registration. Returns 0 when no more can be registered.
using ExitHandler = void (*)();
[[nodiscard]] int PLATFORM_AtExit(ExitHandler handler);

// The id of this process, unique among the running ones; for names of
// temporary files that two runs must not share. Any thread.
[[nodiscard]] long PLATFORM_ProcessId();

// The cores this process may run on (at least 1): a machine's cores less
// those its affinity mask leaves out. Any thread.
[[nodiscard]] int PLATFORM_Cores();

// Whether a process with this id runs now, under any user. Any thread.
[[nodiscard]] bool PLATFORM_ProcessRuns(long pid);

// Ends the process at once with `status`, without exit handlers.
[[noreturn]] void PLATFORM_QuickExit(int status);

// The work to do before a fatal end, set by the engine at start-up.
// REQUIRES: `handler` must not return into the failing code; it may save
// data and must end the process itself (normally through PLATFORM_Exit).
using FatalHandler = void (*)();
void PLATFORM_SetFatalHandler(FatalHandler handler);

// A fatal condition: damaged data, an inconsistent index, exhausted memory.
// Runs the cleanups, then the fatal handler when one is set, else ends
// with exit status 1.
[[noreturn]] void PLATFORM_FatalExit();

// How an end was asked for, for the test hook below.
enum PLATFORM_EXITKIND {
  PLATFORM_EXIT_NORMAL,  // PLATFORM_Exit
  PLATFORM_EXIT_QUICK,   // PLATFORM_QuickExit
  PLATFORM_EXIT_FATAL,   // PLATFORM_FatalExit, before the fatal handler runs
};

// Test-only: a hook that sees every end of the process asked for through
// the three calls above, before anything else happens. A hook that returns
// lets the end go ahead. A harness that feeds a module damaged input may
// throw from the hook to get control back after an end the module
// prescribes for such input; it must then treat the module's process-wide
// state as unknown and rebuild it. Normal code never sets a hook.
using ExitHook = void (*)(PLATFORM_EXITKIND kind, int status);
void PLATFORM_SetExitHookForTest(ExitHook hook);
