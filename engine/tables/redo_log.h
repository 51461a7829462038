// redo_log.h: the redo log of a database: the command messages of committed
// changes to SECURE tables, kept until the tables are written again, and
// their replay at start-up.
// Owns the file format; the records of an open transaction wait in the
// connection's redo buffer (catalog.h) until commit.
//
// File "<database directory>/redo.log", a sequence of records:
//
//   | Size | Content                                                    |
//   |------|------------------------------------------------------------|
//   | 4    | record length L (signed 32-bit, little-endian)             |
//   | L    | the complete command message of one successful INSERT,     |
//   |      | UPDATE or DELETE, exactly as the engine received it         |
//
// The log is replaced, never patched in place: each commit writes the old
// records and the new ones to a temporary file beside it and renames that
// over the log, so a failure leaves the previous log whole.
#pragma once

#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/types/handler.h"

// The redo buffer starts at this many bytes.
inline constexpr int REDO_FIRSTBUFFER = 50000;
// A full redo buffer grows by this many bytes.
inline constexpr int REDO_GROWBUFFER = 100000;

// The redo log of database `db_name`.
std::string REDO_Path(const char* db_name);

// Appends one record holding `msg` to the connection's redo buffer. Does
// nothing while the engine is starting (logging is off until the redo logs
// have been replayed).
void Redo_Append(DBCONN* conn, const unsigned char* msg, int length);

// Appends the connection's redo buffer to its redo log (on first use the
// database's log, whose directory must exist). Does nothing while logging
// is off. Failures print on standard error what failed (the missing
// directory, the log that could not be opened or written) followed by the
// system's reason (DATADIR_ReportReason), and return 0; the log on disk
// is then as it was.
[[nodiscard]] int Redo_Write(DBCONN* conn);

// Reads the whole redo log of database `db_name` into *bytes and names it
// in *path. Returns 0 when there is none (missing directory or file) or it
// cannot be read (with a message).
[[nodiscard]] int Redo_Read(const char* db_name, std::vector<unsigned char>* bytes,
                            std::string* path);

// Removes the redo log after the database's tables were written: `path`
// when not empty (a connection's own log), else the database's. A missing
// log is fine; a missing directory or a failed removal (with a message)
// returns 0.
[[nodiscard]] int Redo_Delete(const char* db_name, const std::string& path);

// Replays the redo log of database `db_name` through `exec` (the engine
// entry) as connection 0: CONNECT, BEGIN, every record in file order, END,
// SAVE DATABASE, DISCONNECT. Does nothing without a redo log. A record that
// is cut short or whose statement fails ends the process with
// "(TARVIC1) Redo-log '%s' cannot be executed!\n  (delete it to continue)\n".
// REQUIRES: logging is still off (start-up).
void REDO_Replay(const char* db_name, SqlHandler exec);
