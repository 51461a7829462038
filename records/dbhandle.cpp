// dbhandle.cpp: the handle, its name and connection, and the requests
// every call is made of. The BEGIN-stack is dbhandle_transactions.cpp,
// the execute calls dbhandle_exec.cpp, single SQL statements
// dbhandle_statements.cpp, the result accessors dbhandle_results.cpp and
// the collected error text dbhandle_errors.cpp.
#include "records/dbhandle.h"

#include <cctype>
#include <string>

#include "platform/system.h"
#include "records/internal/dbhandle_shared.h"
#include "records/keygen.h"

namespace {

constexpr char kConnectFailed[] = "Connection to TARVIC1-database '%s' failed:\n";
constexpr char kConnectFailedNoName[] = "Connection to TARVIC1-database failed:\n";
constexpr char kIndented[] = "  %s";
constexpr char kNoConnection[] = "(DBHANDLE) No connection\n";
constexpr char kSystemVariable[] = "DBSYS";

// The database of "system/database" (the pattern "%[^/]/%s": a system
// part of at least one character, a slash, then a word), else "" for a
// name ending in "/", else the whole name.
bool SplitName(const std::string& name, std::string* database) {
  const size_t slash = name.find('/');
  if (slash == std::string::npos || slash == 0) return false;
  size_t begin = slash + 1;
  while (begin < name.size() && std::isspace(static_cast<unsigned char>(name[begin]))) ++begin;
  size_t end = begin;
  while (end < name.size() && !std::isspace(static_cast<unsigned char>(name[end]))) ++end;
  if (end == begin) return false;
  database->assign(name, begin, end - begin);
  return true;
}

std::string DatabasePart(const std::string& name) {
  std::string database;
  if (SplitName(name, &database)) return database;
  if (!name.empty() && name.back() == '/') return "";
  return name;
}

std::string HandleName(const char* name) {
  std::string full = name != nullptr ? name : "";
  std::string database;
  std::string system;
  // An empty DBSYS would give a name that starts with "/", which names no
  // database; it counts as unset.
  if (!SplitName(full, &database) && PLATFORM_GetEnv(kSystemVariable, &system) && !system.empty()) {
    full = system + "/" + full;
  }
  if (full.size() > static_cast<size_t>(DBHANDLE_NAMEMAX)) full.resize(DBHANDLE_NAMEMAX);
  return full;
}

bool Connected(const DBHANDLE* handle) {
  return handle->conn != nullptr && handle->conn->status == DBCONN_OK;
}

}  // namespace

DBHANDLESTATE& DBHANDLE_State() {
  static DBHANDLESTATE state;
  return state;
}

// ---------------------------------------------------------------------------
// The engine

int DBHANDLE_StartEngine(const char* engine_name, const char* default_db) {
  return DBCLIENT_StartEngine(engine_name, default_db);
}

void DBHANDLE_ArmInterrupt() { DBCLIENT_ArmInterrupt(); }

int DBHANDLE_DisarmInterrupt() { return DBCLIENT_DisarmInterrupt(); }

// ---------------------------------------------------------------------------
// The handle and its connection

int DBHANDLE_Init(DBHANDLE* handle, const char* name) {
  KEYGEN_SetInterval(KEYGEN_RESEEDDRAWS);
  KEYGEN_Reseed();
  handle->name = HandleName(name);
  handle->conn.reset();
  return DBHANDLE_Connect(handle);
}

int DBHANDLE_Connect(DBHANDLE* handle) {
  DBHANDLE_ClearError();
  const std::string database = DatabasePart(handle->name);
  handle->conn = DBconnect(database.c_str(), 0);
  if (handle->conn->status == DBCONN_OK) return 1;
  if (database.empty()) {
    dberror(kConnectFailedNoName);
  } else {
    dberror(kConnectFailed, database.c_str());
  }
  dberror(kIndented, DBconn_error(handle->conn.get()).c_str());
  return 0;
}

std::string DBHANDLE_ConnText(const DBHANDLE* handle) {
  return handle->conn != nullptr ? DBconn_error(handle->conn.get()) : kNoConnection;
}

DBRESULTPTR DBHANDLE_Request(DBHANDLE* handle, const char* text) {
  if (!Connected(handle)) return nullptr;
  return DBexec(handle->conn.get(), text);
}

DBRESULTPTR DBHANDLE_RequestPrepared(DBHANDLE* handle, const DBPREPARED& prepared) {
  if (!Connected(handle)) return nullptr;
  return DBCLIENT_ExecPrepared(handle->conn.get(), prepared);
}

DBRESULTPTR DBHANDLE_RequestMessage(DBHANDLE* handle) {
  if (!Connected(handle)) return nullptr;
  return DBexecmsg(handle->conn.get());
}

void DBHANDLE_ResetForTest() { DBHANDLE_State() = DBHANDLESTATE{}; }
