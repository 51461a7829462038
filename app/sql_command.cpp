// sql_command.cpp: the generic SQL command.
#include "app/sql_command.h"

#include <string>

#include "app/console.h"
#include "app/database.h"

namespace {
constexpr char kSqlPrompt[] = "# SQL-command? ";
constexpr int kMaxSql = 160;  // bytes of one statement
constexpr int kMinSql = 1;
constexpr char kEcho[] = "%s\n";
constexpr char kNotAllRows[] = "not all rows evaluated!\n";
}  // namespace

void SQLCMD_Run() {
  std::string sql;
  while (ask_string(kSqlPrompt, &sql, kMaxSql, kMinSql)) {
    CONSOLE_Print(kEcho, sql.c_str());
    int rows = 0;
    // A failure has printed its collected error text already.
    if (APPDB_ExecPrint(sql, &rows) && rows < 0) CONSOLE_Print(kNotAllRows);
  }
}
