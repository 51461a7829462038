// dbhandle.cpp: the handle, the BEGIN-stack and the execute calls; the
// collected error text is dbhandle_errors.cpp, the result accessors
// dbhandle_results.cpp.
#include "records/dbhandle.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "client/message.h"
#include "client/parser.h"
#include "engine/types/tokens.h"
#include "platform/system.h"
#include "platform/terminal.h"
#include "records/keygen.h"

namespace {

constexpr char kConnectFailed[] = "Connection to TARVIC1-database '%s' failed:\n";
constexpr char kConnectFailedNoName[] = "Connection to TARVIC1-database failed:\n";
constexpr char kIndented[] = "  %s";
constexpr char kErrorLine[] = "Error: %s";
constexpr char kNoConnection[] = "(DBHANDLE) No connection\n";
constexpr char kBeginFailed[] = "BEGIN command failed.\n";
constexpr char kBeginNoResult[] = "BEGIN command failed:\n  %s";
constexpr char kEndFailed[] = "END command failed.\n";
constexpr char kEndNoResult[] = "END command failed:\n  %s";
constexpr char kUnderflow[] = "BEGIN-stack underflow (too many dbends).\n";
constexpr char kCommitNoBegin[] = "COMMIT command without BEGIN";
constexpr char kCommitFailed[] = "COMMIT command failed.\n";
constexpr char kCommitNoResult[] = "COMMIT command failed:\n  %s";
constexpr char kRollbackNoBegin[] = "ROLLBACK command without BEGIN";
constexpr char kRollbackFailed[] = "ROLLBACK command failed.\n";
constexpr char kRollbackNoResult[] = "ROLLBACK command failed:\n  %s";
constexpr char kSystemVariable[] = "DBSYS";

// The three error lines of a call; each may hold one %s for `arg`.
struct WORDING {
  const char* bad;
  const char* fatal;
  const char* nonfatal;
};

constexpr WORDING kExec1Wording = {"BAD RESPONSE to dbexec1 command.\n",
                                   "FATAL ERROR occured in dbexec1 command.\n",
                                   "NONFATAL ERROR occured in dbexec1 command.\n"};
constexpr WORDING kExecWording = {"BAD RESPONSE to '%s' command.\n",
                                  "FATAL ERROR occured in '%s' command.\n",
                                  "NONFATAL ERROR occured in '%s' command.\n"};
constexpr WORDING kBinWording = {"BAD RESPONSE to dbbinexec1 command.\n",
                                 "FATAL ERROR occured in dbbinexec1 command.\n",
                                 "NONFATAL ERROR occured in dbbinexec1 command.\n"};
constexpr WORDING kStatementWording = {"BAD RESPONSE to %s command.\n",
                                       "FATAL ERROR occured in %s command.\n",
                                       "NONFATAL ERROR occured in %s command.\n"};

constexpr char kExec1NoResult[] = "dbexec1 command failed:\n  %s";
constexpr char kExecNoResult[] = "(dbexec) '%s' command failed:\n  %s";
constexpr char kBinNoResult[] = "dbbinexec1 command failed:\n  %s";
constexpr char kDeclareFailed[] = "DECLARE CURSOR command failed (%s/%s).\n";
constexpr char kDeclareNoResult[] = "DECLARE CURSOR command failed:\n  %s";
constexpr char kCloseFailed[] = "CLOSE CURSOR command failed %s.\n";
constexpr char kCloseNoResult[] = "CLOSE CURSOR command failed: %s\n";
constexpr char kDeleteNoResult[] = "DELETE command failed for table '%s':\n  %s";
constexpr char kInsertNoResult[] = "INSERT command failed for table '%s':\n  %s";
constexpr char kUpdateNoResult[] = "UPDATE command failed for table '%s':\n  %s";
constexpr char kCharsAfterSemicolon[] = "syntax error in SQL-command (characters after ';')!\n";
constexpr char kSqlNoResult[] = "%s: an error occurred (no result)\n";
constexpr char kNotAllEvaluated[] = "not all results evaluated!\n";
constexpr char kExecuted[] = "sql-command successfully executed\n";
constexpr char kEvaluated[] = "sql-command successfully evaluated %d items\n";
constexpr char kSeparator[] = ", ";
constexpr char kDeleteAllNoResult[] = "DELETEALL command failed for table '%s':\n  %s";

// The command letters of the statements a kind names; every other letter
// is DBSTMT_OTHER.
struct LETTERKIND {
  char letter;
  DBSTMTKIND kind;
};
constexpr LETTERKIND kKinds[] = {
    {'1', DBSTMT_CONNECT},     {'2', DBSTMT_DISCONNECT},  {'4', DBSTMT_DROPDATABASE},
    {'6', DBSTMT_DROPTABLE},   {'9', DBSTMT_DROPINDEX},   {'J', DBSTMT_BEGIN},
    {'K', DBSTMT_COMMIT},      {'M', DBSTMT_ABORT},       {'V', DBSTMT_STOPDATABASE},
    {'X', DBSTMT_SETDATABASE}, {'7', DBSTMT_CREATEINDEX}, {'8', DBSTMT_CREATEINDEX},
    {'Q', DBSTMT_SETTABLE},    {'U', DBSTMT_SETTABLE},
};

// A name token at *at: 'a', its u16 length (with the zero), the text.
// Moves *at past it; fails, changing nothing, when there is none.
int NameToken(const unsigned char* msg, int length, int* at, std::string* out_name) {
  const int p = *at;
  if (p + 3 > length || msg[p] != DBTK_IDENT) return 0;
  const int size = msg[p + 1] | (msg[p + 2] << 8);
  if (size < 1 || p + 3 + size > length) return 0;
  const char* name = reinterpret_cast<const char*>(msg + p + 3);
  out_name->assign(name, strnlen(name, static_cast<size_t>(size - 1)));
  *at = p + 3 + size;
  return 1;
}

DBSTMTKIND KindOf(char letter) {
  if (letter == 0) return DBSTMT_NONE;
  for (const LETTERKIND& k : kKinds) {
    if (k.letter == letter) return k.kind;
  }
  return DBSTMT_OTHER;
}

// ---------------------------------------------------------------------------
// Requests

bool Connected(const DBHANDLE* handle) {
  return handle->conn != nullptr && handle->conn->status == DBCONN_OK;
}

// What the connection says about itself, for the no-result messages.
std::string ConnText(const DBHANDLE* handle) {
  return handle->conn != nullptr ? DBconn_error(handle->conn.get()) : kNoConnection;
}

// One request; no result when the handle has no working connection.
MYDB_RESULT Request(DBHANDLE* handle, const char* text) {
  if (!Connected(handle)) return nullptr;
  return DBexec(handle->conn.get(), text);
}

MYDB_RESULT RequestMessage(DBHANDLE* handle) {
  if (!Connected(handle)) return nullptr;
  return DBexecmsg(handle->conn.get());
}

int MapStatus(const DBRESULT* result) {
  switch (DBresult_status(result)) {
    case 0: return MYDB_EMPTY_QUERY;
    case DBRES_COMMAND_OK: return MYDB_COMMAND_OK;
    case DBRES_TUPLES_OK: return MYDB_TUPLES_OK;
    case DBRES_TUPLES_PART: return MYDB_TUPLES_PARTIAL;
    case DBRES_REFUSED: return MYDB_NONFATAL_ERROR;
    case 6: return MYDB_FATAL_ERROR;
    default: return MYDB_BAD_RESPONSE;
  }
}

bool IsError(int status) {
  return status == MYDB_BAD_RESPONSE || status == MYDB_FATAL_ERROR || status == MYDB_NONFATAL_ERROR;
}

// The status rule shared by every execute call.
[[nodiscard]] int CheckStatus(const DBRESULT* result, const WORDING& wording, const char* arg,
                              int* out_status) {
  const int status = MapStatus(result);
  *out_status = status;
  const char* line = status == MYDB_BAD_RESPONSE     ? wording.bad
                     : status == MYDB_FATAL_ERROR    ? wording.fatal
                     : status == MYDB_NONFATAL_ERROR ? wording.nonfatal
                                                     : nullptr;
  if (line == nullptr) return 1;
  dberror(line, arg);
  dberror(kErrorLine, DBresult_error(result).c_str());
  return 0;
}

// Runs `text` (the built message when null) and applies the status rule.
// *out_none tells a call that got no result at all.
[[nodiscard]] int Execute(DBHANDLE* handle, const char* text, const WORDING& wording,
                          const char* arg, MYDB_RESULT* out_result, int* out_status,
                          bool* out_none) {
  DBHANDLE_ClearError();
  *out_status = MYDB_BAD_RESPONSE;
  MYDB_RESULT result = text != nullptr ? Request(handle, text) : RequestMessage(handle);
  *out_none = result == nullptr;
  if (result == nullptr) return 0;
  const int ok = CheckStatus(result.get(), wording, arg, out_status);
  if (out_result != nullptr) *out_result = std::move(result);
  return ok;
}

// ---------------------------------------------------------------------------
// Handle names

// The database of "system/database" (the pattern "%[^/]/%s": a system
// part of at least one character, a slash, then a word), else "" for a
// name ending in "/", else the whole name.
bool SplitName(const std::string& name, std::string* database) {
  const size_t slash = name.find('/');
  if (slash == std::string::npos || slash == 0) return false;
  size_t begin = slash + 1;
  while (begin < name.size() && std::isspace(static_cast<unsigned char>(name[begin]))) ++begin;
  size_t end = begin;
  while (end < name.size() && !std::isspace(static_cast<unsigned char>(name[end]))) ++end;
  if (end == begin) return false;
  database->assign(name, begin, end - begin);
  return true;
}

std::string DatabasePart(const std::string& name) {
  std::string database;
  if (SplitName(name, &database)) return database;
  if (!name.empty() && name.back() == '/') return "";
  return name;
}

std::string HandleName(const char* name) {
  std::string full = name != nullptr ? name : "";
  std::string database;
  std::string system;
  // An empty DBSYS would give a name that starts with "/", which names no
  // database; it counts as unset.
  if (!SplitName(full, &database) && PLATFORM_GetEnv(kSystemVariable, &system) && !system.empty()) {
    full = system + "/" + full;
  }
  if (full.size() > static_cast<size_t>(DBHANDLE_NAMEMAX)) full.resize(DBHANDLE_NAMEMAX);
  return full;
}

[[nodiscard]] int Connect(DBHANDLE* handle) {
  DBHANDLE_ClearError();
  const std::string database = DatabasePart(handle->name);
  handle->conn = DBconnect(database.c_str(), 0);
  if (handle->conn->status != DBCONN_OK) {
    if (database.empty()) {
      dberror(kConnectFailedNoName);
    } else {
      dberror(kConnectFailed, database.c_str());
    }
    dberror(kIndented, DBconn_error(handle->conn.get()).c_str());
    return 0;
  }
  return 1;
}

// Sends the closing statement of a transaction at the outermost level.
[[nodiscard]] int SendClosing(DBHANDLE* handle, const char* statement, const char* failed,
                              const char* no_result) {
  MYDB_RESULT result = Request(handle, statement);
  if (result == nullptr) {
    const std::string text = ConnText(handle);
    dberror(no_result, text.c_str());
    dberror(kErrorLine, text.c_str());
    return 0;
  }
  // An error reply means the engine did not do it; calling that a success
  // would let the caller go on as if its changes were committed.
  if (IsError(MapStatus(result.get()))) {
    dberror("%s", failed);
    dberror(kErrorLine, DBresult_error(result.get()).c_str());
    return 0;
  }
  return 1;
}

[[nodiscard]] int CloseTransaction(DBHANDLE* handle, const char* statement, const char* no_begin,
                                   const char* failed, const char* no_result) {
  DBHANDLE_ClearError();
  DBHANDLESTATE& s = DBHANDLE_State();
  if (s.begin_depth < 1) {
    dberror("%s", no_begin);
    return 0;
  }
  if (s.begin_depth > 1) return 1;
  if (!SendClosing(handle, statement, failed, no_result)) return 0;
  s.begin_depth = 0;
  return 1;
}

}  // namespace

