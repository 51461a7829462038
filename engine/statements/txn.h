// txn.h: the transaction statements BEGIN ('J'), END ('K') and ABORT ('M').
// Owns no state: a transaction is the connection's timestamp and its
// changed-table lists (catalog.h), committed and undone by transaction.h.
#pragma once

// Statement handlers. Each reads no tokens and leaves one reply. BEGIN
// answers '-' when another connection of the database holds an open
// transaction; the connection is then listed as waiting. END commits and
// ABORT undoes the open transaction, after checking that there is one.
void TXN_Begin(int conn_id, const unsigned char* msg, int length);
void TXN_End(int conn_id, const unsigned char* msg, int length);
void TXN_Abort(int conn_id, const unsigned char* msg, int length);
