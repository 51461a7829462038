// dbhandle_exec.cpp: the schema calls and the execute calls of the
// handle, one request each under the status rule they share.
#include <string>

#include "records/dbhandle.h"
#include "records/internal/dbhandle_shared.h"

namespace {

constexpr DBHANDLE_WORDING kExec1Wording = {"BAD RESPONSE to dbexec1 command.\n",
                                            "FATAL ERROR occured in dbexec1 command.\n",
                                            "NONFATAL ERROR occured in dbexec1 command.\n"};
constexpr DBHANDLE_WORDING kExecWording = {"BAD RESPONSE to '%s' command.\n",
                                           "FATAL ERROR occured in '%s' command.\n",
                                           "NONFATAL ERROR occured in '%s' command.\n"};
constexpr DBHANDLE_WORDING kBinWording = {"BAD RESPONSE to dbbinexec1 command.\n",
                                          "FATAL ERROR occured in dbbinexec1 command.\n",
                                          "NONFATAL ERROR occured in dbbinexec1 command.\n"};

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
constexpr char kDeleteAllNoResult[] = "DELETEALL command failed for table '%s':\n  %s";

// Runs `text` (the built message when null) and applies the status rule.
// *out_none tells a call that got no result at all.
[[nodiscard]] int Execute(DBHANDLE* handle, const char* text, const DBHANDLE_WORDING& wording,
                          const char* arg, MYDB_RESULT* out_result, int* out_status,
                          bool* out_none) {
  DBHANDLE_ClearError();
  *out_status = MYDB_BAD_RESPONSE;
  MYDB_RESULT result =
      text != nullptr ? DBHANDLE_Request(handle, text) : DBHANDLE_RequestMessage(handle);
  *out_none = result == nullptr;
  if (result == nullptr) return 0;
  const int ok = DBHANDLE_CheckStatus(result.get(), wording, arg, out_status);
  if (out_result != nullptr) *out_result = std::move(result);
  return ok;
}

[[nodiscard]] int SchemaCall(DBHANDLE* handle, const std::string& text, int wanted) {
  MYDB_RESULT result;
  int status = MYDB_BAD_RESPONSE;
  return dbexec1(handle, text.c_str(), &result, &status) && status == wanted;
}

// A statement about a cursor that must come back command-OK.
[[nodiscard]] int CursorCall(DBHANDLE* handle, const std::string& statement, MYDB_RESULT* result,
                             const char* no_result) {
  DBHANDLE_ClearError();
  *result = DBHANDLE_Request(handle, statement.c_str());
  if (*result != nullptr) return DBHANDLE_MapStatus(result->get()) == MYDB_COMMAND_OK;
  dberror(no_result, DBHANDLE_ConnText(handle).c_str());
  return 0;
}

// The shape of dbdelete, dbinsert, dbupdate and dbdeleteall: the whole
// statement names itself in the error lines; without a result the status
// becomes MYDB_NONFATAL_ERROR.
[[nodiscard]] int TableStatement(DBHANDLE* handle, const std::string& statement, const char* table,
                                 const char* no_result, int* out_status) {
  bool none = false;
  if (Execute(handle, statement.c_str(), DBHANDLE_STATEMENTWORDING, statement.c_str(), nullptr,
              out_status, &none)) {
    return 1;
  }
  if (none) {
    dberror(no_result, table, DBHANDLE_ConnText(handle).c_str());
    *out_status = MYDB_NONFATAL_ERROR;
  }
  return 0;
}

}  // namespace

int DBHANDLE_CheckStatus(const DBRESULT* result, const DBHANDLE_WORDING& wording, const char* arg,
                         int* out_status) {
  const int status = DBHANDLE_MapStatus(result);
  *out_status = status;
  const char* line = status == MYDB_BAD_RESPONSE     ? wording.bad
                     : status == MYDB_FATAL_ERROR    ? wording.fatal
                     : status == MYDB_NONFATAL_ERROR ? wording.nonfatal
                                                     : nullptr;
  if (line == nullptr) return 1;
  dberror(line, arg);
  dberror(DBHANDLE_ERRORLINE, DBresult_error(result).c_str());
  return 0;
}

// ---------------------------------------------------------------------------
// Schema calls

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
  if (none) dberror(kExec1NoResult, DBHANDLE_ConnText(handle).c_str());
  return 0;
}

int dbexec(DBHANDLE* handle, const char* word, const char* text, MYDB_RESULT* out_result,
           int* out_status) {
  const std::string statement = std::string(word) + " " + text;
  bool none = false;
  if (Execute(handle, statement.c_str(), kExecWording, word, out_result, out_status, &none)) {
    return 1;
  }
  if (none) dberror(kExecNoResult, word, DBHANDLE_ConnText(handle).c_str());
  return 0;
}

int dbbinexec1(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status) {
  bool none = false;
  if (Execute(handle, nullptr, kBinWording, "", out_result, out_status, &none)) return 1;
  if (none) dberror(kBinNoResult, DBHANDLE_ConnText(handle).c_str());
  return 0;
}

int dbbinexec(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status, int loud) {
  if (loud) return dbbinexec1(handle, out_result, out_status);
  DBHANDLE_ClearError();
  *out_status = MYDB_BAD_RESPONSE;
  MYDB_RESULT result = DBHANDLE_RequestMessage(handle);
  if (result == nullptr) return 0;
  *out_status = DBHANDLE_MapStatus(result.get());
  if (out_result != nullptr) *out_result = std::move(result);
  return *out_status != MYDB_BAD_RESPONSE && *out_status != MYDB_FATAL_ERROR;
}

int DBHANDLE_Declare(DBHANDLE* handle, const char* cursor, const char* query, int* out_rows) {
  *out_rows = 0;
  const std::string statement = std::string("DECLARE ") + cursor + " CURSOR FOR " + query;
  MYDB_RESULT result;
  if (CursorCall(handle, statement, &result, kDeclareNoResult)) {
    *out_rows = DBresult_rows(result.get());
    return 1;
  }
  if (result == nullptr) return 0;
  dberror(kDeclareFailed, cursor, query);
  dberror(DBHANDLE_ERRORLINE, DBresult_error(result.get()).c_str());
  return 0;
}

int dbdeclare(DBHANDLE* handle, const char* cursor, const char* query) {
  int rows = 0;
  return DBHANDLE_Declare(handle, cursor, query, &rows);
}

int dbclose(DBHANDLE* handle, const char* cursor) {
  MYDB_RESULT result;
  if (CursorCall(handle, std::string("CLOSE ") + cursor, &result, kCloseNoResult)) return 1;
  if (result == nullptr) return 0;
  dberror(kCloseFailed, cursor);
  dberror(DBHANDLE_ERRORLINE, DBresult_error(result.get()).c_str());
  return 0;
}

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