DBHANDLESTATE& DBHANDLE_State() {
  static DBHANDLESTATE state;
  return state;
}

// ---------------------------------------------------------------------------
// The engine

int DBHANDLE_StartEngine(const char* engine_name, const char* default_db) {
  return DBCLIENT_StartEngine(engine_name, default_db);
}

void DBHANDLE_ArmInterrupt() { DBCLIENT_ArmInterrupt(); }

int DBHANDLE_DisarmInterrupt() { return DBCLIENT_DisarmInterrupt(); }

// ---------------------------------------------------------------------------
// Handle and transactions

int DBHANDLE_Init(DBHANDLE* handle, const char* name) {
  KEYGEN_SetInterval(KEYGEN_RESEEDDRAWS);
  KEYGEN_Reseed();
  handle->name = HandleName(name);
  handle->conn.reset();
  return Connect(handle);
}

int dbbegin(DBHANDLE* handle) {
  DBHANDLE_ClearError();
  DBHANDLESTATE& s = DBHANDLE_State();
  const int old_depth = s.begin_depth++;
  if (old_depth != 0) return 1;
  MYDB_RESULT result = Request(handle, "BEGIN");
  if (result == nullptr) {
    // The one reconnect: the handle keeps its name, so connecting again
    // reaches the database it was made for.
    (void)Connect(handle);
    result = Request(handle, "BEGIN");
  }
  // A BEGIN that did not open a transaction must not count: the next level
  // would otherwise believe one is open and never send its own BEGIN.
  if (result == nullptr) {
    dberror(kBeginNoResult, ConnText(handle).c_str());
    --s.begin_depth;
    return 0;
  }
  if (DBresult_status(result.get()) != DBRES_COMMAND_OK) {
    dberror(kBeginFailed);
    dberror(kErrorLine, DBresult_error(result.get()).c_str());
    --s.begin_depth;
    return 0;
  }
  return 1;
}

