// transaction.h: transactions of a connection: their changed-table lists,
// the folding of committed row versions and the undoing of aborted ones.
// The statements BEGIN, END and ABORT that drive them are statements/txn.h.
// Owns no state of its own: a transaction is the connection's timestamp T
// and its two changed-table lists (catalog.h); its row versions live in the
// row pools (rowpool.h).
//
// A transaction's timestamp is its database's committed timestamp + 1, so
// at most one connection of a database holds an open transaction: the
// timestamp doubles as the database's write lock. Every version a
// transaction makes carries T; END makes T the committed timestamp and
// folds the versions into the live lists, ABORT removes every version made
// at or after T.
#pragma once

#include "engine/catalog/catalog.h"

// Which changed-table list of a transaction.
enum TRANS_LIST {
  TRANS_INSERTED,  // tables into which the transaction inserted rows
  TRANS_CHANGED,   // tables in which it updated or deleted rows
};

// Enters `table` into one of the connection's changed-table lists unless it
// is there already. Fails for a 257th table (DB_MAXTABLES).
// Call it before the first row of a statement changes: a statement that
// then fails part-way is still undone by ABORT, and one refused for the
// limit has changed nothing.
[[nodiscard]] int Trans_RecordTable(DBCONN* conn, TRANS_LIST list, DBTABLE* table);

// The timestamp at which a statement of `conn` reads: T inside a
// transaction, else the committed timestamp + 1.
int TRANS_ReaderTimestamp(const DBCONN& conn, const DBDATABASE& db);

// Commits the open transaction of `conn` (END after its checks): the
// committed timestamp becomes T, cursors close, changed tables are folded,
// the lists empty, and the redo records go to the redo log. A failed redo
// write is reported on standard error; the commit stands.
void TRANS_Commit(DBCONN* conn, DBDATABASE* db);

// Undoes the open transaction of `conn` (ABORT after its checks, and the
// undo of DISCONNECT and SET DATABASE): cursors close, every changed table
// is rolled back, the lists and the redo records are dropped, T becomes -1.
void TRANS_Rollback(DBCONN* conn);

// Frees every cursor slot of the connection and its result set
// (CATALOG_CloseCursors).
void TRANS_CloseCursors(DBCONN* conn);

// Folds the committed versions of a table into its live list: deleted rows
// are freed, a changed version takes its base row's place. The indexes
// already hold the current versions and are not touched.
void Trans_CommitTable(DBTABLE* table);

// Undoes every row version of the table made at or after `timestamp` and
// repairs the indexes. `attribs` (1 .. 19 of them) restricts the ordered
// lists repaired; none means every list. Versions newer than the
// transaction cannot exist; meeting one prints a diagnostic and goes on.
void KASPO_DeleteTimestamp(DBTABLE* table, int timestamp, DBATTRIB* const* attribs, int count);
