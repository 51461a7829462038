// sql_command.cpp: the generic SQL command.
#include "app/sql_command.h"

#include <string>

#include "app/app_state.h"
#include "app/console.h"
#include "app/database.h"

namespace {
constexpr char kSqlPrompt[] = "# SQL-command? ";
constexpr int kMaxSql = 160;  // bytes of one statement
constexpr int kMinSql = 1;
constexpr char kEcho[] = "%s\n";
constexpr char kNotAllRows[] = "not all rows evaluated!\n";
constexpr char kRolledBack[] = "open transaction rolled back!\n";

// Command letters of the statements that open or close a transaction.
constexpr char kBegin = 'J';
constexpr char kCommit = 'K';  // COMMIT and END
constexpr char kAbort = 'M';
constexpr char kSetDatabase = 'X';  // undoes an open transaction

// Follows the transaction the user's statements opened. The handle's
// BEGIN-stack does not see these statements, so the item commands would
// send a BEGIN of their own into it and fail; it must not outlive "g".
void TrackTransaction(char letter, bool* open) {
  if (letter == kBegin) *open = true;
  if (letter == kAbort || letter == kSetDatabase) *open = false;
  if (letter == kCommit) {
    *open = false;
    APP_State().changed = true;
  }
}
}  // namespace

void SQLCMD_Run() {
  std::string sql;
  bool open = false;
  while (ask_string(kSqlPrompt, &sql, kMaxSql, kMinSql)) {
    CONSOLE_Print(kEcho, sql.c_str());
    int rows = 0;
    // A failure has printed its collected error text already.
    if (!APPDB_ExecPrint(sql, &rows)) continue;
    if (rows < 0) CONSOLE_Print(kNotAllRows);
    TrackTransaction(APPDB_LastCommand(), &open);
  }
  if (open && APPDB_AbortOpen()) CONSOLE_Print(kRolledBack);
}
