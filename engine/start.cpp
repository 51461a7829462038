// start.cpp: engine start-up, banner, memory limit and signals.
#include "engine/start.h"

#include <csignal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "engine/catalog/catalog.h"
#include "engine/catalog/deffile.h"
#include "engine/catalog/limits.h"
#include "engine/types/interrupt.h"
// Start-up replays redo logs through the engine entry, as a client would:
// Tarvic1_Init is the engine's other entry point, beside process_sql.
#include "engine/dispatch.h"
#include "engine/shutdown.h"
#include "engine/tables/redo_log.h"
#include "engine/types/resdata.h"
#include "platform/process.h"
#include "platform/report.h"
#include "platform/signals.h"
#include "platform/system.h"

namespace {

constexpr char kInvalidDefinitions[] = "(TARVIC1) Invalid database-definition data\n";
constexpr char kNoMoreDbs[] = "(CREATE DATABASE) No more databases available (DB_MAXDBS = %d)!";
constexpr char kDbFileNotGenerated[] = "(CREATE DATABASE) Database file could not be generated\n";
constexpr char kAbnormal[] = "(TARVICDB) Abnormal termination\n";
constexpr char kAbnormalFpe[] = "(TARVICDB) Abnormal termination (Floating point exception)\n";
constexpr char kAbnormalSegv[] = "(TARVICDB) Abnormal termination (Segmentation fault)\n";

// Whether the process-end work has been registered: it must run once per
// process however often the engine is started.
struct STARTSTATE {
  int exit_registered = 0;
};

STARTSTATE& State() {
  static STARTSTATE state;
  return state;
}

// Every cursor slot starts free and without a result set: DECLARE makes
// one, and the cursor's close frees it (cursor.h).
void PrepareConnections() {
  for (DBCONN& conn : CATALOG_Engine().conns) {
    for (DBCURSOR& cursor : conn.cursors) {
      cursor.name[0] = '\0';
      RESDATA_Free(&cursor.result);
    }
    conn.redo.clear();
    conn.redo.shrink_to_fit();
  }
}

// The message a signal prints before the exit handling; null for SIGINT,
// which ends the run without one (unless a statement may be stopped
// instead, interrupt.h).
const char* SignalMessage(int signal) {
  switch (signal) {
    case SIGINT: return nullptr;
    case SIGFPE: return kAbnormalFpe;
    case SIGSEGV: return kAbnormalSegv;
    default: return kAbnormal;
  }
}

// A fault comes from the instruction that the handler would return to:
// the process cannot go on to the orderly end, and nothing it holds can
// be trusted to be saved.
bool IsFault(int signal) {
  return signal == SIGFPE || signal == SIGSEGV || signal == SIGILL || signal == SIGABRT;
}

// Only records (platform/signals.h): the end itself, with the exit
// handling, runs where the main flow notices the request. A statement
// under way is asked to stop, so that the flow gets there soon.
void OnSignal(int signal) {
  if (signal == SIGINT && INTERRUPT_Take()) return;
  const char* message = SignalMessage(signal);
  if (IsFault(signal)) {
    PLATFORM_SignalWrite(message);
    PLATFORM_SignalExit(1);
  }
  if (PLATFORM_EndRequested() != 0) return;
  if (message != nullptr) PLATFORM_SignalWrite(message);
  (void)INTERRUPT_Take();
  PLATFORM_RecordEnd(signal);
}

void InstallSignals() {
  PLATFORM_PrepareEndSignals();
  // SIGHUP (the terminal went away) ends the run like SIGTERM; the break
  // key's nearest kin here is the platform's PLATFORM_SIGBREAK.
  constexpr int kSignals[] = {SIGFPE, SIGSEGV,           SIGINT, SIGILL, SIGTERM,
                              SIGHUP, PLATFORM_SIGBREAK, SIGABRT};
  for (int signal : kSignals) (void)PLATFORM_SetSignalHandler(signal, OnSignal);
  // A write beyond the file size limit then fails like any other failed
  // write, and the caller says so, instead of ending the process.
  (void)PLATFORM_IgnoreSignal(SIGXFSZ);
}

void SetResultMemoryLimit() {
  PLATFORM_MEMORY memory{};
  int64_t total = 0;
  if (PLATFORM_MemoryStatus(&memory)) total = memory.physical_bytes + memory.swap_bytes;
  CATALOG_Engine().result_memory_limit = START_ResultMemoryFor(total);
}

}  // namespace

void START_KeepFreedMemory() {
#if defined(__GLIBC__)
  // Result sets and replies of a large query take megabytes in blocks that
  // the allocator would otherwise map for each query and hand back to the
  // system after it, paying a page fault per page on every query.
  (void)mallopt(M_MMAP_THRESHOLD, START_MMAPTHRESHOLD);
  (void)mallopt(M_TRIM_THRESHOLD, START_TRIMTHRESHOLD);
#endif
}

namespace {

void ReplayRedoLogs() {
  ENGINE& engine = CATALOG_Engine();
  for (int i = 0; i < engine.db_count; ++i) {
    // A copy: the replay's statements may move database records.
    std::string name = engine.dbs[i].name;
    REDO_Replay(name.c_str(), process_sql);
  }
}

void RegisterExit() {
  SHUTDOWN_InstallFatalExit();
  if (State().exit_registered) return;
  State().exit_registered = PLATFORM_AtExit(Engine_ExitHandler);
}

// Makes sure the default database exists. One read from its definition
// file is used as it is.
int CreateDefaultDatabase(const char* name) {
  if (name == nullptr || name[0] == '\0') return 1;
  int pos = 0;
  if (CATALOG_FindDatabase(name, &pos)) return 1;
  if (CATALOG_Engine().db_count >= DB_MAXDBS) {
    DBreport(kNoMoreDbs, DB_MAXDBS);
    return 0;
  }
  DBDATABASE* db = nullptr;
  if (!DEFFILE_DatabaseNameOk(name) || !CATALOG_NewDatabase(name, &db)) return 0;
  if (!CATALOG_Engine().engine_name.empty() && !Def_Write(db)) {
    CATALOG_DiscardDatabase();
    DBreport(kDbFileNotGenerated);
    return 0;
  }
  CATALOG_CountDatabase();
  return 1;
}

}  // namespace

int Tarvic1_Init(const char* engine_name, const char* default_db) {
  ENGINE& engine = CATALOG_Engine();
  engine.engine_name = engine_name != nullptr ? engine_name : "";
  PrepareConnections();
  if (!engine.engine_name.empty() && !Def_ReadAll()) {
    DBreport(kInvalidDefinitions);
    PLATFORM_Exit(1);
  }
  InstallSignals();
  SetResultMemoryLimit();
  START_KeepFreedMemory();
  DBreport("%s", START_BANNER);
  if (!engine.engine_name.empty()) ReplayRedoLogs();
  engine.startup = 0;
  RegisterExit();
  return CreateDefaultDatabase(default_db);
}

int64_t START_ResultMemoryFor(int64_t total_bytes) {
  if (total_bytes < START_MINRESULTMEM) return DB_DEFAULTRESULTMEM;
  int64_t tenth = total_bytes / 10;
  return tenth < START_MINRESULTMEM ? START_MINRESULTMEM : tenth;
}
