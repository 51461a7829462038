// table_file.h: the files of a static table in its database directory.
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
#include <vector>

#include "engine/catalog/catalog.h"

// The two bytes that open both files.
inline constexpr char TBLFILE_MAGIC[] = "##";
// Bytes of the attribute name an index file section keeps.
inline constexpr int TBLFILE_NAMESIZE = 4;

// The path of one of a table's files: "<database directory>/<table><extension>",
// the extension being ".dat" or ".idx".
std::string TBLFILE_Path(const char* db_name, const std::string& table, const char* extension);

// The attributes with an ordered list, in attribute order: the sections of
// the index file.
std::vector<DBATTRIB*> TBLFILE_ListedAttribs(DBTABLE* table);

// Writes the table's data file and, when it has ordered lists, its index
// file, with the rows of the committed state. Only static, loaded tables
// are written; others succeed at once. Fails when the directory is missing
// ("(TARVIC) Database-directory '%s' not found!\n"), a file cannot be
// created ("(TARVIC) Data-file '%s' could not be created!\n", resp.
// Index-file) or written ("(TARVIC) Error writing data-file '%s'!\n",
// resp. index-file); each message is followed by the system's reason
// (DATADIR_ReportReason).
[[nodiscard]] int TABLE_Write(DBDATABASE* db, DBTABLE* table);

// Reads a static table's rows from its files into its empty row pool and
// fills its indexes. Non-static tables succeed at once. A missing data file
// gives an empty table and a damaged or missing index file a rebuild of the
// ordered lists, each with a warning; a missing directory or a row size that
// differs from the table's fails. The caller sets the loaded flag.
[[nodiscard]] int TABLE_Read(DBDATABASE* db, DBTABLE* table);

// Writes every table of `db` in table order (TABLE_Write), stopping at the
// first failure. Fails at once, with the message of TABLE_Write, when the
// database directory is missing.
[[nodiscard]] int TBLFILE_WriteDatabase(DBDATABASE* db);
