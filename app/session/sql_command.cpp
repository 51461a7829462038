// sql_command.cpp: the generic SQL command.
#include "app/session/sql_command.h"

#include <cstdio>
#include <string>

#include "app/base/console.h"
#include "app/base/database.h"
#include "app/container/app_state.h"

namespace {
constexpr char kSqlPrompt[] = "# SQL-command? ";
constexpr int kMaxSql = 160;  // bytes of one statement
constexpr int kMinSql = 1;
constexpr char kEcho[] = "%s\n";
constexpr char kNotAllRows[] = "not all rows evaluated!\n";
constexpr char kRolledBack[] = "open transaction rolled back!\n";
constexpr char kNotAllowed[] = "sql-command not allowed (kaspo needs %s '%s')!\n";
constexpr char kInterrupted[] = "sql-command interrupted!\n";

// Follows the transaction the user's statements opened. The handle's
// BEGIN-stack does not see these statements, so the item commands would
// send a BEGIN of their own into it and fail; it must not outlive "g".
void TrackTransaction(DBSTMTKIND kind, bool* open) {
  if (kind == DBSTMT_BEGIN) *open = true;
  if (kind == DBSTMT_ABORT || kind == DBSTMT_SETDATABASE) *open = false;
  if (kind == DBSTMT_COMMIT) {
    *open = false;
    APP_State().changed = true;
  }
}

// Refuses, with its message, a statement that would end the program (and
// lose the unsaved container), leave the item commands without their
// database, tables or indexes, or change what Kaspo's own tables are: an
// index of their own (a unique one refuses rows that a container holds and
// export and delete need) or a table kind that writes files and a redo log
// to the engine's directory (SET TABLE ... STATIC/SECURE). Kaspo's own
// tables and indexes are those APPDB_IsOwnObject names. A statement that
// could not be prepared has no kind and is left to the execute and its
// messages. Returns 1 when it refused.
int Refused(const DBSTATEMENT& statement) {
  const char* kind = nullptr;
  std::string name = APPDB_DATABASE;
  switch (statement.kind) {
    case DBSTMT_STOPDATABASE:
    case DBSTMT_DROPDATABASE:
    case DBSTMT_DISCONNECT: kind = "database"; break;
    case DBSTMT_CONNECT:
    case DBSTMT_SETDATABASE:
      if (statement.name != APPDB_DATABASE) kind = "database";
      break;
    case DBSTMT_DROPTABLE:
    case DBSTMT_DROPINDEX:
      name = statement.name;
      if (APPDB_IsOwnObject(name)) kind = statement.kind == DBSTMT_DROPTABLE ? "table" : "index";
      break;
    case DBSTMT_CREATEINDEX:
    case DBSTMT_SETTABLE:
      name = statement.table;
      if (APPDB_IsOwnObject(name)) kind = "table";
      break;
    default: break;
  }
  if (kind == nullptr) return 0;
  CONSOLE_Error(kNotAllowed, kind, name.c_str());
  return 1;
}

void RunStatement(const std::string& sql, bool* open) {
  // From its echo on the statement runs: Ctrl-C stops it, not the program.
  APPDB_AllowInterrupt();
  CONSOLE_Print(kEcho, sql.c_str());
  // Shown before a long statement starts, also when the output is no
  // terminal.
  std::fflush(CONSOLE_Get().out);
  int rows = 0;
  // Parsed once: what the refusal reads is what the execute sends.
  DBSTATEMENT statement;
  (void)DBHANDLE_Prepare(sql.c_str(), &statement);
  const bool refused = Refused(statement);
  const bool done = !refused && APPDB_ExecPrint(statement, &rows);
  const bool interrupted = APPDB_EndInterrupt();
  if (done) {
    if (rows < 0) CONSOLE_Print(kNotAllRows);
    // Done means the engine ran it, so its kind is what the engine did.
    TrackTransaction(statement.kind, open);
  } else if (!refused && interrupted) {
    CONSOLE_Error(kInterrupted);
  } else if (!refused) {
    APPDB_PrintError();
  }
}
}  // namespace

void SQLCMD_Run() {
  // MAX set here must not cut the rows the item commands read later.
  int max_rows = 0;
  const bool have_max = APPDB_ReadMax(&max_rows);
  std::string sql;
  bool open = false;
  while (ask_string(kSqlPrompt, &sql, kMaxSql, kMinSql)) RunStatement(sql, &open);
  if (open && APPDB_AbortOpen()) CONSOLE_Print(kRolledBack);
  if (have_max) (void)APPDB_SetMax(max_rows);
}
