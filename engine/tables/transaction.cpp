// transaction.cpp: commit folding and rollback.
#include "engine/tables/transaction.h"

#include <algorithm>

#include "engine/tables/redo_log.h"
#include "engine/tables/rowindex.h"
#include "platform/files.h"
#include "platform/report.h"

namespace {

constexpr char kRedoCorrupted[] =
    "(TARVIC) Redo-log-file '%s' is corrupted!\n"
    "         Save data and restart database!\n";
constexpr char kRedoNotWritten[] =
    "(TARVIC) Redo-log-file '%s' could not be written!\n"
    "         Save data and restart database!\n";
constexpr char kDeleteIllegal[] = "KASPO_DeleteTimestamp: Delete-Timestamp illegal\n";
constexpr char kInsertIllegal[] = "KASPO_DeleteTimestamp: Insert-Timestamp illegal\n";
constexpr char kUpdateIllegal[] = "KASPO_DeleteTimestamp: Update-Timestamp illegal\n";
constexpr char kUpdateIllegal1[] = "KASPO_DeleteTimestamp: Update-Timestamp illegal (1)\n";
constexpr char kAfterIllegal[] = "KASPO_DeleteTimestamp: After illegal\n";
constexpr char kBeforeIllegal[] = "KASPO_DeleteTimestamp: Before illegal\n";

bool InList(const DBCONN& conn, TRANS_LIST list, const DBTABLE* table) {
  const auto& tables = list == TRANS_INSERTED ? conn.inserted_tables : conn.changed_tables;
  int count = list == TRANS_INSERTED ? conn.inserted_count : conn.changed_count;
  return std::find(tables.begin(), tables.begin() + count, table) != tables.begin() + count;
}

void ClearLists(DBCONN* conn) {
  conn->changed_count = 0;
  conn->inserted_count = 0;
}

// Rollback, step 1: versions newer than the transaction cannot exist.
void CheckTimestamps(const ROWSLOT& slot, int a) {
  if (a < slot.delete_ts) DBreport(kDeleteIllegal);
  if (a < slot.insert_ts) DBreport(kInsertIllegal);
  if (a < slot.update_ts) DBreport(kUpdateIllegal);
}

// Moves a row version into, or out of, every index of the table.
void IndexOut(DBTABLE* table, int row, std::span<DBATTRIB* const> attribs) {
  ROWIDX_RemoveUnique(table, row);
  ROWIDX_RemoveLists(table, row, attribs);
}
void IndexIn(DBTABLE* table, int row, std::span<DBATTRIB* const> attribs) {
  ROWIDX_RestoreUnique(table, row);
  ROWIDX_AddLists(table, row, attribs);
}

// Rollback, step 2: the indexes hold the current versions; give them back
// the versions the state before the transaction had.
void RepairIndexes(DBTABLE* table, int b, int a, std::span<DBATTRIB* const> attribs) {
  // Index operations never add slots, so these references stay valid.
  const ROWSLOT& base = table->rows.slots[b];
  if (base.changed >= 0) {
    const ROWSLOT& c = table->rows.slots[base.changed];
    bool c_current = c.delete_ts == -1;
    if (base.insert_ts < a) {
      if (c_current) IndexOut(table, base.changed, attribs);
      // The change took the base row out; a later delete took the version
      // out. Either way the base row is what the older state indexed.
      IndexIn(table, b, attribs);
    } else if (c_current) {
      IndexOut(table, base.changed, attribs);
    }
    return;
  }
  if (base.insert_ts < a) {
    if (base.update_ts >= a) {
      DBreport(kUpdateIllegal1);
    } else if (base.delete_ts >= a) {
      IndexIn(table, b, attribs);
    }
  } else if (base.delete_ts == -1) {
    IndexOut(table, b, attribs);
  }
}

// Rollback, steps 3 to 5 for base row `b`.
void UndoVersions(ROWPOOL* pool, int b, int a) {
  ROWSLOT& base = pool->slots[b];
  if (base.delete_ts >= a) base.delete_ts = -1;
  int c = base.changed;
  if (base.insert_ts < a && base.update_ts < a) {
    if (c < 0) return;
    ROWSLOT& version = pool->slots[c];
    base.changed = -1;
    CheckTimestamps(version, a);
    if (version.delete_ts >= a) version.delete_ts = -1;
    if (version.insert_ts >= a || version.update_ts >= a) {
      if (version.changed >= 0) DBreport(kAfterIllegal);
      version.base = -1;
      ROWPOOL_PushFree(pool, c);
    }
    return;
  }
  if (c >= 0) {
    pool->slots[c].base = -1;
    base.changed = -1;
    ROWPOOL_PushFree(pool, c);
  }
  if (base.base >= 0) DBreport(kBeforeIllegal);
  ROWPOOL_Unlink(pool, b);
  ROWPOOL_PushFree(pool, b);
}

// Undoes both table lists of the open transaction.
void RollbackTables(DBCONN* conn) {
  for (int i = 0; i < conn->changed_count; ++i) {
    KASPO_DeleteTimestamp(conn->changed_tables[i], conn->trans_ts, nullptr, 0);
  }
  for (int i = 0; i < conn->inserted_count; ++i) {
    DBTABLE* table = conn->inserted_tables[i];
    if (InList(*conn, TRANS_CHANGED, table)) continue;
    KASPO_DeleteTimestamp(table, conn->trans_ts, nullptr, 0);
  }
}

}  // namespace

