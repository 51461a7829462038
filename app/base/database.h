// database.h: the application's link to the embedded database (APPDB):
// starting the engine and the handle, making sure the application tables
// exist, and running single SQL statements for the generic SQL command.
// Owns the application's one database handle.
#pragma once

#include <string>

#include "records/dbhandle.h"

// Exit status of a database failure that leaves nothing to trust.
inline constexpr int APPDB_FATALSTATUS = 1;

// What a command prints when its transaction cannot be opened.
inline constexpr char APPDB_BEGINERROR[] = "DB_Begin error!";

// Starts the engine (empty engine name, database "KASPODB"), switches the
// handle to collecting its errors, opens the handle and creates the tables
// KASPO and BLOBJ with their unique indexes where they are missing. On a
// failure it prints the collected error text and what failed, and ends the
// process with exit status 1; it returns only when the database is ready.
void APPDB_Start();

// The handle opened by APPDB_Start; every record call goes through it.
DBHANDLE* APPDB_Handle();

// The database the application runs on.
inline constexpr char APPDB_DATABASE[] = "KASPODB";

// 1 when `name` (upper case, as statements send it) is one of the
// application's own tables or indexes.
[[nodiscard]] int APPDB_IsOwnObject(const std::string& name);

// Runs a statement prepared once (DBHANDLE_Prepare) through the handle's
// printing execute: column names and rows, or a success line, go to
// standard output. Returns 0 on failure, with the collected error text
// saying why (APPDB_PrintError); `*out_rows` is negative when not all rows
// were evaluated.
[[nodiscard]] int APPDB_ExecPrint(const DBSTATEMENT& statement, int* out_rows);

// Prints the collected database error text.
void APPDB_PrintError();

// Between these two calls Ctrl-C (SIGINT) stops the running statement
// instead of ending the program: the statement fails and undoes what it
// changed. The second call returns 1 when Ctrl-C was pressed meanwhile.
void APPDB_AllowInterrupt();
[[nodiscard]] int APPDB_EndInterrupt();

// The engine's result-row maximum (MAX), read and set.
[[nodiscard]] int APPDB_ReadMax(int* out_max);
[[nodiscard]] int APPDB_SetMax(int max);

// Rolls back the engine's open transaction directly ("ABORT"), for one that
// SQL statements opened past the handle's BEGIN-stack. Prints the
// collected error text when that fails.
[[nodiscard]] int APPDB_AbortOpen();

// Prints the collected database error text, then `message` on the error
// stream.
void APPDB_Report(const char* message);

// Commits the open transaction of `handle`. A failed commit leaves the
// data in a state nothing can trust: it reports and ends the process with
// APPDB_FATALSTATUS.
void APPDB_CommitOrEnd(DBHANDLE* handle);

// What a failed commit does: prints `collected` (the collected error text
// the commit left) and "DB_Commit error!" on the error stream, and ends
// the process with APPDB_FATALSTATUS.
[[noreturn]] void APPDB_EndFailedCommit(const std::string& collected);

// Forgets the handle. Only tests call it.
void APPDB_ResetForTest();
