// dbhandle.h: the database handle and the thin client calls (DBHANDLE).
// Owns the process-wide BEGIN-stack (transaction nesting), the collected
// error text and its mode, and the connection of each handle. Every call
// is one request and one reply through the request channel; nothing here
// adds SQL semantics of its own, and nothing here ends the process. The
// process-wide state is the module's own (records/internal): callers reach
// it through the operations below.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "client/dbclient.h"
#include "records/limits.h"

// Client status codes of the execute calls.
inline constexpr int MYDB_EMPTY_QUERY = 0;     // nothing was executed
inline constexpr int MYDB_COMMAND_OK = 1;      // command done, no rows
inline constexpr int MYDB_TUPLES_OK = 2;       // rows returned
inline constexpr int MYDB_BAD_RESPONSE = 3;    // the engine answered with an error
inline constexpr int MYDB_NONFATAL_ERROR = 4;  // the statement was refused before sending
inline constexpr int MYDB_FATAL_ERROR = 5;     // fatal error
inline constexpr int MYDB_TUPLES_PARTIAL = 6;  // rows, but not all rows were evaluated

struct DBHANDLE {
  std::string name;                    // "system/database", or the database name alone
  std::unique_ptr<DBCONNECTION> conn;  // null until the first connect
};

// A result handed out by an execute call; empty when the call got none.
// The caller releases it with dbfree (or by letting it go).
using MYDB_RESULT = DBRESULTPTR;

// How dberror delivers its messages.
enum DBERRMODE {
  DBERR_DIRECT,      // each message to DBreport at once
  DBERR_COLLECTING,  // appended to the collected text, printed by dberror_print
};

// ---------------------------------------------------------------------------
// The engine

// Starts the engine of this process (DBCLIENT_StartEngine); 0 when it could
// not be started.
[[nodiscard]] int DBHANDLE_StartEngine(const char* engine_name, const char* default_db);

// Between these two calls Ctrl-C (SIGINT) stops the running statement
// instead of ending the process: the statement fails and undoes what it
// changed. The second returns 1 when Ctrl-C was pressed meanwhile.
void DBHANDLE_ArmInterrupt();
[[nodiscard]] int DBHANDLE_DisarmInterrupt();

// ---------------------------------------------------------------------------
// Handle and transactions

// Reseeds the key generator (reseeding every KEYGEN_RESEEDDRAWS draws from
// now on), names the handle (with the prefix "$DBSYS/" when `name` has no
// "/" and DBSYS is set) and connects it to the database part of the name.
[[nodiscard]] int DBHANDLE_Init(DBHANDLE* handle, const char* name);

// Opens one level of the BEGIN-stack. Only the outermost level sends
// "BEGIN" (with one reconnect when there is no connection to send it on);
// a failed outermost BEGIN takes its level back off again.
[[nodiscard]] int dbbegin(DBHANDLE* handle);
[[nodiscard]] int DB_Begin(DBHANDLE* handle);

// The open dbbegin levels of the whole process; negative after too many
// dbends.
[[nodiscard]] int DBHANDLE_BeginDepth();

// Closes one level; the outermost sends "END". Below 0 it reports
// "BEGIN-stack underflow (too many dbends).\n" and the depth stays negative.
[[nodiscard]] int dbend(DBHANDLE* handle);

// At depth 1 sends "COMMIT" (resp. "ABORT") and brings the depth to 0; at a
// deeper level succeeds without sending; below 1 fails with "COMMIT command
// without BEGIN" (resp. "ROLLBACK command without BEGIN"). An error reply
// fails and leaves the depth at 1.
[[nodiscard]] int DB_Commit(DBHANDLE* handle);
[[nodiscard]] int DB_RollBack(DBHANDLE* handle);

// ---------------------------------------------------------------------------
// Schema calls: one request each; a failed request counts as "no".

[[nodiscard]] int DB_Table_Exists(DBHANDLE* handle, const char* name);
[[nodiscard]] int DB_Index_Exists(DBHANDLE* handle, const char* name);
[[nodiscard]] int DB_Create_Table(DBHANDLE* handle, const char* statement);
[[nodiscard]] int DB_Create_Index(DBHANDLE* handle, const char* statement);
[[nodiscard]] int DB_Drop_Table(DBHANDLE* handle, const char* name);
[[nodiscard]] int DB_Drop_Index(DBHANDLE* handle, const char* name);

// ---------------------------------------------------------------------------
// Execute calls. Each empties the collected text first and sends exactly one
// request. A BAD RESPONSE, FATAL ERROR or NONFATAL ERROR status fails with
// its "... occured in ..." line and "Error: <the result's message>";
// every other status succeeds and is handed back in *out_status.

[[nodiscard]] int dbexec1(DBHANDLE* handle, const char* text, MYDB_RESULT* out_result,
                          int* out_status);
// Sends "<word> <text>".
[[nodiscard]] int dbexec(DBHANDLE* handle, const char* word, const char* text,
                         MYDB_RESULT* out_result, int* out_status);
// Sends the message built beforehand with the message builder.
[[nodiscard]] int dbbinexec1(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status);
// Loud: exactly dbbinexec1. Quiet: no message; fails only without a result
// or for the status BAD RESPONSE or FATAL ERROR.
[[nodiscard]] int dbbinexec(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status, int loud);
[[nodiscard]] int dbdeclare(DBHANDLE* handle, const char* cursor, const char* query);
// dbdeclare that also gives the number of rows the cursor holds.
[[nodiscard]] int DBHANDLE_Declare(DBHANDLE* handle, const char* cursor, const char* query,
                                   int* out_rows);
