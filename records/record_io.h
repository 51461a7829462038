// record_io.h: what the table record modules (KASPO, BLOBJ, Blobj_Data)
// share (RECIO): the field tables that map a record to its columns, the
// descriptor text, the fill from a result row, the typed values of the
// binary messages, the key-drawing insert, the bracket of every call in
// dbbegin/dbend, the single-row calls by key, and the cursor walks that
// must see every row.
// Owns nothing beyond one call; the modules own their records.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "records/dbhandle.h"

// Insert attempts with fresh keys before an insert gives up.
inline constexpr int RECIO_INSERTTRIES = 100;
// The result-row maximum an application walk runs with, so that neither the
// default of 30000 nor a MAX the user set can cut it short.
inline constexpr int RECIO_WALKMAXROWS = 2147483647;

// Message bytes after which a batch of load inserts is sent and the next
// message begun: large enough that the cost of a message vanishes beside
// its rows, small enough to stay in the processor's caches.
inline constexpr int RECIO_LOADBYTES = 256 * 1024;

// iDB codes of the record modules' _Do dispatch.
inline constexpr int IDB_NOTHING = 0;
inline constexpr int IDB_SELECT = 1;
inline constexpr int IDB_UNSUPPORTED = 2;
inline constexpr int IDB_INSERT = 5;
inline constexpr int IDB_UPDATE = 6;
inline constexpr int IDB_DELETE = 7;

// One field of a record and the column it maps to (in column order).
struct RECIO_FIELD {
  const char* name;  // the name in the descriptor
  int offset;        // byte offset in the record, header included
  int client_type;   // STRUCT_* code (client/struct_assign.h)
  int size;          // bytes of the field in the record
};

// A record module's shape: its name for messages ("KASPO"), its table id
// and record size, and its fields.
struct RECIO_TABLE {
  const char* module;
  int table_id;
  int record_size;
  const RECIO_FIELD* fields;
  int field_count;
};

// A record module with a table behind it whose first field is the key
// (KASPO, BLOBJ). The binary messages name the table by `table->module`;
// the single-row SQL statements by `sql_name`.
struct RECIO_KEYED {
  const RECIO_TABLE* table;
  const char* sql_name;
};

// Whether two texts are equal when trailing blanks are ignored.
[[nodiscard]] int RECIO_SameText(const std::string& a, const std::string& b);

// "TBL,SIZE" then "|NAME,TYP,SIZE,IDX" per field.
std::string RECIO_Descriptor(const RECIO_TABLE& table);

// The text of a text field, never reading past the field.
std::string RECIO_Text(const void* record, const RECIO_FIELD& field);

// Copies row `row` of `result` (-1: the only row) into the record, column
// by column. Reports "<module>_Fill: Status is not DB_TUPLES_OK!\n",
// "<module>_Fill: None or more than one resulttuple!\n" (more than one row
// for row -1; no row fails silently: the end of a cursor), and
// "<module>_Fill: Result does not match the record!\n" when a column is of
// another type or larger than its field, which would not fit the record.
[[nodiscard]] int RECIO_Fill(const RECIO_TABLE& table, void* record, DBRESULT* result, int row,
                             int status);

// Starts a binary message: the letter and the table name.
void RECIO_StartMessage(char letter, const char* table_name);
// Appends the fields of the record as typed values, in column order.
void RECIO_AddValues(const RECIO_TABLE& table, const void* record);

// The record as one line: each field as text in double quotes, joined by
// ",". Binary fields show their content as hexadecimal digits.
std::string RECIO_Csv(const RECIO_TABLE& table, const void* record);

// dbbegin resp. dbend; a failure prints the collected text and ends the
// process with exit status 1: nothing a record call does is safe when the
// transaction brackets cannot be trusted.
void RECIO_Begin(DBHANDLE* handle);
void RECIO_End(DBHANDLE* handle);

// Reports "<message>" through DBreport and ends the process (exit 1).
[[noreturn]] void RECIO_Fatal(const char* message);
// Reports "<module>_CmpLk: No logical key!\n" and ends the process.
[[noreturn]] void RECIO_NoLogicalKey(const RECIO_TABLE& table);

// Inserts the record with a fresh key drawn into its first field, up to
// RECIO_INSERTTRIES times; reports
// "<module>_Insert: Insert not possible (100 tries)\n" when all fail.
// REQUIRES: the first field has room for VALSTR_KEYLEN + 1 bytes.
[[nodiscard]] int RECIO_Insert(const RECIO_TABLE& table, void* record, DBHANDLE* handle);

