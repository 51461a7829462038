// deffile.h: the definition file of a database (<data directory>/<name>.def)
// and the reading of all of them at start-up.
// Owns the text format and its reader and writer; the catalogue records the
// text describes belong to the catalogue.
//
// A definition file is one run of bytes without line breaks: the tables of
// the database one after the other, nothing else.
//
//   | Element        | Form                                                 |
//   |----------------|------------------------------------------------------|
//   | table          | name "(" kind ")" ";" attributes ";" indexes ";"     |
//   |                |   unique-indexes ";"                                 |
//   | kind           | '0' ordinary, '1' static, '2' static and secure      |
//   | attributes     | one or more attributes, nothing between them         |
//   | attribute      | "[" name "," type "," length "," not-null "]" for    |
//   |                | CHARACTER and BINARY, else "[" name "," type ","     |
//   |                | not-null "]"                                         |
//   | type           | the type code byte: '0'..'6', or 0xA6 for BINARY     |
//   | length         | the declared length n in decimal                     |
//   | not-null       | '1' or '0'                                           |
//   | (unique-)index | name, then "(" attribute-name ")" per attribute      |
//
// For example the application's item table with its unique key:
//   KASPO(0);[KASPO_ID,0,8,0][FILENAME,0,80,0][DESCRIPTION,0,160,0]
//   [SIZE,2,0][COMPRESSED,0,1,0];;XKASPO01(KASPO_ID);
// (one line in the file).
#pragma once

#include "engine/catalog/limits.h"

#include <string>
#include <string_view>
#include <vector>

struct DBDATABASE;

// One attribute as the file describes it.
struct DEFATTRIB {
  std::string name;
  unsigned char type = 0;  // type code byte
  int length = 0;          // declared n of CHARACTER(n)/BINARY(n), else 0
  char not_null = '0';     // taken as it stands in the file
};

// One index entry: its name and the names of its attributes, in index order.
struct DEFINDEX {
  std::string name;
  std::vector<std::string> attribs;
};

// One table as the file describes it. Kind '2' in the file is kind '1' with
// secure '1' here, as in the catalogue.
struct DEFTABLE {
  std::string name;
  char kind = '0';
  char secure = '0';
  std::vector<DEFATTRIB> attribs;
  std::vector<DEFINDEX> indexes;  // non-unique, in index-list order
  std::vector<DEFINDEX> uniques;  // unique, in unique-index-list order
};

// 1 when `length` is a supported declared length for `type` (only CHARACTER
// and BINARY carry one).
[[nodiscard]] int DEFFILE_LengthOk(unsigned char type, int length);

// 1 for a table, attribute or index name the catalogue and the files can
// hold: 2 to 31 letters, digits and "_" (what the lexer makes of a name).
[[nodiscard]] int DEFFILE_NameOk(std::string_view name);

// 1 for a database name that is safe as a file and directory name: 1 to 31
// bytes, no "/", and not "." or "..".
[[nodiscard]] int DEFFILE_DatabaseNameOk(std::string_view name);

// 1 for the eight type code bytes.
[[nodiscard]] int DEFFILE_IsType(unsigned char type);

// 1 for CHARACTER and BINARY, the types that carry a declared length.
[[nodiscard]] int DEFFILE_HasLength(unsigned char type);

// The file text of `tables`, in order.
std::string DEFFILE_Format(const std::vector<DEFTABLE>& tables);

// Reads the tables of a definition text. Fails with the engine's message on
// standard error (DBreport) for a missing item, a duplicate table or index
// name, an unknown type or an index attribute the table lacks, and without
// one for a misplaced separator. *tables is complete only on success.
[[nodiscard]] int DEFFILE_ParseText(std::string_view text, std::vector<DEFTABLE>* tables);

// The tables of `db` in table-list order, as the file describes them.
std::vector<DEFTABLE> DEFFILE_Describe(DBDATABASE* db);

// Writes the definition file of `db`, creating the data directory and the
// database directory when they are missing. The file is written under a
// temporary name of its own and renamed over its final name once complete
// (platform/newfile.h), so a failure leaves the old file whole and engines
// started at once never trip over each other's file. Failures are reported
// on standard error; they fail the call only when the engine has a name,
// the one case in which the file is read back at the next start.
[[nodiscard]] int Def_Write(DBDATABASE* db);

// Reads every "<name>.def" of the data directory (in name order) into the
// catalogue. A missing data directory reads nothing and succeeds. Fails at
// the first file that cannot be read or parsed.
[[nodiscard]] int Def_ReadAll();

// Adds database `name` with the tables of the definition text to the
// catalogue; its tables are not loaded yet. On failure (reported on standard
// error) the catalogue is unchanged.
[[nodiscard]] int Def_Parse(const char* name, const unsigned char* text, int length);
