// shutdown.cpp: save all and the exit path.
#include "engine/shutdown.h"

#include "engine/catalog/catalog.h"
#include "engine/catalog/datadir.h"
#include "engine/tables/redo_log.h"
#include "engine/tables/table_file.h"
#include "engine/types/alloc.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kSaveFailed[] = "(TARVICDB) Saving data failed (data may be corrupted)\n";

void SaveAndQuit() { Engine_FatalExit(1); }

bool HasStaticTable(DBDATABASE* db) {
  for (int i = 0; i < db->tables.count; ++i) {
    DBTABLE* table = CATALOG_Table(db, i);
    if (table != nullptr && table->kind == '1') return true;
  }
  return false;
}

}  // namespace

int Engine_SaveAll() {
  ENGINE& engine = CATALOG_Engine();
  for (int i = 0; i < engine.db_count; ++i) {
    DBDATABASE* db = &engine.dbs[i];
    // A database without static tables has no file to write and no redo
    // log: when its directory could not be made (only a warning without
    // an engine name), nothing is lost.
    if (!HasStaticTable(db) && !PLATFORM_IsDirectory(DATADIR_DatabasePath(db->name).c_str())) {
      continue;
    }
    if (!TBLFILE_WriteDatabase(db) || !Redo_Delete(db->name, "")) return 0;
  }
  return 1;
}

void Engine_FatalExit(int /*status*/) {
  ENGINE& engine = CATALOG_Engine();
  if (!engine.saved) {
    engine.saved = 1;
    if (!Engine_SaveAll()) DBreport(kSaveFailed);
  }
  PLATFORM_QuickExit(1);
}

void Engine_ExitHandler() { Engine_FatalExit(1); }

void SHUTDOWN_InstallFatalExit() {
  PLATFORM_SetFatalHandler(SaveAndQuit);
  ALLOC_SetFailHandler(Engine_FatalExit);
}
