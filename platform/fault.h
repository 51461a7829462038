// fault.h: the fault-injection seam of the file layer (PLATFORM), for
// tests only. Owns one call counter and one armed failure per kind of
// file operation.
//
// Every file operation of platform/files.h counts as one call of its kind
// and asks the seam first. Nothing is armed in a normal run: no code
// outside tests calls PLATFORM_FaultAt (a test of the seam checks the
// sources for it), so there each check is one comparison that never
// fires. The seam is compiled into every build on purpose: the tests then
// run the very file code that ships, not a variant built for them.
//
// Which calls count as what:
//
// | Kind    | Calls                                                         |
// |---------|---------------------------------------------------------------|
// | OPEN    | PLATFORM_OpenRead, PLATFORM_OpenWrite, PLATFORM_OpenNew        |
// | READ    | PLATFORM_Read, PLATFORM_ReadFile                               |
// | WRITE   | PLATFORM_Write, PLATFORM_WriteFile                             |
// | FLUSH   | PLATFORM_Flush, PLATFORM_SyncDirectory                         |
// | RENAME  | PLATFORM_Rename, PLATFORM_RenameNew                            |
// | LOCK    | PLATFORM_Lock (platform/locks.h), after its open               |
//
// An injected failure looks to the caller exactly like one from the
// system: the call returns its failure value and errno says why (EIO,
// ENOSPC for a write, ENOLCK for a lock, as a file system that keeps no
// locks answers).
//
// PLATFORM_FaultHit and the counters: any thread (the export writer's
// calls count too). Arming and resetting: the main thread, while no other
// thread makes file calls.
#pragma once

enum PLATFORM_FAULTOP {
  PLATFORM_FAULT_OPEN,
  PLATFORM_FAULT_READ,
  PLATFORM_FAULT_WRITE,
  PLATFORM_FAULT_FLUSH,
  PLATFORM_FAULT_RENAME,
  PLATFORM_FAULT_LOCK,
  PLATFORM_FAULT_KINDS,  // number of kinds; not an operation
};

// How long an armed failure lasts.
enum PLATFORM_FAULTSPAN {
  PLATFORM_FAULT_ONCE,      // only the chosen call fails
  PLATFORM_FAULT_FROM_NTH,  // the chosen call and every later one fail (a dead disk)
};

// Arms a failure of the `nth` call of `op` counted from now (1 = the next
// call). Replaces a failure armed before for `op`; nth <= 0 disarms it.
void PLATFORM_FaultAt(PLATFORM_FAULTOP op, long nth, PLATFORM_FAULTSPAN span);

// Calls of `op` since the last reset, failed ones included.
[[nodiscard]] long PLATFORM_FaultCalls(PLATFORM_FAULTOP op);

// Failures injected for `op` since the last reset.
[[nodiscard]] long PLATFORM_FaultsInjected(PLATFORM_FAULTOP op);

// Disarms every failure and zeroes the counters.
void PLATFORM_FaultResetForTest();

// For platform/files.cpp and platform/locks.cpp: counts one call of `op`.
// Returns 1 when that call must fail; errno is then set.
[[nodiscard]] int PLATFORM_FaultHit(PLATFORM_FAULTOP op);
