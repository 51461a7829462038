// kaspo.h: the KASPO record module: one record per item, mapped to one row
// of the table KASPO. Owns the process-wide search list (one search is
// walked at a time) and the module's descriptor text.
//
// KASPO record (280 bytes). The offsets are part of the container file,
// which writes and reads records through the descriptor:
//
// | Offset | Size | Field       | Column                     | Initial value |
// |--------|------|-------------|----------------------------|---------------|
// | 0      | 20   | header      | (records/record.h)         | size 280, id 1000 |
// | 20     | 9    | KASPO_Id    | KASPO_ID CHARACTER(8)      | eight blanks  |
// | 29     | 81   | Filename    | FILENAME CHARACTER(80)     | empty         |
// | 110    | 161  | Description | DESCRIPTION CHARACTER(160) | empty         |
// | 271    | 1    | (spare)     |                            | 0             |
// | 272    | 4    | Size        | SIZE INTEGER               | -2147483647   |
// | 276    | 1    | Compressed  | COMPRESSED CHARACTER(1)    | '0'           |
// | 277    | 3    | (spare)     |                            | 0             |
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "records/dbhandle.h"
#include "records/record.h"

inline constexpr int KASPO_SIZE = 280;            // bytes of a KASPO record
inline constexpr int KASPO_IDLEN = 8;             // characters of KASPO_Id
inline constexpr int KASPO_FILENAMELEN = 80;      // characters of Filename
inline constexpr int KASPO_DESCRIPTIONLEN = 160;  // characters of Description

struct KASPO {
  RECORD_HEADER header;
  char kaspo_id[KASPO_IDLEN + 1];
  char filename[KASPO_FILENAMELEN + 1];
  char description[KASPO_DESCRIPTIONLEN + 1];
  int32_t size;
  char compressed;  // '0' or '1'
};
static_assert(sizeof(KASPO) == KASPO_SIZE);
static_assert(offsetof(KASPO, kaspo_id) == 20 && offsetof(KASPO, filename) == 29 &&
              offsetof(KASPO, description) == 110 && offsetof(KASPO, size) == 272 &&
              offsetof(KASPO, compressed) == 276);

int KASPO_Size();
void KASPO_Init(KASPO* record);
std::unique_ptr<KASPO> KASPO_New();
void KASPO_List_Init(ARRAY* list);
const char* KASPO_Descriptor();

// Copies row `row` of the result (-1: the only row) into the record.
[[nodiscard]] int KASPO_Fill(KASPO* record, DBRESULT* result, int row, int status,
                             DBHANDLE* handle);

// Each call below brackets itself with dbbegin/dbend and ends the process
// when a bracket fails.
[[nodiscard]] int KASPO_Select(KASPO* record, DBHANDLE* handle);  // by KASPO_Id
// Inserts under a fresh random key (the record's key is replaced).
[[nodiscard]] int KASPO_Insert(KASPO* record, DBHANDLE* handle);
// Inserts as it is, without the unique check (container load).
[[nodiscard]] int KASPO_Load_Insert(KASPO* record, DBHANDLE* handle);
// The same for many records in one call, inserted in the order given
// (RECIO_LoadBatch); each points at a record of this module's layout.
[[nodiscard]] int KASPO_Load_Batch(std::span<const unsigned char* const> records, DBHANDLE* handle);
[[nodiscard]] int KASPO_Update(KASPO* record, DBHANDLE* handle);  // by KASPO_Id
[[nodiscard]] int KASPO_Delete(KASPO* record, DBHANDLE* handle);  // by KASPO_Id
[[nodiscard]] int KASPO_Delete_All(DBHANDLE* handle);
// Dispatches on the record's iDB code.
[[nodiscard]] int KASPO_Do(KASPO* record, DBHANDLE* handle);

void KASPO_CopyPk(KASPO* to, const KASPO* from);
// 1 when both keys are equal, trailing blanks ignored.
[[nodiscard]] int KASPO_CmpPk(const KASPO* a, const KASPO* b);
// KASPO has no logical key: reports it and ends the process.
[[noreturn]] void KASPO_CmpLk(const KASPO* a, const KASPO* b);

// The sequential cursor over every row. Select_Seq opens it; the caller
// holds a transaction (DB_Begin), since cursors live only inside one, and
// Select_Seq fails without. Fetch_Seq fills the next row and closes the
// cursor at the end; a fetch that fails for another reason than the end
// leaves the collected error text filled. The walk sees every row, or
// Select_Seq fails.
[[nodiscard]] int KASPO_Select_Seq(KASPO* record, DBHANDLE* handle);
[[nodiscard]] int KASPO_Fetch_Seq(KASPO* record, DBHANDLE* handle);
// Instead of Fetch_Seq row by row: every row of the walk at once into
// *out_records, in the walk's order, up to the first that cannot be
// filled; the cursor is closed after. A failed fetch leaves the collected
// error text filled.
[[nodiscard]] int KASPO_Fetch_Seq_All(DBHANDLE* handle, std::vector<KASPO>* out_records);

// Finds the items whose file name matches the record's Filename pattern or
// whose description matches its Description pattern (LIKE), by file name,
// into the search list; the whole result is read before the first record
// is handed out. No bracket of its own.
[[nodiscard]] int KASPO_Select_Search(KASPO* record, DBHANDLE* handle);
// The LIKE pattern of a search that finds every item whose field contains
// `text`: the text wrapped in '*' when that still has at most `max_len`
// characters, then every '*' turned into '%'.
std::string KASPO_SearchPattern(const std::string& text, int max_len);
// The next record of the search; 0 (and the list freed) after the last.
[[nodiscard]] int KASPO_Select_Search_Next(KASPO* record, DBHANDLE* handle);

[[nodiscard]] int KASPO_Cur_Count(int* out_count, DBHANDLE* handle);

// The record as one line of five quoted fields.
std::string KASPO_Csv(const KASPO* record);

// Empties the search list. Only tests call it.
void KASPO_ResetForTest();
