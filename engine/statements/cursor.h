// cursor.h: cursors, which keep the whole result of a select inside the
// engine so the client can take it row by row: DECLARE ('N'), FETCH ('O')
// and CLOSE ('P').
// Owns no state of its own: a cursor is one of the connection's
// DB_MAXCURSORS slots (DBCURSOR in catalog.h): a name (empty: free), the
// row-order position of the next row, and a result set that belongs to the
// slot and is reused by every cursor that takes it.
//
// Slots in use are 0 .. cursor_count-1; free slots may lie among them.
// DECLARE reuses the first free one below the count before it raises the
// count, and CLOSE lowers the count only past free slots at the top, so the
// slot a cursor gets (and so which result set it reuses) is fixed by the
// order of DECLAREs and CLOSEs. The end of the transaction (END, ABORT)
// frees every slot (TRANS_CloseCursors).
//
// Messages after the command letter:
//
//   | Command | Tokens                                               |
//   |---------|------------------------------------------------------|
//   | DECLARE | 'a' name, then a select body (select.h)              |
//   | FETCH   | 'a' name (next row) or '%' 'a' name (all remaining)  |
//   | CLOSE   | 'a' name                                             |
//
// Replies: DECLARE '3' and the cursor's row count (i32); CLOSE '1'; FETCH
// the row reply of SELECT, always with code '2' (the cursor's truncated
// flag is not reported), carrying 1 or 0 rows (next row) or every row from
// the position on (ALL). A FETCH past the last row answers the header and
// 0 rows.
#pragma once

// The handlers. Each needs a connection with a database and an open
// transaction and leaves one reply. A DECLARE whose select fails frees its
// slot again and answers the select's error.
void CURSOR_Declare(int conn_id, const unsigned char* msg, int length);
void CURSOR_Fetch(int conn_id, const unsigned char* msg, int length);
void CURSOR_Close(int conn_id, const unsigned char* msg, int length);
