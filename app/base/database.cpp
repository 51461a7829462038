// database.cpp: engine start, the application tables and single statements.
#include "app/base/database.h"

#include <string>

#include "app/base/console.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kEngineName[] = "";
constexpr char kInitError[] = "Tarvic1_Init error!\n";
constexpr char kHandleError[] = "DBHANDLE_Init error!\n";
constexpr char kCommitError[] = "DB_Commit error!";

// The application's tables and indexes, checked and created in this order.
// The statements are sent exactly so.
struct SCHEMAOBJECT {
  const char* name;
  bool is_index;
  const char* create;
  const char* error;
};
constexpr SCHEMAOBJECT kSchema[] = {
    {"KASPO", false,
     "CREATE TABLE KASPO (  KASPO_ID CHARACTER(8),  FILENAME CHARACTER(80),  DESCRIPTION "
     "CHARACTER(160),  SIZE INTEGER,  COMPRESSED CHARACTER(1));",
     "DB_Create_Table 'KASPO' error!\n"},
    {"XKASPO01", true, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (  KASPO_ID);",
     "DB_Create_Index 'XKASPO01' error!\n"},
    {"BLOBJ", false,
     "CREATE TABLE BLOBJ (  BLOBJ_ID CHARACTER(8),  FK_ID CHARACTER(8),  FK_TABLE SMALLINT,  "
     "ITEMNUMBER SMALLINT,  COMPRDATA BINARY(4000),  COMPRESSED CHARACTER(1));",
     "DB_Create_Table 'BLOBJ' error!\n"},
    {"XBLOBJ01", true, "CREATE UNIQUE INDEX XBLOBJ01 ON BLOBJ (  BLOBJ_ID);",
     "DB_Create_Index 'XBLOBJ01' error!\n"},
    // Kaspo's own: without it every added or deleted item would pass over
    // every chunk row to find its own.
    {"XBLOBJ02", true, "CREATE INDEX XBLOBJ02 ON BLOBJ (  FK_ID);",
     "DB_Create_Index 'XBLOBJ02' error!\n"},
    // Kaspo's own: what proves and restores each item (records/kfacts.h).
    {"KFACTS", false,
     "CREATE TABLE KFACTS (  KASPO_ID CHARACTER(8),  CHECKSUM CHARACTER(8),  MODE INTEGER,  "
     "MTIME FLOAT);",
     "DB_Create_Table 'KFACTS' error!\n"},
    {"XKFACTS01", true, "CREATE UNIQUE INDEX XKFACTS01 ON KFACTS (  KASPO_ID);",
     "DB_Create_Index 'XKFACTS01' error!\n"},
};

struct APPDBSTATE {
  DBHANDLE handle;
};

APPDBSTATE& State() {
  static APPDBSTATE state;
  return state;
}

[[noreturn]] void FailStart(const char* message) {
  APPDB_Report(message);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

void EnsureSchemaObject(DBHANDLE* handle, const SCHEMAOBJECT& object) {
  if (object.is_index) {
    if (DB_Index_Exists(handle, object.name) || DB_Create_Index(handle, object.create)) return;
  } else {
    if (DB_Table_Exists(handle, object.name) || DB_Create_Table(handle, object.create)) return;
  }
  FailStart(object.error);
}

}  // namespace

void APPDB_Start() {
  if (!DBHANDLE_StartEngine(kEngineName, APPDB_DATABASE)) {
    CONSOLE_Error(kInitError);
    PLATFORM_Exit(APPDB_FATALSTATUS);
  }
  DBHANDLE_SetErrorMode(DBERR_COLLECTING);
  DBHANDLE* handle = &State().handle;
  if (!DBHANDLE_Init(handle, APPDB_DATABASE)) FailStart(kHandleError);
  for (const SCHEMAOBJECT& object : kSchema) EnsureSchemaObject(handle, object);
}

DBHANDLE* APPDB_Handle() { return &State().handle; }

int APPDB_IsOwnObject(const std::string& name) {
  for (const SCHEMAOBJECT& object : kSchema) {
    if (name == object.name) return 1;
  }
  return 0;
}

int APPDB_ExecPrint(const DBSTATEMENT& statement, int* out_rows) {
  return DBHANDLE_ExecStatement(APPDB_Handle(), statement, nullptr, out_rows);
}

void APPDB_PrintError() { dberror_print(); }

void APPDB_AllowInterrupt() { DBHANDLE_ArmInterrupt(); }

int APPDB_EndInterrupt() { return DBHANDLE_DisarmInterrupt(); }

int APPDB_ReadMax(int* out_max) {
  MYDB_RESULT result;
  int status = 0;
  return dbexec1(APPDB_Handle(), "MAX", &result, &status) &&
         dbfill_count(APPDB_Handle(), result.get(), status, out_max);
}

int APPDB_SetMax(int max) {
  const std::string statement = "MAX " + std::to_string(max);
  MYDB_RESULT result;
  int status = 0;
  return dbexec1(APPDB_Handle(), statement.c_str(), &result, &status);
}

int APPDB_AbortOpen() {
  MYDB_RESULT result;
  int status = 0;
  if (dbexec1(APPDB_Handle(), "ABORT", &result, &status)) return 1;
  dberror_print();
  return 0;
}

void APPDB_Report(const char* message) {
  dberror_print();
  CONSOLE_Error("%s", message);
}

void APPDB_CommitOrEnd(DBHANDLE* handle) {
  if (DB_Commit(handle)) return;
  APPDB_EndFailedCommit(DBHANDLE_ErrorText());
}

void APPDB_EndFailedCommit(const std::string& collected) {
  DBreport("%s", collected.c_str());
  CONSOLE_Error("%s", kCommitError);
  PLATFORM_Exit(APPDB_FATALSTATUS);
}

void APPDB_ResetForTest() { State() = APPDBSTATE{}; }
