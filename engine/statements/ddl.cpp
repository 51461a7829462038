// ddl.cpp: CREATE DATABASE, DROP DATABASE, SET TABLE [SECURE], SAVE
// DATABASE, and the pieces the data definition handlers share.
#include "engine/statements/ddl.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "engine/catalog/catalog.h"
#include "engine/catalog/datadir.h"
#include "engine/catalog/deffile.h"
#include "engine/statements/ddl_internal.h"
#include "engine/tables/redo_log.h"
#include "engine/tables/table_file.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "engine/types/wire.h"
#include "platform/files.h"
#include "platform/report.h"

namespace {

constexpr char kAlreadyConnected[] = "(CREATE DATABASE) Already connected to database";
constexpr char kDbNameMissing[] = "(CREATE DATABASE) Database-name missing";
constexpr char kDbInvalidName[] = "(CREATE DATABASE) Invalid database-name '%s'";
constexpr char kDbExists[] = "(CREATE DATABASE) Database '%s' exists!";
constexpr char kDbFileFailed[] = "(CREATE DATABASE) Database file could not be generated\n";
constexpr char kAlreadyDropped[] = "(DROP DATABASE) Database already dropped";
constexpr char kDropNoDatabase[] = "(DROP DATABASE) No database selected for Conn_Id %d\n";
constexpr char kOpenConnections[] = "(DROP DATABASE) Not possible with open connections";
constexpr char kDropInTransaction[] = "(DROP DATABASE) Not possible within active transaction";
constexpr char kDropDefFailed[] =
    "(DROP DATABASE) Database file could not be generated (please restart database)!\n";
constexpr char kDeleteFailed[] = "(TARVIC) Error deleting file '%s'!\n";
constexpr char kSystemReason[] = "(TARVIC): %s\n";
constexpr char kInvalidName[] = "(%s) Invalid name '%s'";
constexpr char kSetNameMissing[] = "(%s) table-name is missing";
constexpr char kSetNoTable[] = "(%s) Table '%s' does not exist in database '%s'";
constexpr char kSetDefFailed[] = "(%s) Database file could not be generated\n";
constexpr char kTableNotSaved[] = "(TARVICDB) Warning: Could not save table '%s'\n";
constexpr char kDbNotSaved[] = "(TARVICDB) Warning: Could not save database '%s'\n";

// The slot CREATE DATABASE fills: an existing slot of the Conn_Id without a
// database, or a new one. Writes the error reply and fails otherwise.
int CreateDbSlot(int conn_id, int* out_slot, int* out_existing) {
  *out_existing = CATALOG_FindConn(conn_id, out_slot);
  if (*out_existing) {
    if (CATALOG_Engine().conns[*out_slot].database < 0) return 1;
    REPLY_Error(kAlreadyConnected);
    return 0;
  }
  std::string error;
  if (CATALOG_ConnRoom("CREATE DATABASE", &error)) return 1;
  REPLY_Error(error);
  return 0;
}

int CreateDbChecks(const std::string& name) {
  int pos = 0;
  if (!DEFFILE_DatabaseNameOk(name)) {
    REPLY_Errorf(kDbInvalidName, name.c_str());
    return 0;
  }
  if (CATALOG_FindDatabase(name, &pos)) {
    REPLY_Errorf(kDbExists, name.c_str());
    return 0;
  }
  std::string error;
  if (CATALOG_DbRoom(&error)) return 1;
  REPLY_Error(error);
  return 0;
}

// The checks of DROP DATABASE, in order; writes the error reply on failure.
int DropDbChecks(int conn_id, int* out_slot) {
  ENGINE& engine = CATALOG_Engine();
  if (!CATALOG_FindConn(conn_id, out_slot)) {
    REPLY_Error(kAlreadyDropped);
    return 0;
  }
  const DBCONN& conn = engine.conns[*out_slot];
  if (conn.database < 0) {
    REPLY_Errorf(kDropNoDatabase, conn_id);
    return 0;
  }
  for (int i = 0; i < engine.conn_count; ++i) {
    if (i != *out_slot && engine.conns[i].database == conn.database) {
      REPLY_Error(kOpenConnections);
      return 0;
    }
  }
  if (conn.trans_ts >= 0) {
    REPLY_Error(kDropInTransaction);
    return 0;
  }
  return 1;
}

// Deletes the definition file and the database directory with all in it.
void DeleteDatabaseFiles(const char* db_name) {
  // A name the files cannot safely carry never reaches the file system.
  if (!DEFFILE_DatabaseNameOk(db_name) || !DDL_DatabaseFilesExist(db_name)) return;
  (void)DDL_RemoveFile(DATADIR_DefFilePath(db_name));
  std::error_code ignored;
  std::filesystem::remove_all(DATADIR_DatabasePath(db_name), ignored);
}

void SetTable(std::string_view statement, char secure, int conn_id, const unsigned char* msg,
              int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble(statement, conn_id, &conn, &db)) return;
  const std::string stmt(statement);
  std::string name;
  int offset = TOKEN_FIRST;
  const std::string missing = WIRE_Format(kSetNameMissing, stmt.c_str());
  if (!TOKEN_ReadName(msg, length, &offset, missing.c_str(), &name)) return;
  DBTABLE* table = nullptr;
  if (!CATALOG_FindTable(db, name, &table, nullptr)) {
    REPLY_Errorf(kSetNoTable, stmt.c_str(), name.c_str(), db->name);
    return;
  }
  table->kind = '1';
  table->secure = secure;
  if (!Def_Write(db)) {
    REPLY_Errorf(kSetDefFailed, stmt.c_str());
    return;
  }
  if (!TABLE_Write(db, table)) DBreport(kTableNotSaved, table->name.c_str());
  REPLY_Success();
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared pieces

int DDL_DatabaseFilesExist(const char* db_name) {
  return PLATFORM_IsDirectory(DATADIR_EnginePath().c_str()) &&
                 PLATFORM_Exists(DATADIR_DefFilePath(db_name).c_str())
             ? 1
             : 0;
}

int DDL_RemoveFile(const std::string& path) {
  if (PLATFORM_RemoveFile(path.c_str())) return 1;
  const int reason = errno;
  DBreport(kDeleteFailed, path.c_str());
  DBreport(kSystemReason, std::strerror(reason));
  return 0;
}

void DDL_ReplyInvalidName(std::string_view statement, const std::string& name) {
  const std::string stmt(statement);
  REPLY_Errorf(kInvalidName, stmt.c_str(), name.c_str());
}

// ---------------------------------------------------------------------------
// Handlers

void DDL_CreateDatabase(int conn_id, const unsigned char* msg, int length) {
  int slot = 0;
  int existing = 0;
  if (!CreateDbSlot(conn_id, &slot, &existing)) return;
  std::string name;
  int offset = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &offset, kDbNameMissing, &name)) return;
  if (!CreateDbChecks(name)) return;
  DBDATABASE* db = nullptr;
  if (!CATALOG_NewDatabase(name, &db)) {
    REPLY_Errorf(kDbInvalidName, name.c_str());
    return;
  }
  if (!Def_Write(db)) {
    CATALOG_DiscardDatabase();
    REPLY_Error(kDbFileFailed);
    return;
  }
  CATALOG_CountDatabase();
  const int database = CATALOG_Engine().db_count - 1;
  if (existing) {
    CATALOG_InitConn(&CATALOG_Engine().conns[slot], database);
  } else if (!CATALOG_AddConn(conn_id, database, &slot)) {
    return;  // CreateDbSlot made sure a slot is free
  }
  REPLY_Success();
}