int DB_Begin(DBHANDLE* handle) { return dbbegin(handle); }

int dbend(DBHANDLE* handle) {
  DBHANDLE_ClearError();
  DBHANDLESTATE& s = DBHANDLE_State();
  --s.begin_depth;
  if (s.begin_depth < 0) {
    dberror(kUnderflow);
    return 0;
  }
  if (s.begin_depth > 0) return 1;
  return SendClosing(handle, "END", kEndFailed, kEndNoResult);
}

int DB_Commit(DBHANDLE* handle) {
  return CloseTransaction(handle, "COMMIT", kCommitNoBegin, kCommitFailed, kCommitNoResult);
}

int DB_RollBack(DBHANDLE* handle) {
  return CloseTransaction(handle, "ABORT", kRollbackNoBegin, kRollbackFailed, kRollbackNoResult);
}

// ---------------------------------------------------------------------------
// Schema calls

namespace {

[[nodiscard]] int SchemaCall(DBHANDLE* handle, const std::string& text, int wanted) {
  MYDB_RESULT result;
  int status = MYDB_BAD_RESPONSE;
  return dbexec1(handle, text.c_str(), &result, &status) && status == wanted;
}

}  // namespace

int DB_Table_Exists(DBHANDLE* handle, const char* name) {
  return SchemaCall(handle, "SHOW TABLE " + std::string(name) + ";", MYDB_TUPLES_OK);
}

