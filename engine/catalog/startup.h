// startup.h: bringing the engine to life and ending it.
// Owns the start-up order (Tarvic1_Init), the data-directory paths, the
// result memory limit rule, the engine banner, the signal handlers and the
// exit handling that writes every static table before the process ends.
//
// Paths (the separator is "/"):
//   data directory      <base>/<engine>.dat, or ./<engine>.dat without a base
//   database directory  <data directory>/<database>   (table files, redo.log)
//   definition file     <data directory>/<database>.def (beside the directory)
// The base is $TARVIC_PATH when it is set and not empty, else $HOME likewise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The engine name used until Tarvic1_Init replaces it.
inline constexpr char STARTUP_DEFAULTENGINE[] = "Tarvic";

// The engine's banner, printed through DBreport at start-up.
inline constexpr char STARTUP_BANNER[] = "Tarvic-SQL-database 2.0.1 (12.07.2003)\n\n";

// The smallest result memory limit start-up sets (8 MiB).
inline constexpr int64_t STARTUP_MINRESULTMEM = 8388608;

// Starts the engine: sets the engine name, prepares the connection slots,
// reads the definition files and replays redo logs (both only with a
// non-empty engine name), installs the signal and exit handling, computes
// the result memory limit, prints the banner and makes sure the database
// `default_db` exists (none when empty). An already existing default
// database is used as it is.
// Invalid definition data or a redo log that cannot be executed end the
// process with exit status 1. After a successful start every end of the
// process runs Engine_ExitHandler and so ends with exit status 1.
[[nodiscard]] int Tarvic1_Init(const char* engine_name, const char* default_db);

// The exit handling: its first run writes all static tables of all
// databases (deleting their redo logs); every run then ends the process at
// once with exit status 1. Also used by STOP DATABASE.
[[noreturn]] void Engine_ExitHandler();

// The base of the data directory: $TARVIC_PATH, else $HOME. Returns 0 when
// neither is set (or both are empty); the data directory is then relative
// to the current directory.
[[nodiscard]] int STARTUP_Base(std::string* base);

// The data directory for the engine name `engine`, under the current base.
std::string STARTUP_DataDir(std::string_view engine);
// The data directory of the running engine (its current engine name).
std::string STARTUP_EngineDataDir();
// The directory of database `db`, inside the running engine's data directory.
std::string STARTUP_DatabaseDir(std::string_view db);
// The definition file of database `db`, beside its directory.
std::string STARTUP_DefFile(std::string_view db);

// Allocations below this many bytes come from the heap rather than from
// mappings of their own (32 MiB, the largest the allocator accepts).
inline constexpr int STARTUP_MMAPTHRESHOLD = 32 << 20;
// Freed memory at the top of the heap is given back to the system only
// beyond this many bytes (64 MiB).
inline constexpr int STARTUP_TRIMTHRESHOLD = 64 << 20;

// Lets freed result memory stay in the process for the next query instead
// of going back to the system after each one (where the C library allows
// it). Tarvic1_Init calls it; it changes no result.
void STARTUP_KeepFreedMemory();

// The result memory limit for a machine whose physical memory plus swap
// come to `total_bytes`: a tenth of it but at least 8 MiB; a total below
// 8 MiB (or unknown, <= 0) keeps the initial 25,165,824 bytes.
int64_t STARTUP_ResultMemoryFor(int64_t total_bytes);
