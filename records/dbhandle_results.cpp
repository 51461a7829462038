// dbhandle_results.cpp: the result accessors of the handle.
#include <cstdio>
#include <cstdlib>

#include "records/dbhandle.h"
#include "records/internal/dbhandle_shared.h"

namespace {

constexpr char kCountStatus[] = "(dbfill_count) Status is not MYDB_TUPLES_OK!\n";
constexpr char kCountRows[] = "(dbfill_count) More than one resulttuple!\n";
constexpr char kStringStatus[] = "(dbfill_string) Status is not MYDB_TUPLES_OK!\n";
constexpr char kStringRows[] = "(dbfill_string) More than one resulttuple!\n";

// The single row of a one-row result; fails (with a message for more rows)
// otherwise.
[[nodiscard]] int OnlyRow(DBRESULT* result, int status, const char* bad_status,
                          const char* too_many) {
  if (result == nullptr || status != MYDB_TUPLES_OK) {
    dberror("%s", bad_status);
    return 0;
  }
  if (DBresult_rows(result) > 1) {
    dberror("%s", too_many);
    return 0;
  }
  return DBresult_rows(result) == 1 && DBresult_cols(result) >= 1;
}

}  // namespace

int dbfill_count(DBHANDLE* /*handle*/, DBRESULT* result, int status, int* out_count) {
  if (!OnlyRow(result, status, kCountStatus, kCountRows)) return 0;
  return std::sscanf(DBresult_value(result, 0, 0), "%d", out_count) == 1;
}

int dbfill_string(DBHANDLE* /*handle*/, DBRESULT* result, int status, std::string* out_text) {
  if (!OnlyRow(result, status, kStringStatus, kStringRows)) return 0;
  *out_text = DBresult_value(result, 0, 0);
  return 1;
}

int dbfill_rows(DBHANDLE* /*handle*/, const DBRESULT* result, int status, int* out_rows) {
  *out_rows = 0;
  if (status == MYDB_EMPTY_QUERY) return 1;
  if (result == nullptr) return 0;
  if (status != MYDB_COMMAND_OK && status != MYDB_TUPLES_OK && status != MYDB_TUPLES_PARTIAL) {
    return 0;
  }
  *out_rows = DBHANDLE_SignedRows(result, status);
  return 1;
}

void dbfree(MYDB_RESULT* result) { result->reset(); }

int DBHANDLE_MapStatus(const DBRESULT* result) {
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

int DBHANDLE_SignedRows(const DBRESULT* result, int status) {
  if (status == MYDB_TUPLES_PARTIAL) return -DBresult_rows(result);
  if (status == MYDB_COMMAND_OK || status == MYDB_TUPLES_OK) return DBresult_rows(result);
  return 0;
}
