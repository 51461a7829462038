// dbhandle_transactions.cpp: the process-wide BEGIN-stack of the handle;
// only its outermost level talks to the engine.
#include "records/dbhandle.h"
#include "records/internal/dbhandle_shared.h"

namespace {

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

bool IsError(int status) {
  return status == MYDB_BAD_RESPONSE || status == MYDB_FATAL_ERROR || status == MYDB_NONFATAL_ERROR;
}

// Sends "BEGIN" for the outermost level.
[[nodiscard]] int SendBegin(DBHANDLE* handle) {
  DBRESULTPTR result = DBHANDLE_Request(handle, "BEGIN");
  if (result == nullptr) {
    // The one reconnect: the handle keeps its name, so connecting again
    // reaches the database it was made for.
    (void)DBHANDLE_Connect(handle);
    result = DBHANDLE_Request(handle, "BEGIN");
  }
  if (result == nullptr) {
    dberror(kBeginNoResult, DBHANDLE_ConnText(handle).c_str());
    return 0;
  }
  if (DBresult_status(result.get()) != DBRES_COMMAND_OK) {
    dberror(kBeginFailed);
    dberror(DBHANDLE_ERRORLINE, DBresult_error(result.get()).c_str());
    return 0;
  }
  return 1;
}

// Sends the closing statement of a transaction at the outermost level.
[[nodiscard]] int SendClosing(DBHANDLE* handle, const char* statement, const char* failed,
                              const char* no_result) {
  DBRESULTPTR result = DBHANDLE_Request(handle, statement);
  if (result == nullptr) {
    const std::string text = DBHANDLE_ConnText(handle);
    dberror(no_result, text.c_str());
    dberror(DBHANDLE_ERRORLINE, text.c_str());
    return 0;
  }
  // An error reply means the engine did not do it; calling that a success
  // would let the caller go on as if its changes were committed.
  if (IsError(DBHANDLE_MapStatus(result.get()))) {
    dberror("%s", failed);
    dberror(DBHANDLE_ERRORLINE, DBresult_error(result.get()).c_str());
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

int dbbegin(DBHANDLE* handle) {
  DBHANDLE_ClearError();
  DBHANDLESTATE& s = DBHANDLE_State();
  if (s.begin_depth++ != 0) return 1;
  if (SendBegin(handle)) return 1;
  // A BEGIN that did not open a transaction must not count: the next level
  // would otherwise believe one is open and never send its own BEGIN.
  --s.begin_depth;
  return 0;
}

int DB_Begin(DBHANDLE* handle) { return dbbegin(handle); }

int DBHANDLE_BeginDepth() { return DBHANDLE_State().begin_depth; }

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