int Trans_RecordTable(DBCONN* conn, TRANS_LIST list, DBTABLE* table) {
  if (InList(*conn, list, table)) return 1;
  auto& tables = list == TRANS_INSERTED ? conn->inserted_tables : conn->changed_tables;
  int32_t& count = list == TRANS_INSERTED ? conn->inserted_count : conn->changed_count;
  if (count >= DB_MAXTABLES) return 0;
  tables[count++] = table;
  return 1;
}

int TRANS_ReaderTimestamp(const DBCONN& conn, const DBDATABASE& db) {
  return conn.trans_ts != -1 ? conn.trans_ts : db.committed_ts + 1;
}

void TRANS_CloseCursors(DBCONN* conn) { CATALOG_CloseCursors(conn); }

void TRANS_Commit(DBCONN* conn, DBDATABASE* db) {
  db->committed_ts = conn->trans_ts;
  TRANS_CloseCursors(conn);
  for (int i = 0; i < conn->changed_count; ++i) Trans_CommitTable(conn->changed_tables[i]);
  ClearLists(conn);
  conn->trans_ts = -1;
  if (conn->redo.empty()) return;
  if (!Redo_Write(conn)) {
    // Redo_Write said what failed. A log on disk now lacks this commit, so
    // it no longer matches the data: corrupted, as the design says. Without
    // a log (its directory is missing, say) nothing is corrupted: the
    // commit is just not logged.
    const bool log_exists = PLATFORM_IsRegularFile(conn->redo_path.c_str());
    DBreport(log_exists ? kRedoCorrupted : kRedoNotWritten, conn->redo_path.c_str());
  }
  conn->redo.clear();
}

void TRANS_Rollback(DBCONN* conn) {
  TRANS_CloseCursors(conn);
  RollbackTables(conn);
  conn->trans_ts = -1;
  ClearLists(conn);
  conn->redo.clear();
}

void Trans_CommitTable(DBTABLE* table) {
  ROWPOOL* pool = &table->rows;
  int s = pool->head;
  while (s >= 0) {
    int b = pool->slots[s].base >= 0 ? pool->slots[s].base : s;
    int next = pool->slots[b].next;
    int c = pool->slots[b].changed;
    if (c < 0) {
      if (pool->slots[b].delete_ts != -1) {
        ROWPOOL_Unlink(pool, b);
        ROWPOOL_PushFree(pool, b);
      }
    } else if (pool->slots[c].delete_ts != -1) {
      ROWPOOL_Unlink(pool, b);
      pool->slots[b].changed = -1;
      pool->slots[c].base = -1;
      ROWPOOL_PushFree(pool, b);
      ROWPOOL_PushFree(pool, c);
    } else {
      ROWPOOL_Promote(pool, b, c);
      ROWPOOL_PushFree(pool, b);
    }
    s = next;
  }
}

void KASPO_DeleteTimestamp(DBTABLE* table, int timestamp, DBATTRIB* const* attribs, int count) {
  std::span<DBATTRIB* const> restrict_to;
  if (attribs != nullptr && count > 0) restrict_to = std::span<DBATTRIB* const>(attribs, count);
  ROWPOOL* pool = &table->rows;
  int s = pool->head;
  while (s >= 0) {
    int b = pool->slots[s].base >= 0 ? pool->slots[s].base : s;
    int next = pool->slots[b].next;
    CheckTimestamps(pool->slots[b], timestamp);
    RepairIndexes(table, b, timestamp, restrict_to);
    UndoVersions(pool, b, timestamp);
    s = next;
  }
}
