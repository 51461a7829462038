// txn.cpp: BEGIN, END and ABORT.
#include "engine/statements/txn.h"

#include <algorithm>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/tables/transaction.h"
#include "engine/types/reply.h"

namespace {

constexpr char kAlreadyOpen[] = "(BEGIN) Already open transaction for database '%s'\n";
constexpr char kNoTimestamp[] = "(%s) Connection Timestamp not defined";
constexpr char kNotGreater[] = "(%s) Connection Timestamp %d not greater than DB-Timestamp %d\n";

// The checks END and ABORT share. Replies and returns 0 on failure.
int OpenTransaction(const char* statement, int conn_id, DBCONN** out_conn, DBDATABASE** out_db) {
  if (!CATALOG_Preamble(statement, conn_id, out_conn, out_db)) return 0;
  const DBCONN& conn = **out_conn;
  const DBDATABASE& db = **out_db;
  if (conn.trans_ts == -1) {
    REPLY_Errorf(kNoTimestamp, statement);
    return 0;
  }
  if (db.committed_ts >= conn.trans_ts) {
    REPLY_Errorf(kNotGreater, statement, conn.trans_ts, db.committed_ts);
    return 0;
  }
  return 1;
}

// The first connection of database `db` whose transaction timestamp is `ts`.
DBCONN* HolderOf(int db, int ts) {
  ENGINE& engine = CATALOG_Engine();
  for (int i = 0; i < engine.conn_count; ++i) {
    DBCONN& conn = engine.conns[i];
    if (conn.database == db && conn.trans_ts == ts) return &conn;
  }
  return nullptr;
}

void ListWaiting(int conn_id) {
  std::vector<int32_t>& waiting = CATALOG_Engine().waiting;
  // A client that keeps retrying is listed once, not once per attempt.
  if (std::find(waiting.begin(), waiting.end(), conn_id) == waiting.end()) {
    waiting.push_back(conn_id);
  }
}

}  // namespace

void TXN_Begin(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble("BEGIN", conn_id, &conn, &db)) return;
  int ts = db->committed_ts + 1;
  DBCONN* holder = HolderOf(conn->database, ts);
  if (holder == conn) {
    REPLY_Errorf(kAlreadyOpen, db->name);
  } else if (holder != nullptr) {
    ListWaiting(conn_id);
    REPLY_Wait();
  } else {
    conn->trans_ts = ts;
    REPLY_Success();
  }
}

void TXN_End(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!OpenTransaction("END", conn_id, &conn, &db)) return;
  TRANS_Commit(conn, db);
  REPLY_Success();
}

void TXN_Abort(int conn_id, const unsigned char* /*msg*/, int /*length*/) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!OpenTransaction("ABORT", conn_id, &conn, &db)) return;
  TRANS_Rollback(conn);
  REPLY_Success();
}
