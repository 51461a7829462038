// modify.h: the statements that change rows: INSERT, INSERT STD, INSERT
// LOAD, UPDATE, UPDATE STD, DELETE and DELETE STD, and the row changes they
// share.
// Owns no state: rows belong to the table's row pool, the indexes to the
// table (catalog.h), the changed-table lists and the redo records to the
// connection's transaction (transaction.h, redo_log.h).
//
// Messages read (after the command letter; every one starts with the
// table's 'a' token):
//
//   | Letter | Statement   | Then                                            |
//   |--------|-------------|-------------------------------------------------|
//   | 'E'    | INSERT      | ['a' attribute ...] 'X', then one literal per   |
//   |        |             | listed attribute ('X' alone: every attribute    |
//   |        |             | in definition order)                            |
//   | 'D'    | INSERT STD  | one typed value per attribute, definition order |
//   | 'L'    | INSERT LOAD | as INSERT STD, for one row or more: the values  |
//   |        |             | of each row follow those of the one before, to  |
//   |        |             | the end of the message                          |
//   | 'I'    | UPDATE      | pairs 'a' attribute, literal; [WHERE section]   |
//   | 'H'    | UPDATE STD  | one typed value per attribute; [WHERE section]  |
//   | 'G'    | DELETE      | [WHERE section]                                 |
//   | 'F'    | DELETE STD  | nothing                                         |
//
// A literal is 'd' i32, 'e' double or 'f' text. A typed value is the
// attribute's type byte, u16 L and L bytes:
//
//   | Type        | L                | Bytes                               |
//   |-------------|------------------|-------------------------------------|
//   | CHARACTER   | text length + 1  | the text and its zero; L = 1: one   |
//   |             |                  | character, written without padding  |
//   | BINARY      | content n + 2    | u16 n, then the n bytes             |
//   | the others  | 2, 4, 8, 4, 3, 12| the row form (values.h)             |
//
// Replies: INSERT forms '1'; UPDATE and DELETE forms '3' and the number of
// rows they changed.
//
// Every statement runs inside the connection's transaction: new rows and
// changed versions carry its timestamp T, deleted rows get delete timestamp
// T, and the indexes always hold the versions the latest state shows.
// A statement is atomic: one that fails part-way (or is interrupted) takes
// back every row it changed before it replies, so the transaction holds
// exactly what its earlier statements did.
// A statement on a SECURE table that succeeds leaves its whole message in
// the redo buffer.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog.h"

// The statement handlers. Each leaves exactly one reply.
void MODIFY_Insert(int conn_id, const unsigned char* msg, int length);
void MODIFY_InsertStd(int conn_id, const unsigned char* msg, int length);
void MODIFY_InsertLoad(int conn_id, const unsigned char* msg, int length);
void MODIFY_Update(int conn_id, const unsigned char* msg, int length);
void MODIFY_UpdateStd(int conn_id, const unsigned char* msg, int length);
void MODIFY_Delete(int conn_id, const unsigned char* msg, int length);
void MODIFY_DeleteStd(int conn_id, const unsigned char* msg, int length);

// Writes `text` into a CHARACTER field of `field_size` bytes: the text, then
// blanks up to field_size - 1, then a NUL. A text longer than the field
// holds is cut.
void Row_PadCopy(unsigned char* field, std::string_view text, int field_size);

// One SET element of UPDATE: the attribute and its new value in row form.
struct ROWSETVALUE {
  DBATTRIB* attrib = nullptr;
  const unsigned char* field = nullptr;  // attrib->size bytes
};

// One row a statement changed, kept until the statement has replied so
// that a failure can take the change back.
struct ROWUNDO {
  int row = -1;                       // the row as the statement found it
  int version = -1;                   // the version holding the new bytes (the row itself when
                                      // changed in place); -1: the row was deleted
  std::vector<unsigned char> before;  // changed in place: its earlier bytes
};
// The changes of one statement, oldest first.
using STMTUNDO = std::vector<ROWUNDO>;

// Changes row `row` (a version the latest state shows) at `timestamp`:
// Row_Update replaces all its bytes with `image` (row_size bytes),
// Row_UpdateSet only the fields of `set`. The row leaves the indexes, its
// changed version (rowpool.h) receives the new bytes and enters them, and
// the change is appended to `undo`.
// When the new bytes break a unique index, the version is given up, the
// row goes back into the indexes as it was, and 0 is returned.
[[nodiscard]] int Row_Update(DBTABLE* table, int row, int timestamp, const unsigned char* image,
                             STMTUNDO* undo);
[[nodiscard]] int Row_UpdateSet(DBTABLE* table, int row, int timestamp,
                                std::span<const ROWSETVALUE> set, STMTUNDO* undo);

// Marks row `row` deleted at `timestamp`, takes it out of the indexes and
// appends the change to `undo`.
void Row_Delete(DBTABLE* table, int row, int timestamp, STMTUNDO* undo);

// Takes back the changes of `undo`, newest first: each row gets its bytes
// and its place in the indexes back, a version made by the statement is
// freed, a deleted row lives again. `undo` is emptied.
void MODIFY_Undo(DBTABLE* table, STMTUNDO* undo);
