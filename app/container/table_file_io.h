// table_file_io.h: table sections of container files and the data group
// "KASPODAT" (TABLE_File_*, Group_*): written by table_file_write.cpp,
// read by table_file_read.cpp, with what both share in table_section.h.
// Owns nothing between calls; the rows belong to the engine, the open
// file to the caller.
//
// A container file is a sequence of table sections with no file header.
// "KASPODAT" is exactly two sections: KASPO, then BLOBJ.
//
// Table section:
//
// | Part       | Size               | Content                                   |
// |------------|--------------------|-------------------------------------------|
// | count      | 5                  | number of records, "%05d" (at most 99999) |
// | separator  | 1                  | ","                                       |
// | descriptor | variable           | the record descriptor of the table's      |
// |            |                    | module: "TBL,SIZE" then "|NAME,TYP,SIZE,  |
// |            |                    | IDX" per field (type code, field size,     |
// |            |                    | field offset in the record)               |
// | terminator | 1                  | a zero byte                               |
// | records    | count x SIZE       | the records one after the other, each as  |
// |            |                    | the module's record layout: 20 header     |
// |            |                    | bytes, then the fields at their offsets,  |
// |            |                    | numbers little-endian                     |
//
// Only the fields named in the descriptor carry meaning; a reader takes
// them by offset and size and matches them to its own fields by name,
// regardless of letter case. This writer writes the header words, the
// bytes between fields and the bytes past a text's terminator or a binary
// value's length as zero, so equal rows always give equal bytes.
//
// Limits: a section header of at most 9999 bytes before its zero byte, at
// most 500 fields, at most 99999 records, field sizes of 1..10000 bytes.
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "app/base/limits.h"
#include "platform/locks.h"
#include "platform/newfile.h"
#include "records/dbhandle.h"
#include "records/record.h"

inline constexpr char TABLEFILE_GROUP[] = "KASPODAT";  // the group of KASPO and BLOBJ

// A record module's operations, over its record as a RECORD_HEADER. A row
// operation gets the `context` its caller passed to the section call (the
// state of a walk, say), which this module never looks into.
using TABLEFILE_InitFn = void (*)(RECORD_HEADER* record);
using TABLEFILE_RowFn = int (*)(RECORD_HEADER* record, DBHANDLE* handle, void* context);

// Writes one section with every row that `select` (open a sequential
// cursor) and `fetch` (the next row into the record) deliver; each row is
// fetched into a record freshly set up by `init`. A table of more than
// 99999 rows is refused. Returns 0 after printing why.
// REQUIRES: `record` has room for the descriptor's record size.
[[nodiscard]] int TABLE_File_Save(DBHANDLE* handle, FILE* file, const char* descriptor,
                                  RECORD_HEADER* record, TABLEFILE_InitFn init,
                                  TABLEFILE_RowFn select, TABLEFILE_RowFn fetch,
                                  void* context = nullptr);

// Reads the next section of the program's table (passing over sections of
// other tables) into the table: each record is set up by `init`, filled
// field by field from the section's fields of the same name (with the
// conversions and warnings of a changed layout) and inserted with
// `insert`. With `key` (the name of the program's key field) a record
// whose key came before in the section is damage: the load stops there
// without inserting it. Returns 0 after printing why; rows inserted
// before a failure stay in the table. *out_changed (when given) tells a
// section whose descriptor lacks a field of the program's or gives it
// another type or size: it is read as well as it goes (each field's
// warning printed once), but what it gives is not what was written.
[[nodiscard]] int TABLE_File_Load(DBHANDLE* handle, FILE* file, const char* descriptor,
                                  TABLEFILE_InitFn init, TABLEFILE_RowFn insert,
                                  const char* key = nullptr, void* context = nullptr,
                                  bool* out_changed = nullptr);

// A record module's bulk load insert: the records, in the order given,
// each laid out as the module's record (RECIO_LoadBatch); header words
// and the bytes between fields are not read.
using TABLEFILE_BatchFn = int (*)(std::span<const unsigned char* const> records, DBHANDLE* handle);

// TABLE_File_Load with a bulk insert, with the same messages and outcome:
// a section laid out as the program's records (each field at the same
// offset, type and size) goes to `insert` from the bytes as read, many
// records a call; any other is filled record by record and inserted one
// at a time.
[[nodiscard]] int TABLE_File_LoadBatch(DBHANDLE* handle, FILE* file, const char* descriptor,
                                       TABLEFILE_InitFn init, TABLEFILE_BatchFn insert,
                                       const char* key = nullptr, bool* out_changed = nullptr);

// Passes over the next section of the program's table (and over sections
// of other tables before it).
[[nodiscard]] int TABLE_File_Skip(FILE* file, const char* descriptor);

// Writes the group to `path`: a temporary file beside it (private while
// it is written), synced and then renamed over it, so a failed save
// leaves the old file as it was. The new file keeps the permission bits,
// owner and group of the one it replaces (a warning tells when the process
// may not set the owner and group). A path that is a symbolic link keeps
// the link: the file at its end is replaced. A path that leads to a
// directory, a pipe or a device is not written. Temporary files of that
// file left by killed saves are removed first (each is named on standard
// output). With `out_lock`, a successful save hands over the lock of the
// new file, held since before it replaced the old one. With
// PLATFORM_NEWFILE_CREATE the save only makes a file where there is none:
// when one appeared meanwhile it fails without a word and sets
// *out_taken (when given; without it, it reports like any failure). A
// group other than "KASPODAT" gives an empty file.
[[nodiscard]] int Group_Save(DBHANDLE* handle, const std::string& path, const char* group,
                             PLATFORM_LOCK* out_lock = nullptr,
                             PLATFORM_NEWFILEPLACE place = PLATFORM_NEWFILE_REPLACE,
                             bool* out_taken = nullptr);

// Replaces the rows of KASPO, BLOBJ and KFACTS by the sections of the
// file: the tables are emptied before anything is read, so after a
// failure they hold only rows of this file. Damage fails the load: a key
// that a section repeats, a section whose descriptor changed a field,
// anything but one KFACTS section after BLOBJ, anything after that. A
// file that ends after BLOBJ is whole (its items have no facts).
// Only "KASPODAT" reads anything; other groups succeed at once.
[[nodiscard]] int Group_Load(DBHANDLE* handle, const std::string& path, const char* group);
