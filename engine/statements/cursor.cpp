// cursor.cpp: DECLARE, FETCH and CLOSE.
#include "engine/statements/cursor.h"

#include <cstring>
#include <string>
#include <string_view>

#include "engine/catalog/catalog.h"
#include "engine/catalog/limits.h"
#include "engine/statements/expr.h"
#include "engine/statements/select.h"
#include "engine/types/reply.h"
#include "engine/types/resdata.h"
#include "engine/types/token_reader.h"
#include "engine/types/tokens.h"

namespace {

constexpr char kDeclareNoTrans[] = "(DECLARE) No transaction";
constexpr char kFetchNoTrans[] = "(FETCH) No transaction";
constexpr char kCloseNoTrans[] = "(CLOSE) No transaction";
constexpr char kDeclareNameMissing[] = "(DECLARE) cursor-name is missing";
constexpr char kFetchNameMissing[] = "(FETCH) cursor-name is missing";
constexpr char kCloseNameMissing[] = "(CLOSE) cursor-name is missing";
constexpr char kFetch[] = "(FETCH)";
// A name the slot cannot hold: empty (that marks a free slot) or longer
// than 31 characters. SQL text never produces one; a built message can.
constexpr char kBadName[] = "(DECLARE) Invalid cursor-name '%s'";
constexpr char kInUse[] = "(DECLARE) Cursor '%s' already in use for Conn_Id %d\n";
constexpr char kTooMany[] = "(DECLARE) Too many open cursors for Conn_Id %d (DB_MAXCURSORS = %d)\n";
constexpr char kFetchNotFound[] = "(FETCH) Cursor '%s' not found for Conn_Id %d\n";
constexpr char kCloseNotFound[] = "(CLOSE) Cursor '%s' not found for Conn_Id %d\n";

// The opening checks of all three commands: connection, database, and an
// open transaction (cursors live only as long as their transaction).
[[nodiscard]] int Preamble(const char* statement, const char* no_trans, int conn_id,
                           DBCONN** out_conn, DBDATABASE** out_db) {
  if (!CATALOG_Preamble(statement, conn_id, out_conn, out_db)) return 0;
  if ((*out_conn)->trans_ts == -1) {
    REPLY_Error(no_trans);
    return 0;
  }
  return 1;
}

// The slot among 0 .. cursor_count-1 whose cursor is named `name`, or -1.
int FindSlot(const DBCONN& conn, std::string_view name) {
  for (int i = 0; i < conn.cursor_count; ++i) {
    if (conn.cursors[i].name[0] != '\0' && name == conn.cursors[i].name) return i;
  }
  return -1;
}

// Finds the slot a new cursor `name` takes: the first free slot below the
// count, else the next one above it. Answers the error and fails for a name
// in use or when all DB_MAXCURSORS slots are taken.
[[nodiscard]] int TakeSlot(DBCONN* conn, int conn_id, const std::string& name, int* out_slot) {
  int free_slot = -1;
  for (int i = 0; i < conn->cursor_count; ++i) {
    const char* slot_name = conn->cursors[i].name;
    if (slot_name[0] == '\0') {
      if (free_slot < 0) free_slot = i;
    } else if (name == slot_name) {
      REPLY_Errorf(kInUse, name.c_str(), conn_id);
      return 0;
    }
  }
  if (free_slot < 0) {
    if (conn->cursor_count == DB_MAXCURSORS) {
      REPLY_Errorf(kTooMany, conn_id, DB_MAXCURSORS);
      return 0;
    }
    free_slot = conn->cursor_count++;
  }
  *out_slot = free_slot;
  return 1;
}

// Frees a slot; the count then ends after the highest slot still named.
// The slot's result set is freed with it: the memory is given back and no
// longer counts against the result memory limit.
void FreeSlot(DBCONN* conn, int slot) {
  conn->cursors[slot].name[0] = '\0';
  RESDATA_Free(&conn->cursors[slot].result);
  while (conn->cursor_count > 0 && conn->cursors[conn->cursor_count - 1].name[0] == '\0')
    --conn->cursor_count;
}

void OpenSlot(DBCURSOR* cursor, const std::string& name) {
  cursor->fetch_pos = 0;
  std::memcpy(cursor->name, name.c_str(), name.size() + 1);
  // A slot's set exists only while a cursor holds it.
  if (cursor->result.block_count < 0) RESDATA_Init(&cursor->result);
  RESDATA_Reset(&cursor->result);
}

// Writes the rows at row-order positions fetch_pos .. fetch_pos+count-1
// and moves the position past them. A fetch that reaches the end of a
// result a limit cut short is marked as a truncated SELECT is ('4'): the
// rows it ends with are not all the rows there were.
void ReplyRows(DBCURSOR* cursor, int count) {
  const RESDATA& result = cursor->result;
  const bool cut_end = result.truncated && cursor->fetch_pos + count >= result.rows;
  REPLY_RowsBegin(cut_end ? '4' : '2', result.columns, count);
  SELECT_ReplyColumns(result);
  for (int i = 0; i < count; ++i) SELECT_ReplyRow(result, result.row_order[cursor->fetch_pos + i]);
  cursor->fetch_pos += count;
}

}  // namespace

void CURSOR_Declare(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!Preamble("DECLARE", kDeclareNoTrans, conn_id, &conn, &db)) return;
  std::string name;
  int pos = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &pos, kDeclareNameMissing, &name)) return;
  if (name.empty() || name.size() >= DB_NAMESIZE || name.find('\0') != std::string::npos) {
    REPLY_Errorf(kBadName, name.c_str());
    return;
  }
  int slot = 0;
  if (!TakeSlot(conn, conn_id, name, &slot)) return;
  DBCURSOR* cursor = &conn->cursors[slot];
  OpenSlot(cursor, name);
  QTOKENS tok{msg, length, pos, DBTK_IDENT};
  if (!SELECT_RunBody(conn, db, conn->trans_ts, &tok, &cursor->result)) {
    // The select answered its own error; a cursor without rows to give
    // must not hold on to its name or its slot.
    FreeSlot(conn, slot);
    return;
  }
  REPLY_Count(cursor->result.rows);
}

void CURSOR_Fetch(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!Preamble("FETCH", kFetchNoTrans, conn_id, &conn, &db)) return;
  if (length <= TOKEN_FIRST) {
    REPLY_ErrorDetail(kFetch, "");
    return;
  }
  const bool all = msg[TOKEN_FIRST] == DBTK_ALL;
  std::string name;
  int name_at = all ? TOKEN_FIRST + 1 : TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &name_at, kFetchNameMissing, &name)) return;
  const int slot = FindSlot(*conn, name);
  if (slot < 0) {
    REPLY_Errorf(kFetchNotFound, name.c_str(), conn_id);
    return;
  }
  DBCURSOR* cursor = &conn->cursors[slot];
  const int left = cursor->result.rows - cursor->fetch_pos;
  ReplyRows(cursor, all ? left : (left > 0 ? 1 : 0));
}

void CURSOR_Close(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!Preamble("CLOSE", kCloseNoTrans, conn_id, &conn, &db)) return;
  std::string name;
  int pos = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &pos, kCloseNameMissing, &name)) return;
  const int slot = FindSlot(*conn, name);
  if (slot < 0) {
    REPLY_Errorf(kCloseNotFound, name.c_str(), conn_id);
    return;
  }
  FreeSlot(conn, slot);
  REPLY_Success();
}
