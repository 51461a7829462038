// cursor.h: cursors, which keep the whole result of a select inside the
// engine so the client can take it row by row: DECLARE ('N'), FETCH ('O')
// and CLOSE ('P').
// Owns no state of its own: a cursor is one of the connection's
// DB_MAXCURSORS slots (DBCURSOR in catalog.h): a name (empty: free), the
// row-order position of the next row, and the result set, made when the
// cursor is declared and freed when it closes: a closed cursor holds no
// memory, and an open one counts against the engine's result memory limit
// together with every other open result (resdata.h).
//
// Slots in use are 0 .. cursor_count-1; free slots may lie among them.
// DECLARE reuses the first free one below the count before it raises the
// count, and CLOSE lowers the count only past free slots at the top, so the
// slot a cursor gets is fixed by the order of DECLAREs and CLOSEs. The end
// of the transaction (END, ABORT) frees every slot (TRANS_CloseCursors).
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
// the row reply of SELECT, carrying 1 or 0 rows (next row) or every row
// from the position on (ALL), with code '2', or '4' when the cursor's
// result was cut short by a limit (select.h) and the fetch reaches its end
// (so the rows a reader takes last tell it that they were not all). A
// FETCH past the last row answers the header and 0 rows.
#pragma once

// The handlers. Each needs a connection with a database and an open
// transaction and leaves one reply. A DECLARE whose select fails frees its
// slot again and answers the select's error.
void CURSOR_Declare(int conn_id, const unsigned char* msg, int length);
void CURSOR_Fetch(int conn_id, const unsigned char* msg, int length);
void CURSOR_Close(int conn_id, const unsigned char* msg, int length);
