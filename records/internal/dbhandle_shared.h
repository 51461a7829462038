// dbhandle_shared.h: what the files of the database handle (DBHANDLE)
// share and no caller may touch: the process-wide state and the request
// steps every call is made of. It sits in a folder of its own so that no
// layer above records can include it (layers.txt); callers go through the
// operations of records/dbhandle.h.
#pragma once

#include <cstdio>
#include <string>

#include "client/dbclient.h"

struct DBHANDLE;

struct DBHANDLESTATE {
  int begin_depth = 0;      // open dbbegin levels of the whole process
  std::string errtext;      // at most DBHANDLE_ERRTEXTMAX bytes
  bool collecting = false;  // DBERR_COLLECTING; DBERR_DIRECT when not
  // Where the printing mode of DBHANDLE_ExecStatement writes; standard
  // output unless a test points it elsewhere.
  FILE* out = stdout;
};

DBHANDLESTATE& DBHANDLE_State();

// The line that follows each failure line with the result's message.
inline constexpr char DBHANDLE_ERRORLINE[] = "Error: %s";

// The three failure lines of a call; each may hold one %s for its argument.
struct DBHANDLE_WORDING {
  const char* bad;
  const char* fatal;
  const char* nonfatal;
};

// Connects the handle to the database part of its name; a failure leaves
// its two lines in the collected text.
[[nodiscard]] int DBHANDLE_Connect(DBHANDLE* handle);

// What the connection says about itself, for the no-result messages.
std::string DBHANDLE_ConnText(const DBHANDLE* handle);

// One request each: SQL text, a prepared statement, or the message built
// beforehand. No result when the handle has no working connection.
DBRESULTPTR DBHANDLE_Request(DBHANDLE* handle, const char* text);
DBRESULTPTR DBHANDLE_RequestPrepared(DBHANDLE* handle, const DBPREPARED& prepared);
DBRESULTPTR DBHANDLE_RequestMessage(DBHANDLE* handle);

// The MYDB code of a client result's status.
[[nodiscard]] int DBHANDLE_MapStatus(const DBRESULT* result);
// The row count of a result signed by the dbfill_rows rule.
[[nodiscard]] int DBHANDLE_SignedRows(const DBRESULT* result, int status);

// The status rule shared by every execute call: *out_status is the MYDB
// code; an error status collects its failure line (with `arg`) and the
// result's message and fails.
[[nodiscard]] int DBHANDLE_CheckStatus(const DBRESULT* result, const DBHANDLE_WORDING& wording,
                                       const char* arg, int* out_status);

// The failure lines of the calls that name their whole statement
// (dbdelete and its kind, dbexec_sql).
inline constexpr DBHANDLE_WORDING DBHANDLE_STATEMENTWORDING = {
    "BAD RESPONSE to %s command.\n", "FATAL ERROR occured in %s command.\n",
    "NONFATAL ERROR occured in %s command.\n"};
