// table_file.h: the files of a static table in its database directory, the
// save of every database and the engine's fatal exit.
// Owns the data file and index file formats; the rows belong to the table's
// row pool, the ordered lists to its attributes (catalog.h).
//
// Data file "<database directory>/<table>.dat", little-endian:
//
//   | Offset | Size           | Content                                     |
//   |--------|----------------|---------------------------------------------|
//   | 0      | 2              | "##"                                        |
//   | 2      | 4              | row size (signed 32-bit)                    |
//   | 6      | n x row size   | the rows' bytes as held in memory, pad      |
//   |        |                | bytes included, in live-list order          |
//
// A file that does not begin with "##" is an older one: rows only, from
// offset 0. Such files are read, never written.
//
// Index file "<database directory>/<table>.idx", written only when an
// attribute of the table has an ordered list:
//
//   | Size   | Content                                                    |
//   |--------|------------------------------------------------------------|
//   | 2      | "##"                                                       |
//   | 4      | number of rows n in the data file                          |
//   |        | then per attribute with an ordered list, in attribute      |
//   |        | order:                                                     |
//   | 1      | "#"                                                        |
//   | 4      | name size: always 4                                        |
//   | 4      | the first four bytes of the attribute name, NUL-padded      |
//   | n x 4  | the rows' positions in the data file, in ascending order   |
//   |        | of the attribute's value                                   |
//
// Both files are written under a temporary name of their own in the same
// directory and renamed over the old ones once complete (platform/newfile.h),
// so a failed write never leaves a damaged table behind, and a symbolic link
// at either name never has its target written.
#pragma once

#include <string>

#include "engine/catalog/catalog.h"

// The path of one of a table's files: "<database directory>/<table><extension>",
// the extension being ".dat" or ".idx".
std::string TABLE_FilePath(const char* db_name, const std::string& table, const char* extension);

// Writes the table's data file and, when it has ordered lists, its index
// file, with the rows of the committed state. Only static, loaded tables
// are written; others succeed at once. Fails, with a message for a file
// that cannot be created, when the directory is missing or a write fails.
[[nodiscard]] int TABLE_Write(DBDATABASE* db, DBTABLE* table);

// Reads a static table's rows from its files into its empty row pool and
// fills its indexes. Non-static tables succeed at once. A missing data file
// gives an empty table and a damaged or missing index file a rebuild of the
// ordered lists, each with a warning; a missing directory or a row size that
// differs from the table's fails. The caller sets the loaded flag.
[[nodiscard]] int TABLE_Read(DBDATABASE* db, DBTABLE* table);

// Writes every table of `db` in table order (TABLE_Write), stopping at the
// first failure. Fails at once when the database directory is missing.
[[nodiscard]] int TABLE_WriteDatabase(DBDATABASE* db);

// Writes every table of every database and deletes each database's redo
// log. Stops at the first failure.
[[nodiscard]] int Engine_SaveAll();

// The engine's fatal exit: the first call saves every database
// (Engine_SaveAll; a failure is reported); every call then ends the process
// at once with status 1. Installed as the platform's fatal handler by
// Engine_InstallFatalExit.
[[noreturn]] void Engine_FatalExit(int status);

// Makes Engine_FatalExit the handler of PLATFORM_FatalExit and of exhausted
// engine memory.
void Engine_InstallFatalExit();
