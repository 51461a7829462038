// database.h: the application's link to the embedded database (APPDB):
// starting the engine and the handle, making sure the application tables
// exist, and running one SQL statement for the generic SQL command.
#pragma once

#include <string>

// Starts the engine (empty engine name, database "KASPODB"), switches the
// handle to collecting its errors, opens the handle and creates the tables
// KASPO and BLOBJ with their unique indexes where they are missing. On a
// failure it prints what failed and ends the process with exit status 1;
// it returns only when the database is ready or absent from this build.
void APPDB_Start();

// Runs `sql` through the handle's printing execute: column names and rows,
// or a success line, go to standard output. Returns 0 on failure after
// printing the collected error text; `*out_rows` is negative when not all
// rows were evaluated.
[[nodiscard]] int APPDB_ExecPrint(const std::string& sql, int* out_rows);