int DB_Index_Exists(DBHANDLE* handle, const char* name) {
  return SchemaCall(handle, "SHOW INDEX " + std::string(name) + ";", MYDB_TUPLES_OK);
}

int DB_Create_Table(DBHANDLE* handle, const char* statement) {
  return SchemaCall(handle, statement, MYDB_COMMAND_OK);
}

int DB_Create_Index(DBHANDLE* handle, const char* statement) {
  return SchemaCall(handle, statement, MYDB_COMMAND_OK);
}

int DB_Drop_Table(DBHANDLE* handle, const char* name) {
  return SchemaCall(handle, "DROP TABLE " + std::string(name) + ";", MYDB_COMMAND_OK);
}

int DB_Drop_Index(DBHANDLE* handle, const char* name) {
  return SchemaCall(handle, "DROP INDEX " + std::string(name) + ";", MYDB_COMMAND_OK);
}

// ---------------------------------------------------------------------------
// Execute calls

int dbexec1(DBHANDLE* handle, const char* text, MYDB_RESULT* out_result, int* out_status) {
  bool none = false;
  if (Execute(handle, text, kExec1Wording, "", out_result, out_status, &none)) return 1;
  if (none) dberror(kExec1NoResult, ConnText(handle).c_str());
  return 0;
}

int dbexec(DBHANDLE* handle, const char* word, const char* text, MYDB_RESULT* out_result,
           int* out_status) {
  const std::string statement = std::string(word) + " " + text;
  bool none = false;
  if (Execute(handle, statement.c_str(), kExecWording, word, out_result, out_status, &none)) {
    return 1;
  }
  if (none) dberror(kExecNoResult, word, ConnText(handle).c_str());
  return 0;
}

int dbbinexec1(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status) {
  bool none = false;
  if (Execute(handle, nullptr, kBinWording, "", out_result, out_status, &none)) return 1;
  if (none) dberror(kBinNoResult, ConnText(handle).c_str());
  return 0;
}

int dbbinexec(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status, int loud) {
  if (loud) return dbbinexec1(handle, out_result, out_status);
  DBHANDLE_ClearError();
  *out_status = MYDB_BAD_RESPONSE;
  MYDB_RESULT result = RequestMessage(handle);
  if (result == nullptr) return 0;
  *out_status = MapStatus(result.get());
  if (out_result != nullptr) *out_result = std::move(result);
  return *out_status != MYDB_BAD_RESPONSE && *out_status != MYDB_FATAL_ERROR;
}

