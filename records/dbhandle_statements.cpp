// dbhandle_statements.cpp: single SQL statements, prepared once (cut at
// their ";", parsed, and read for what they ask of the engine) and run
// from that prepared form, printing their rows when asked to.
#include <cstdio>
#include <string>

#include "engine/types/token_reader.h"
#include "engine/types/tokens.h"
#include "platform/terminal.h"
#include "records/dbhandle.h"
#include "records/internal/dbhandle_shared.h"

namespace {

constexpr char kCharsAfterSemicolon[] = "syntax error in SQL-command (characters after ';')!\n";
constexpr char kSqlNoResult[] = "%s: an error occurred (no result)\n";
constexpr char kNotAllEvaluated[] = "not all results evaluated!\n";
constexpr char kExecuted[] = "sql-command successfully executed\n";
constexpr char kEvaluated[] = "sql-command successfully evaluated %d items\n";
constexpr char kSeparator[] = ", ";

// The command letters of the statements a kind names; every other letter
// is DBSTMT_OTHER.
struct LETTERKIND {
  unsigned char letter;
  DBSTMTKIND kind;
};
constexpr LETTERKIND kKinds[] = {
    {'1', DBSTMT_CONNECT},     {'2', DBSTMT_DISCONNECT},  {'4', DBSTMT_DROPDATABASE},
    {'6', DBSTMT_DROPTABLE},   {'9', DBSTMT_DROPINDEX},   {'J', DBSTMT_BEGIN},
    {'K', DBSTMT_COMMIT},      {'M', DBSTMT_ABORT},       {'V', DBSTMT_STOPDATABASE},
    {'X', DBSTMT_SETDATABASE}, {'7', DBSTMT_CREATEINDEX}, {'8', DBSTMT_CREATEINDEX},
    {'Q', DBSTMT_SETTABLE},    {'U', DBSTMT_SETTABLE},
};

DBSTMTKIND KindOf(unsigned char letter) {
  for (const LETTERKIND& k : kKinds) {
    if (k.letter == letter) return k.kind;
  }
  return DBSTMT_OTHER;
}

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

// The kind and the names of a parsed statement, read from its message: the
// letter, then the name token that follows it, if any; CREATE [UNIQUE]
// INDEX names its table in a second one.
void ReadKindAndNames(const DBPREPARED& prepared, DBSTATEMENT* out) {
  const unsigned char* msg = prepared.message.data();
  const int length = static_cast<int>(prepared.message.size());
  unsigned char letter = DBTK_END;
  (void)TOKEN_Kind(msg, length, 0, &letter);
  out->kind = KindOf(letter);
  std::string detail;
  const int next = TOKEN_ExpectText(msg, length, TOKEN_FIRST, DBTK_IDENT, &out->name, &detail);
  if (out->kind == DBSTMT_DROPTABLE || out->kind == DBSTMT_SETTABLE) out->table = out->name;
  if (out->kind == DBSTMT_CREATEINDEX && next != TOKEN_FAILED) {
    (void)TOKEN_ExpectText(msg, length, next, DBTK_IDENT, &out->table, &detail);
  }
}

std::string TrimRight(const char* text) {
  std::string value = text != nullptr ? text : "";
  while (!value.empty() && IsBlank(value.back())) value.pop_back();
  return value;
}

std::string ColumnNames(const DBRESULT* result) {
  std::string line;
  for (int c = 0; c < DBresult_cols(result); ++c) {
    if (c > 0) line += kSeparator;
    const char* name = result->data.column_names[static_cast<size_t>(c)];
    line += name != nullptr ? name : "";
  }
  return line;
}

// Prints the rows once, so their texts are made for the line and not kept
// (DBresult_text): kept, they could take more memory than the result. A
// stop the user asks for (DBHANDLE_ArmInterrupt) ends the printing;
// returns 0 then.
[[nodiscard]] int PrintRows(const DBRESULT* result, int status) {
  FILE* out = DBHANDLE_State().out;
  std::fprintf(out, "%s\n", ColumnNames(result).c_str());
  std::string line;
  for (int row = 0; row < DBresult_rows(result); ++row) {
    if (DBCLIENT_InterruptRequested()) return 0;
    line.clear();
    for (int c = 0; c < DBresult_cols(result); ++c) {
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

bool HasRows(int status) { return status == MYDB_TUPLES_OK || status == MYDB_TUPLES_PARTIAL; }

}  // namespace

int DBHANDLE_Prepare(const char* text, DBSTATEMENT* out) {
  *out = DBSTATEMENT{};
  out->trailing = !CutStatement(text, &out->text);
  if (out->trailing) return 0;
  if (!DBCLIENT_Prepare(out->text.c_str(), &out->prepared)) return 0;
  ReadKindAndNames(out->prepared, out);
  return 1;
}

int DBHANDLE_ExecStatement(DBHANDLE* handle, const DBSTATEMENT& statement, MYDB_RESULT* out_result,
                           int* out_count) {
  DBHANDLE_ClearError();
  *out_count = 0;
  if (statement.trailing) {
    dberror(kCharsAfterSemicolon);
    return 0;
  }
  MYDB_RESULT result = DBHANDLE_RequestPrepared(handle, statement.prepared);
  if (result == nullptr) {
    dberror(kSqlNoResult, statement.text.c_str());
    return 0;
  }
  const int status = DBHANDLE_MapStatus(result.get());
  const bool printing = out_result == nullptr;
  if (printing && HasRows(status) && !PrintRows(result.get(), status)) return 0;
  int checked = status;
  if (!DBHANDLE_CheckStatus(result.get(), DBHANDLE_STATEMENTWORDING, statement.text.c_str(),
                            &checked)) {
    return 0;
  }
  *out_count = DBHANDLE_SignedRows(result.get(), status);
  if (printing) {
    PrintSuccess(result.get());
  } else {
    *out_result = std::move(result);
  }
  return 1;
}

int dbexec_sql(DBHANDLE* handle, const char* text, MYDB_RESULT* out_result, int* out_count) {
  DBSTATEMENT statement;
  // A statement that cannot be prepared still runs: the execute reports
  // why it was refused.
  (void)DBHANDLE_Prepare(text, &statement);
  return DBHANDLE_ExecStatement(handle, statement, out_result, out_count);
}