[[nodiscard]] int dbclose(DBHANDLE* handle, const char* cursor);
[[nodiscard]] int dbdelete(DBHANDLE* handle, const char* table, const char* condition,
                           int* out_status);
[[nodiscard]] int dbinsert(DBHANDLE* handle, const char* table, const char* text, int* out_status);
[[nodiscard]] int dbupdate(DBHANDLE* handle, const char* table, const char* text, int* out_status);
[[nodiscard]] int dbdeleteall(DBHANDLE* handle, const char* table, int* out_status);

// ---------------------------------------------------------------------------
// Single SQL statements

// What a statement does to the database, for a caller that must know
// which transaction it leaves open or which statements it lets through.
enum DBSTMTKIND {
  DBSTMT_NONE,   // nothing would be sent
  DBSTMT_OTHER,  // any statement not named below
  DBSTMT_CONNECT,
  DBSTMT_DISCONNECT,
  DBSTMT_DROPDATABASE,
  DBSTMT_DROPTABLE,
  DBSTMT_DROPINDEX,
  DBSTMT_BEGIN,
  DBSTMT_COMMIT,  // COMMIT and END
  DBSTMT_ABORT,
  DBSTMT_STOPDATABASE,
  DBSTMT_SETDATABASE,  // also undoes an open transaction
  DBSTMT_CREATEINDEX,  // CREATE INDEX and CREATE UNIQUE INDEX
  DBSTMT_SETTABLE,     // SET TABLE ... STATIC and SET TABLE ... SECURE
};

// One SQL statement of dbexec_sql, prepared once (DBHANDLE_Prepare): the
// text as it is sent, its parsed form, and what it asks of the engine, read
// from its message. Run it with DBHANDLE_ExecStatement.
struct DBSTATEMENT {
  std::string text;       // up to its first ";" (added when missing),
                          // newlines turned into blanks
  bool trailing = false;  // more than white space followed the ";"
  DBPREPARED prepared;    // the message, or why the parser refused the text
  DBSTMTKIND kind = DBSTMT_NONE;
  std::string name;   // the name the message starts with (table, index,
                      // database), upper-cased as sent; empty when none
  std::string table;  // the table the statement works on: the name for
                      // DROP TABLE and SET TABLE, the table after ON for
                      // CREATE [UNIQUE] INDEX; empty for the others
};

// Cuts and parses one SQL statement the way dbexec_sql does, without
// sending it or collecting any message. Fails when dbexec_sql would refuse
// the text before sending it; *out then still holds what the refusal
// reports, and its kind is DBSTMT_NONE.
[[nodiscard]] int DBHANDLE_Prepare(const char* text, DBSTATEMENT* out);

// Runs a prepared statement: its message goes out as it was parsed.
// Without `out_result` (nullptr) it prints: the column names and rows of a
// row result joined by ", " (values without trailing white space), "not
// all results evaluated!\n" for a partial one, and a success line; the
// result is released. *out_count is the row count, negated for a partial
// result. Printing stops at a stop the user asked for
// (DBHANDLE_ArmInterrupt); the call then fails without a message.
[[nodiscard]] int DBHANDLE_ExecStatement(DBHANDLE* handle, const DBSTATEMENT& statement,
                                         MYDB_RESULT* out_result, int* out_count);

// Runs one SQL statement: the text up to the first ";" (newlines become
// blanks; only white space may follow the ";"; a missing ";" is added),
// prepared and run as by the two calls above.
[[nodiscard]] int dbexec_sql(DBHANDLE* handle, const char* text, MYDB_RESULT* out_result,
                             int* out_count);

// ---------------------------------------------------------------------------
// Result accessors

// The first column of the only row as a decimal integer (resp. as text).
// Needs MYDB_TUPLES_OK and exactly one row; no row fails without message.
[[nodiscard]] int dbfill_count(DBHANDLE* handle, DBRESULT* result, int status, int* out_count);
[[nodiscard]] int dbfill_string(DBHANDLE* handle, DBRESULT* result, int status,
                                std::string* out_text);
// Rows a statement touched: 0 for MYDB_EMPTY_QUERY, the row count for
// MYDB_COMMAND_OK and MYDB_TUPLES_OK, minus it for MYDB_TUPLES_PARTIAL.
[[nodiscard]] int dbfill_rows(DBHANDLE* handle, const DBRESULT* result, int status, int* out_rows);
void dbfree(MYDB_RESULT* result);

// ---------------------------------------------------------------------------
// Error text

void DBHANDLE_SetErrorMode(DBERRMODE mode);
// printf-like with the conversions d, s, f, ld and lf (width and precision
// allowed); any other conversion gives "???". Appends to the collected text
// (cut at DBHANDLE_ERRTEXTMAX bytes) or reports at once, by the mode.
[[gnu::format(printf, 1, 2)]] void dberror(const char* format, ...);
// Prints the collected text through DBreport.
void dberror_print();
// The collected text.
const std::string& DBHANDLE_ErrorText();
// Empties the collected text.
void DBHANDLE_ClearError();
// Puts back a collected text kept before a call that emptied it, so that
// the caller's own report still shows what went wrong first.
void DBHANDLE_RestoreError(const std::string& kept);

// Back to the state at process start. Only tests call it.
void DBHANDLE_ResetForTest();
