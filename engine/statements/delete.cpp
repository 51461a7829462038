// delete.cpp: DELETE ('G') and DELETE STD ('F').
#include <vector>

#include "engine/statements/modify.h"
#include "engine/statements/modify_internal.h"
#include "engine/statements/where.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"

namespace {

constexpr MODIFYTEXTS kDelete = {
    "DELETE", "(DELETE) No transaction", "(DELETE) table-name is missing",
    "(DELETE) Table %s does not exist in database %s",
    "(DELETE) Too many changed tables in transaction (DB_MAXTABLES %d)"};
constexpr MODIFYTEXTS kDeleteStd = {
    "DELETE STD", "(DELETE STD) No transaction", "(DELETE STD) table-name is missing",
    "(DELETE STD) Table %s does not exist in database %s",
    "(DELETE STD) Too many changed tables in transaction (DB_MAXTABLES %d)"};

constexpr char kTooManyResults[] = "(DELETE) Subselect with too many results";

// Empties every index of the table: after DELETE STD no row of the latest
// state is left for them to hold.
void ClearIndexes(DBTABLE* table) {
  for (std::unique_ptr<DBINDEX>& index : table->unique_store) {
    if (index) IDXHASH_Clear(&index->unique.hash);
  }
  for (DBATTRIB* attrib : CATALOG_Attribs(table)) {
    if (attrib->list) IDXLIST_Clear(attrib->list.get());
  }
}

}  // namespace

void MODIFY_Delete(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kDelete, conn_id, msg, length, &st)) return;
  QTOKENS tok{msg, length, 0, 0};
  tok.pos = TOKEN_Kind(msg, length, st.offset, &tok.kind);
  std::vector<int32_t> rows;
  if (!MODIFY_SelectRows(kDelete.statement, kTooManyResults, &st, &tok, &rows)) return;
  if (!MODIFY_Record(kDelete, &st, TRANS_CHANGED)) return;
  const auto change = [&](int32_t row, STMTUNDO* undo) {
    Row_Delete(st.table, row, st.timestamp, undo);
    return 1;
  };
  if (!MODIFY_ChangeRows(&st, rows, change, "")) return;  // a delete is never refused
  MODIFY_Redo(&st);
  REPLY_Count(static_cast<int32_t>(rows.size()));
}

void MODIFY_DeleteStd(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kDeleteStd, conn_id, msg, length, &st)) return;
  unsigned char end = 0;
  st.offset = TOKEN_Kind(msg, length, st.offset, &end);  // the statement's end; never refused
  if (!MODIFY_Record(kDeleteStd, &st, TRANS_CHANGED)) return;
  ROWPOOL* pool = &st.table->rows;
  std::vector<int32_t> rows;
  int cursor = pool->head;
  for (int row = ROWPOOL_NextFrom(*pool, st.timestamp, &cursor); row >= 0;
       row = ROWPOOL_NextFrom(*pool, st.timestamp, &cursor)) {
    rows.push_back(row);
  }
  for (int32_t row : rows) pool->slots[row].delete_ts = st.timestamp;
  ClearIndexes(st.table);
  MODIFY_Redo(&st);
  REPLY_Count(static_cast<int32_t>(rows.size()));
}
