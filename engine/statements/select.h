// select.h: the SELECT command ('C') and the select body executor that
// SELECT, DECLARE and subselects run.
// Owns no state beyond one execution: item lists, FROM lists, candidate
// lists and aggregate cells live in the call; the result data set belongs
// to the caller.
//
// Select body (after the command letter, or after a cursor's name):
//
//   ['7' DISTINCT] item {item} 'v' table {table} [WHERE section] [ORDER BY]
//   item:  'W' * | 'a' name | 'f' ident 'a' name | 'f' ident 'W' |
//          'C' COUNT(*) | 'I' MIN / 'J' MAX, then 'a' name or 'f' ident 'a' name
//   table: 'a' table name, optionally 'f' table identifier
//
// Reply of SELECT (little-endian):
//
//   | Size          | Content                                             |
//   |---------------|-----------------------------------------------------|
//   | 1             | '4' when the result was cut short, else '2'         |
//   | 4, 4          | columns, rows                                       |
//   | per column    | u16 L, name and its zero (L bytes), type byte, i32 size |
//   | per row/cell  | u16 L then L bytes: CHARACTER text and zero; BINARY |
//   |               | its u16 length and bytes (L = length + 2); others   |
//   |               | the row form (L = the column size); L = 0: no value |
//
// Rows go in the result's row order.
#pragma once

#include <cstdint>

#include "engine/statements/expr.h"
#include "engine/statements/qtokens.h"

// Rows a result may hold before the walk stops: the connection's maximum,
// where 0 or less means no limit.
inline constexpr int SELECT_NOROWLIMIT = 0;

// The SELECT command handler. Leaves one reply.
void SELECT_Command(int conn_id, const unsigned char* msg, int length);

// Runs the select body that starts at offset `tok->pos` as a statement of
// its own (SELECT, DECLARE): at `timestamp`, under the row maximum of
// `conn` and the engine's result memory limit, into `result` (reset first;
// afterwards its row order and truncated flag are set). The result is
// charged to the result memory ledger (resdata.h) and counts there until
// its owner frees it; the memory limit holds for the ledger as a whole, so
// a walk also stops when the other open results and cursors together with
// this one reach it. On return
// tok->kind is the token after the body and tok->pos the offset after that
// kind byte. On failure the error reply has been written and 0 is returned.
[[nodiscard]] int SELECT_RunBody(DBCONN* conn, DBDATABASE* db, int timestamp, QTOKENS* tok,
                                 RESDATA* result);

// The same for a subselect inside a statement: the enclosing selects are on
// the context stack of `stmt`.
[[nodiscard]] int SELECT_Body(QUERYSTMT* stmt, QTOKENS* tok, RESDATA* result);

// The statement timestamp of `conn`: its transaction's, else the database's
// committed timestamp + 1.
int SELECT_Timestamp(const DBCONN& conn, const DBDATABASE& db);

// Reply pieces, for SELECT and FETCH: the column header (after
// REPLY_RowsBegin) and the cells of result row `row` (a row number, not a
// row-order position).
void SELECT_ReplyColumns(const RESDATA& result);
void SELECT_ReplyRow(const RESDATA& result, int row);
// The whole reply: code, counts, header, rows in row order.
void SELECT_Reply(const RESDATA& result);

// COUNT(*) counts in 64 bits. The sum and the product of the counts of a
// join never wrap: they stop at INT64_MAX.
[[nodiscard]] int64_t SELECT_CountAdd(int64_t count, int64_t n);
[[nodiscard]] int64_t SELECT_CountTimes(int64_t count, int64_t n);

// The largest count the INTEGER cell of COUNT(*) holds.
inline constexpr int32_t SELECT_COUNTMAX = 2147483647;

// The cell COUNT(*) answers for `count`: the count itself, or
// SELECT_COUNTMAX for a count beyond it. Returns 1 when the cell is exact;
// 0 when it is not, and the select then marks its result cut short ('4',
// "not all results evaluated!"), as at its other limits: the count is at
// least the cell's value.
[[nodiscard]] int SELECT_CountCell(int64_t count, int32_t* out_cell);

// Orders two rows of one table by one attribute: -1, 0, 1. CHARACTER by
// plain byte-wise text comparison (trailing blanks count), numbers
// numerically, FLOAT by CmpDouble, dates and times by their order, BINARY
// by length first, then the bytes.
int CmpAttrib(const DBATTRIB& attrib, const unsigned char* row_a, const unsigned char* row_b);
