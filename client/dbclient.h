// dbclient.h: the client side of the request channel (DB calls).
// Owns the connection handles, the process-wide Conn_Id counter, the
// transport between the message buffer and the engine entry, the parse of
// a reply into a client result, and the accessors that turn result cells
// into typed values or text. Reply and message bytes are drawn in
// engine/types/wire.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/types/resdata.h"

// Connection status values.
inline constexpr int DBCONN_OK = 0;       // connected
inline constexpr int DBCONN_FAILED = 1;   // the connect or the last reset failed
inline constexpr int DBCONN_CHANNEL = 6;  // sending or receiving failed

// Result status values.
inline constexpr int DBRES_COMMAND_OK = 1;   // command done ('1', '3' reply)
inline constexpr int DBRES_TUPLES_OK = 2;    // rows ('2' reply)
inline constexpr int DBRES_TUPLES_PART = 3;  // rows, not all evaluated ('4')
inline constexpr int DBRES_BAD_REPLY = 4;    // engine error or unreadable reply
inline constexpr int DBRES_REFUSED = 5;      // the parser refused the SQL text

struct DBCONNECTION {
  int status = DBCONN_FAILED;
  int32_t conn_id = 0;
  std::string dbname;  // upper case
  std::string error;   // any length: no fixed buffer to overflow
};

struct DBRESULT {
  int status = DBRES_COMMAND_OK;
  std::string error;  // empty unless status 4 or 5
  RESDATA data;       // rows of a '2'/'4' reply; a '3' reply's count in rows
};

struct DBRESULTFree {
  void operator()(DBRESULT* result) const;
};
using DBRESULTPTR = std::unique_ptr<DBRESULT, DBRESULTFree>;

// ---------------------------------------------------------------------------
// Transport

// Hands the message buffer to the engine entry. An empty message reports
// "DBsend: No data to send\n", a damaged one (a token too long for its
// length field) "DBsend: Message damaged (token too long)\n"; both set
// status 6 and fail.
[[nodiscard]] int DBsend(DBCONNECTION* conn);

// Gives the engine's reply without copying it: *reply points into the reply
// buffer and stays valid until the next message is sent. An empty reply
// reports "DBrecv: No data received\n", sets status 6 and fails.
[[nodiscard]] int DBrecv(DBCONNECTION* conn, const unsigned char** reply, int* length);

// ---------------------------------------------------------------------------
// The engine

// Starts the engine in this process (Tarvic1_Init of engine/start.h, whose
// rules hold): `engine_name` empty or not, `default_db` the database made
// sure of. Returns 0 when the engine could not be started.
[[nodiscard]] int DBCLIENT_StartEngine(const char* engine_name, const char* default_db);

// Between these two calls SIGINT asks the running statement to stop
// instead of ending the process (engine/types/interrupt.h). The second
// returns 1 when a stop was asked for meanwhile.
void DBCLIENT_ArmInterrupt();
[[nodiscard]] int DBCLIENT_DisarmInterrupt();

// 1 when the user asked the running statement to stop.
[[nodiscard]] int DBCLIENT_InterruptRequested();

// ---------------------------------------------------------------------------
// Connection calls. A failing DBsend or DBrecv inside them ends the process
// with exit status 1.

// Connects to the database `name` (created first when `create` is set).
// Always returns a handle; its status tells whether the connect worked and
// its error text why not. A null name: "(DBconnect) Database name missing\n".
std::unique_ptr<DBCONNECTION> DBconnect(const char* name, int create);

// Sends DISCONNECT; the reply is not read.
void DBdisconnect(DBCONNECTION* conn);

// Drops the connection's database, then disconnects.
[[nodiscard]] int DBdropdb(DBCONNECTION* conn);

// Disconnects and connects again to the same database.
[[nodiscard]] int DBreset(DBCONNECTION* conn);

// ---------------------------------------------------------------------------
// Statement calls. Both always return a result; a failing DBsend or DBrecv
// ends the process with exit status 1.

