// connect.cpp: CONNECT, DISCONNECT and SET DATABASE.
#include "engine/statements/connect.h"

#include <string>

#include "engine/tables/table_file.h"
#include "engine/tables/transaction.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"

namespace {

constexpr char kConnectNameMissing[] = "(CONNECT) Database-name missing";
constexpr char kConnectNotFound[] = "(CONNECT) Database '%s' not found!";
constexpr char kNotLoaded[] = "(%s) Data of table '%s' in database '%s' could not be loaded!";
constexpr char kSetConnNotFound[] = "(SET DATABASE) Conn_Id %d not found\n";
constexpr char kSetNameMissing[] = "(SET DATABASE) database-name is missing";
constexpr char kSetNotFound[] = "(SET DATABASE) Database '%s' not found!";

// Undoes the open transaction of `conn`, if its database has not committed
// past it already.
void RollbackOpen(DBCONN* conn) {
  if (conn->database < 0 || conn->trans_ts < 0) return;
  if (conn->trans_ts > CATALOG_Engine().dbs[conn->database].committed_ts) TRANS_Rollback(conn);
}

}  // namespace

int CONNECT_LoadTables(std::string_view statement, DBDATABASE* db) {
  for (int i = 0; i < db->tables.count; ++i) {
    DBTABLE* table = CATALOG_Table(db, i);
    if (table == nullptr || table->loaded == '1') continue;
    if (!TABLE_Read(db, table)) {
      std::string stmt(statement);
      REPLY_Errorf(kNotLoaded, stmt.c_str(), table->name.c_str(), db->name);
      return 0;
    }
    table->loaded = '1';
  }
  return 1;
}

void CONNECT_Connect(int conn_id, const unsigned char* msg, int length) {
  std::string name;
  int offset = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &offset, kConnectNameMissing, &name)) return;
  std::string error;
  if (!CATALOG_ConnRoom("CONNECT", &error)) {
    REPLY_Error(error);
    return;
  }
  int database = -1;
  if (!name.empty()) {
    if (!CATALOG_FindDatabase(name, &database)) {
      REPLY_Errorf(kConnectNotFound, name.c_str());
      return;
    }
    if (!CONNECT_LoadTables("CONNECT", &CATALOG_Engine().dbs[database])) return;
  }
  // CONNECT always takes a new slot, even for a Conn_Id that has one.
  int slot = 0;
  if (CATALOG_AddConn(conn_id, database, &slot)) REPLY_Success();
}

void CONNECT_Disconnect(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  int slot = 0;
  if (CATALOG_FindConn(conn_id, &slot)) {
    DBCONN* conn = &CATALOG_Engine().conns[slot];
    RollbackOpen(conn);
    conn->trans_ts = -1;
    CATALOG_RemoveConn(slot);
  }
  REPLY_Reset();
  REPLY_AppendByte(CONNECT_DISCONNECTREPLY);
}

void CONNECT_SetDatabase(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = CATALOG_Conn(conn_id);
  if (conn == nullptr) {
    REPLY_Errorf(kSetConnNotFound, conn_id);
    return;
  }
  std::string name;
  int offset = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &offset, kSetNameMissing, &name)) return;
  RollbackOpen(conn);
  int database = -1;
  if (!CATALOG_FindDatabase(name, &database)) {
    REPLY_Errorf(kSetNotFound, name.c_str());
    return;
  }
  if (!CONNECT_LoadTables("SET DATABASE", &CATALOG_Engine().dbs[database])) return;
  CATALOG_InitConn(conn, database);
  REPLY_Success();
}