void DDL_DropDatabase(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  int slot = 0;
  if (!DropDbChecks(conn_id, &slot)) return;
  ENGINE& engine = CATALOG_Engine();
  const int pos = engine.conns[slot].database;
  const bool moves = pos != engine.db_count - 1;
  DeleteDatabaseFiles(engine.dbs[pos].name);
  CATALOG_RemoveDatabase(pos);
  CATALOG_RemoveConn(slot);
  if (moves && !Def_Write(&engine.dbs[pos])) {
    REPLY_Error(kDropDefFailed);
    return;
  }
  REPLY_Success();
}

void DDL_SetTable(int conn_id, const unsigned char* msg, int length) {
  SetTable("SET TABLE", '0', conn_id, msg, length);
}

void DDL_SetTableSecure(int conn_id, const unsigned char* msg, int length) {
  SetTable("SET TABLE SECURE", '1', conn_id, msg, length);
}

void DDL_SaveDatabase(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble("SAVE DATABASE", conn_id, &conn, &db)) return;
  const int saved = TBLFILE_WriteDatabase(db);
  // A redo log that cannot be removed reports itself; the tables are saved.
  if (saved) (void)Redo_Delete(db->name, conn->redo_path);
  if (!saved) DBreport(kDbNotSaved, db->name);
  REPLY_Success();
}