int DBHANDLE_Declare(DBHANDLE* handle, const char* cursor, const char* query, int* out_rows) {
  DBHANDLE_ClearError();
  *out_rows = 0;
  const std::string statement = std::string("DECLARE ") + cursor + " CURSOR FOR " + query;
  MYDB_RESULT result = Request(handle, statement.c_str());
  if (result == nullptr) {
    dberror(kDeclareNoResult, ConnText(handle).c_str());
    return 0;
  }
  if (MapStatus(result.get()) != MYDB_COMMAND_OK) {
    dberror(kDeclareFailed, cursor, query);
    dberror(kErrorLine, DBresult_error(result.get()).c_str());
    return 0;
  }
  *out_rows = DBresult_rows(result.get());
  return 1;
}

int dbdeclare(DBHANDLE* handle, const char* cursor, const char* query) {
  int rows = 0;
  return DBHANDLE_Declare(handle, cursor, query, &rows);
}

int dbclose(DBHANDLE* handle, const char* cursor) {
  DBHANDLE_ClearError();
  const std::string statement = std::string("CLOSE ") + cursor;
  MYDB_RESULT result = Request(handle, statement.c_str());
  if (result == nullptr) {
    dberror(kCloseNoResult, ConnText(handle).c_str());
    return 0;
  }
  if (MapStatus(result.get()) != MYDB_COMMAND_OK) {
    dberror(kCloseFailed, cursor);
    dberror(kErrorLine, DBresult_error(result.get()).c_str());
    return 0;
  }
  return 1;
}

namespace {

// The shape of dbdelete, dbinsert, dbupdate and dbdeleteall: the whole
// statement names itself in the error lines; without a result the status
// becomes MYDB_NONFATAL_ERROR.
[[nodiscard]] int TableStatement(DBHANDLE* handle, const std::string& statement, const char* table,
                                 const char* no_result, int* out_status) {
  bool none = false;
  if (Execute(handle, statement.c_str(), kStatementWording, statement.c_str(), nullptr, out_status,
              &none)) {
    return 1;
  }
  if (none) {
    dberror(no_result, table, ConnText(handle).c_str());
    *out_status = MYDB_NONFATAL_ERROR;
  }
  return 0;
}

}  // namespace

int dbdelete(DBHANDLE* handle, const char* table, const char* condition, int* out_status) {
  const std::string statement = std::string("DELETE FROM ") + table + " WHERE " + condition;
  return TableStatement(handle, statement, table, kDeleteNoResult, out_status);
}

int dbinsert(DBHANDLE* handle, const char* table, const char* text, int* out_status) {
  const std::string statement = std::string("INSERT INTO ") + table + " " + text;
  return TableStatement(handle, statement, table, kInsertNoResult, out_status);
}

int dbupdate(DBHANDLE* handle, const char* table, const char* text, int* out_status) {
  const std::string statement = std::string("UPDATE ") + table + " SET " + text;
  return TableStatement(handle, statement, table, kUpdateNoResult, out_status);
}

int dbdeleteall(DBHANDLE* handle, const char* table, int* out_status) {
  const std::string statement = std::string("DELETE FROM ") + table;
  return TableStatement(handle, statement, table, kDeleteAllNoResult, out_status);
}

// ---------------------------------------------------------------------------
// Single SQL statements

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The statement up to and including its first ";" (added when missing),
// newlines turned into blanks. Fails when anything but white space follows
// the ";".
[[nodiscard]] int CutStatement(const char* text, std::string* statement) {
  statement->clear();
  const char* p = text;
  for (; *p != '\0' && *p != ';'; ++p) statement->push_back(*p == '\n' ? ' ' : *p);
  statement->push_back(';');
  if (*p == '\0') return 1;
  for (++p; *p != '\0'; ++p) {
    if (!IsBlank(*p)) return 0;
  }
  return 1;
}

std::string TrimRight(const char* text) {
  std::string value = text != nullptr ? text : "";
  while (!value.empty() && IsBlank(value.back())) value.pop_back();
  return value;
}