// The single-row calls of a keyed module; each brackets itself.
// SelectByKey runs "SELECT * FROM <sql_name> WHERE <Key>='<key>'" and fills
// the record from its only row; LoadInsert sends the record as it is ('L',
// no unique check); UpdateByKey sends it ('H') for the row of its key;
// DeleteByKey deletes the row of its key; DeleteAll empties the table ('F').
[[nodiscard]] int RECIO_SelectByKey(const RECIO_KEYED& keyed, void* record, DBHANDLE* handle);
[[nodiscard]] int RECIO_LoadInsert(const RECIO_TABLE& table, const void* record, DBHANDLE* handle);
// LoadBatch sends the records, in the order given, as the rows of INSERT
// LOAD messages of about RECIO_LOADBYTES each: one message for many rows.
// A record here is its fields at their offsets; the header words are not
// read. A message the engine refuses adds none of its rows, and the later
// ones are not sent; the rows of the messages before it stay.
[[nodiscard]] int RECIO_LoadBatch(const RECIO_TABLE& table,
                                  std::span<const unsigned char* const> records, DBHANDLE* handle);
[[nodiscard]] int RECIO_UpdateByKey(const RECIO_KEYED& keyed, const void* record, DBHANDLE* handle);
[[nodiscard]] int RECIO_DeleteByKey(const RECIO_KEYED& keyed, const void* record, DBHANDLE* handle);
[[nodiscard]] int RECIO_DeleteAll(const RECIO_TABLE& table, DBHANDLE* handle);

// Dispatches on the record's iDB code to the calls above and the insert;
// an unknown code reports "<module>_Do: 'iDB'-code unknown!\n".
[[nodiscard]] int RECIO_Do(const RECIO_KEYED& keyed, void* record, DBHANDLE* handle);

// Copies the key of `from` into `to`, trailing blanks dropped.
void RECIO_CopyKey(const RECIO_TABLE& table, void* to, const void* from);
// Whether both keys are equal, trailing blanks ignored.
[[nodiscard]] int RECIO_SameKey(const RECIO_TABLE& table, const void* a, const void* b);

// Sends the message built so far with dbbinexec1.
// REQUIRES: the caller's bracket is open already: the BEGIN of a bracket
// goes through the statement parser, which rebuilds the message buffer.
[[nodiscard]] int RECIO_SendMessage(DBHANDLE* handle);

// Opens `cursor` on `query` for a walk that must see every row: the
// result-row maximum is raised for the DECLARE and put back afterwards, and
// the rows the cursor holds are checked against `count_query` (a SELECT
// COUNT(*) with the same condition). A cursor that holds fewer rows (the
// result memory limit stopped it) is closed and the call fails with
// "(<cursor>) Not all rows could be read (%d of %d)!\n". Brackets itself;
// without a transaction of the caller around that (cursors live only
// inside one) it fails with "(<cursor>) Cursor needs an open transaction!\n".
[[nodiscard]] int RECIO_OpenWalk(DBHANDLE* handle, const char* cursor, const char* query,
                                 const char* count_query);

// Fetches the next row of `cursor` into the record, in a bracket of its
// own; closes the cursor and fails when there is none (or the fill fails).
// After the last row the collected error text is empty; a fetch that failed
// for another reason leaves it filled, so that a walk can tell its end from
// an error.
[[nodiscard]] int RECIO_FetchNext(const RECIO_TABLE& table, void* record, const char* cursor,
                                  DBHANDLE* handle);

// The sequential walk over every row of the module's table: the cursor
// "<module>_SELECT_SEQ" on "SELECT * FROM <module> " (see RECIO_OpenWalk).
[[nodiscard]] int RECIO_SelectSeq(const RECIO_TABLE& table, DBHANDLE* handle);
[[nodiscard]] int RECIO_FetchSeq(const RECIO_TABLE& table, void* record, DBHANDLE* handle);

// The rest of the sequential walk in one request: "FETCH ALL in
// <module>_SELECT_SEQ", then the cursor is closed. Brackets itself.
[[nodiscard]] int RECIO_FetchSeqAll(const RECIO_TABLE& table, DBHANDLE* handle,
                                    MYDB_RESULT* out_result, int* out_status);

// Runs `query` (a SELECT) with the walk's raised row maximum, so that the
// result is whole. A result that is still partial (the memory limit)
// fails with "(<module>) Not all rows could be read!\n".
[[nodiscard]] int RECIO_SelectAll(const RECIO_TABLE& table, DBHANDLE* handle, const char* query,
                                  MYDB_RESULT* out_result, int* out_status);

// The rows whose keys are `keys`, in one result of any row order:
// "SELECT * FROM <sql_name> WHERE <Key> IN ('<key>', ...)". Brackets
// itself. A key without a row has no row in the result.
[[nodiscard]] int RECIO_SelectByKeys(const RECIO_KEYED& keyed, const std::vector<std::string>& keys,
                                     DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status);

// The rows of the module's table, through the cursor "<module>_Cur_Count":
// DECLARE for "SELECT COUNT(*) FROM <module>", FETCH ALL, the count of its
// only row, CLOSE.
[[nodiscard]] int RECIO_CursorCount(const RECIO_TABLE& table, DBHANDLE* handle, int* out_count);
