// start.h: bringing the engine to life (START).
// Owns the start-up order (Tarvic1_Init), the result memory limit rule, the
// engine banner and the signal handlers; how the engine ends belongs to
// shutdown.h, which start-up registers for every end of the process.
#pragma once

#include "engine/catalog/limits.h"

#include <cstdint>

// The engine name used until Tarvic1_Init replaces it.
inline constexpr char START_DEFAULTENGINE[] = "Tarvic";

// The engine's banner, printed through DBreport at start-up.
inline constexpr char START_BANNER[] = "Tarvic-SQL-database 2.0.1 (12.07.2003)\n\n";

// Starts the engine: sets the engine name, prepares the connection slots,
// reads the definition files and replays redo logs (both only with a
// non-empty engine name), installs the signal and exit handling, computes
// the result memory limit, prints the banner and makes sure the database
// `default_db` exists (none when empty). An already existing default
// database is used as it is.
// Invalid definition data or a redo log that cannot be executed end the
// process with exit status 1. After a successful start every end of the
// process runs Engine_ExitHandler and so ends with exit status 1. The end
// signals (SIGINT outside a statement, SIGTERM, SIGHUP, the break key)
// only record the request (platform/signals.h); the program ends where it
// notices it. A fault (SIGSEGV, SIGFPE, SIGILL, SIGABRT) prints its
// message and ends the process at once with status 1, saving nothing.
// SIGXFSZ is ignored: a write beyond the file size limit fails instead.
[[nodiscard]] int Tarvic1_Init(const char* engine_name, const char* default_db);

// Allocations below this many bytes come from the heap rather than from
// mappings of their own (32 MiB, the largest the allocator accepts).
inline constexpr int START_MMAPTHRESHOLD = 32 << 20;
// Freed memory at the top of the heap is given back to the system only
// beyond this many bytes (64 MiB).
inline constexpr int START_TRIMTHRESHOLD = 64 << 20;

// Lets freed result memory stay in the process for the next query instead
// of going back to the system after each one (where the C library allows
// it). Tarvic1_Init calls it; it changes no result.
void START_KeepFreedMemory();

// The result memory limit for a machine whose physical memory plus swap
// come to `total_bytes`: a tenth of it but at least 8 MiB; a total below
// 8 MiB (or unknown, <= 0) keeps the initial 25,165,824 bytes.
int64_t START_ResultMemoryFor(int64_t total_bytes);