// Prints the rows once, so their texts are made for the line and not kept
// (DBresult_text): kept, they could take more memory than the result. A
// stop the user asks for (DBHANDLE_ArmInterrupt) ends the printing; returns 0 then.
[[nodiscard]] int PrintRows(const DBRESULT* result, int status) {
  FILE* out = DBHANDLE_State().out;
  const int columns = DBresult_cols(result);
  std::string line;
  for (int c = 0; c < columns; ++c) {
    if (c > 0) line += kSeparator;
    const char* name = result->data.column_names[static_cast<size_t>(c)];
    line += name != nullptr ? name : "";
  }
  std::fprintf(out, "%s\n", line.c_str());
  for (int row = 0; row < DBresult_rows(result); ++row) {
    if (DBCLIENT_InterruptRequested()) return 0;
    line.clear();
    for (int c = 0; c < columns; ++c) {
      if (c > 0) line += kSeparator;
      line += PLATFORM_Printable(TrimRight(DBresult_text(result, row, c).c_str()));
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
  if (status == MYDB_TUPLES_PARTIAL) std::fputs(kNotAllEvaluated, out);
  return 1;
}

void PrintSuccess(const DBRESULT* result) {
  FILE* out = DBHANDLE_State().out;
  const int rows = DBresult_rows(result);
  if (rows <= 0) {
    std::fputs(kExecuted, out);
  } else {
    std::fprintf(out, kEvaluated, rows);
  }
  std::fflush(out);
}

}  // namespace

int dbexec_sql(DBHANDLE* handle, const char* text, MYDB_RESULT* out_result, int* out_count) {
  DBHANDLE_ClearError();
  DBHANDLESTATE& s = DBHANDLE_State();
  s.last_letter = 0;
  *out_count = 0;
  std::string statement;
  if (!CutStatement(text, &statement)) {
    dberror(kCharsAfterSemicolon);
    return 0;
  }
  MYDB_RESULT result = Request(handle, statement.c_str());
  if (result == nullptr) {
    dberror(kSqlNoResult, statement.c_str());
    return 0;
  }
  // A refused statement was never sent; the message buffer then holds a
  // partial message that says nothing about the engine.
  if (DBresult_status(result.get()) != DBRES_REFUSED && MESSAGE_Length() > 0) {
    s.last_letter = static_cast<char>(MESSAGE_Data()[0]);
  }
  const int status = MapStatus(result.get());
  const bool printing = out_result == nullptr;
  if (printing && (status == MYDB_TUPLES_OK || status == MYDB_TUPLES_PARTIAL) &&
      !PrintRows(result.get(), status)) {
    return 0;
  }
  int checked = status;
  if (!CheckStatus(result.get(), kStatementWording, statement.c_str(), &checked)) return 0;
  *out_count = DBHANDLE_SignedRows(result.get(), status);
  if (printing) {
    PrintSuccess(result.get());
  } else {
    *out_result = std::move(result);
  }
  return 1;
}

int DBHANDLE_Describe(const char* text, DBSTATEMENT* out) {
  *out = DBSTATEMENT{};
  std::string statement;
  if (!CutStatement(text, &statement)) return 0;
  std::vector<char> copy(statement.begin(), statement.end());
  copy.push_back('\0');
  DBquery_reset();
  std::string error;
  if (!PARSE_Statement(copy.data(), &error)) return 0;
  const unsigned char* msg = MESSAGE_Data();
  const int length = MESSAGE_Length();
  if (length < 1) return 0;
  out->kind = KindOf(static_cast<char>(msg[0]));
  int at = 1;
  (void)NameToken(msg, length, &at, &out->name);
  if (out->kind == DBSTMT_DROPTABLE || out->kind == DBSTMT_SETTABLE) out->table = out->name;
  // CREATE [UNIQUE] INDEX: the index name, then the table's.
  if (out->kind == DBSTMT_CREATEINDEX) (void)NameToken(msg, length, &at, &out->table);
  return 1;
}

int DBHANDLE_MapStatus(const DBRESULT* result) { return MapStatus(result); }

int DBHANDLE_SignedRows(const DBRESULT* result, int status) {
  if (status == MYDB_TUPLES_PARTIAL) return -DBresult_rows(result);
  if (status == MYDB_COMMAND_OK || status == MYDB_TUPLES_OK) return DBresult_rows(result);
  return 0;
}

char DBHANDLE_LastLetter() { return DBHANDLE_State().last_letter; }

DBSTMTKIND DBHANDLE_LastKind() { return KindOf(DBHANDLE_LastLetter()); }

void DBHANDLE_ResetForTest() { DBHANDLE_State() = DBHANDLESTATE{}; }
