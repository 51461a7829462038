// table_section.h: what the writer and the reader of table sections
// (table_file_io.h) share (SECTION): the layout that a program's
// descriptor or a section header gives, its parse, the transaction
// bracket of a section call and the records of the group "KASPODAT".
// Owns nothing between calls.
#pragma once

#include <string>
#include <vector>

#include "records/dbhandle.h"
#include "records/record.h"

// What a failed bracket, or a load that cannot empty the tables, prints
// before the process ends: nothing of the database can be trusted then.
inline constexpr char SECTION_DBSYSERROR[] =
    "DBSYS-Error occurred! Please restart the application!\n";

// One "NAME,TYP,SIZE,IDX" item: the field's name, type code, size and
// offset in the record.
struct SECTIONFIELD {
  std::string name;
  int type = 0;
  int size = 0;
  int offset = 0;
};

struct SECTIONLAYOUT {
  int count = 0;  // records of a section; 0 for a program descriptor
  int table_id = 0;
  int record_size = 0;
  std::vector<SECTIONFIELD> fields;
};

// A descriptor that cannot be read is either a syntax error of the table
// part or of a field; which message fits is decided by the caller.
enum SECTIONPARSE {
  SECTION_PARSE_OK,
  SECTION_PARSE_TABLE,
  SECTION_PARSE_FIELD,
  SECTION_PARSE_TOO_MANY,
  SECTION_PARSE_RECORD_SIZE  // records larger than any record of the program may be
};

// Parses "[COUNT,]TBL,SIZE" (the count with `with_count`) and the field
// items after it. Sizes and offsets must keep every field inside the
// record, or reading it would run past the record; and a record may be no
// larger than RECFIELD_SIZEMAX, or a few header bytes could make a reader
// allocate gigabytes for one record.
SECTIONPARSE SECTION_Parse(const std::string& text, bool with_count, SECTIONLAYOUT* out);

// dbbegin and dbend of a section call. A failure prints SECTION_DBSYSERROR
// and ends the process with APPDB_FATALSTATUS.
void SECTION_BeginOrExit(DBHANDLE* handle);
void SECTION_EndOrExit(DBHANDLE* handle);

// The init operations of the two modules of "KASPODAT".
void SECTION_InitKaspo(RECORD_HEADER* r);
void SECTION_InitBlobj(RECORD_HEADER* r);