// Parses `sql` (";" is appended when it does not end with one) and runs it.
// A refused statement gives status 5 and sends nothing.
DBRESULTPTR DBexec(DBCONNECTION* conn, const char* sql);

// Runs the message built beforehand with the message builder.
DBRESULTPTR DBexecmsg(DBCONNECTION* conn);

// A statement parsed once (DBCLIENT_Prepare), so that a caller can read
// what it asks of the engine and then run it without lexing or parsing it
// again (DBCLIENT_ExecPrepared).
struct DBPREPARED {
  bool refused = false;                // the parser refused the text
  std::string error;                   // its message, when refused
  std::vector<unsigned char> message;  // the command message, when not
  bool damaged = false;                // a token did not fit its length field
};

// Parses `sql` as DBexec does (";" appended when it does not end with one)
// without sending it. Fails when the parser refused the text; the message
// buffer holds what the parse wrote either way.
[[nodiscard]] int DBCLIENT_Prepare(const char* sql, DBPREPARED* out);

// Runs a prepared statement as DBexec runs its text: a refused one gives
// status 5 with the parser's message and sends nothing.
DBRESULTPTR DBCLIENT_ExecPrepared(DBCONNECTION* conn, const DBPREPARED& prepared);

// Parses a reply into `result`, which starts with status 1 and an empty
// error text. Exposed for tests; DBexec and DBexecmsg use it.
void DBCLIENT_ParseReply(const unsigned char* reply, int length, DBRESULT* result);

// ---------------------------------------------------------------------------
// Result accessors

int DBresult_status(const DBRESULT* result);
// The error text with "\n" appended unless it already ends with one.
std::string DBresult_error(const DBRESULT* result);
std::string DBconn_error(const DBCONNECTION* conn);
int DBresult_rows(const DBRESULT* result);  // or the count of a '3' reply
int DBresult_cols(const DBRESULT* result);
// The column's type code; 0 for a column outside the result.
int DBresult_type(const DBRESULT* result, int column);
// CHARACTER 0, BINARY 1, SMALLINT 2, INTEGER 3, FLOAT 4, TIME 5, DATE 6,
// TIMESTAMP 7; -1 for any other code.
int DBresult_typeid(const DBRESULT* result, int column);
// The cell as held in the result (see engine/types/resdata.h); null for a
// cell without value or outside the result.
const unsigned char* DBresult_cell(const DBRESULT* result, int row, int column);

// The cell as text: CHARACTER as it is; the other types formatted once into
// the result's text overlay (FLOAT with as many decimals as its magnitude
// leaves room for, trailing zeros removed; DATE "YYYY-MM-DD", TIME
// "HH:MM:SS", TIMESTAMP "YYYY-MM-DD-HH.MM.SS.UUUUUU"; BINARY escaped: a
// printable byte other than "$" as it is, "$" as "$$", a lone unprintable
// byte as "$" and two hex digits, a run of unprintable bytes as 0xA7, two
// hex digits per byte, 0xA7). "<datatype unknown>" for another type code;
// "" for a cell without value or outside the result. The text lives as long
// as the result.
const char* DBresult_value(DBRESULT* result, int row, int column);

// The same text, made anew for the caller and not kept: for reading a large
// result once, whose kept texts could take more memory than its cells.
std::string DBresult_text(const DBRESULT* result, int row, int column);

// Copies the typed value into the caller's variable: CHARACTER(1) one byte
// (a byte 0 or 1 becomes '0' or '1'), other CHARACTER the text with its
// zero, SMALLINT 2 bytes, INTEGER and DATE 4, FLOAT 8, TIME 3, TIMESTAMP 12,
// BINARY its 16-bit length and that many bytes. A cell without value or
// outside the result copies nothing. An unknown type code reports
// "(DBfillbinary) Unknown datatype!\n" and ends the process with status 1.
// REQUIRES: `variable` has room for the column's value.
void DBfillbinary(const DBRESULT* result, void* variable, int row, int column);

// Releases the result data set and the result.
void DBresult_free(DBRESULTPTR result);

// Sets the Conn_Id counter back to 0. Only tests call it.
void DBCLIENT_ResetForTest();
