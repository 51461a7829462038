// blobj.h: the BLOBJ record module: one record per chunk of an item's
// content, mapped to one row of the table BLOBJ. Chunks name their item by
// a foreign key (FK_Id, FK_Table). Owns the module's descriptor text.
//
// BLOBJ record (4048 bytes). The offsets are part of the container file,
// including the spare byte before Compressed:
//
// | Offset | Size | Field      | Column                  | Initial value        |
// |--------|------|------------|-------------------------|----------------------|
// | 0      | 20   | header     | (records/record.h)      | size 4048, id 100    |
// | 20     | 9    | BLOBJ_Id   | BLOBJ_ID CHARACTER(8)   | eight blanks         |
// | 29     | 9    | FK_Id      | FK_ID CHARACTER(8)      | eight blanks         |
// | 38     | 2    | FK_Table   | FK_TABLE SMALLINT       | -32768               |
// | 40     | 2    | ItemNumber | ITEMNUMBER SMALLINT     | -32768               |
// | 42     | 4002 | ComprData  | COMPRDATA BINARY(4000)  | length 0, blanks     |
// | 4044   | 1    | (spare)    |                         | 0                    |
// | 4045   | 1    | Compressed | COMPRESSED CHARACTER(1) | '0'                  |
// | 4046   | 2    | (spare)    |                         | 0                    |
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "records/dbhandle.h"
#include "records/record.h"

inline constexpr int BLOBJ_SIZE = 4048;  // bytes of a BLOBJ record
inline constexpr int BLOBJ_IDLEN = 8;    // characters of BLOBJ_Id and FK_Id

struct BLOBJ {
  RECORD_HEADER header;
  char blobj_id[BLOBJ_IDLEN + 1];
  char fk_id[BLOBJ_IDLEN + 1];
  int16_t fk_table;
  int16_t item_number;
  RECORD_BINARY compr_data;
  char spare;
  char compressed;  // '0' or '1'
};
static_assert(sizeof(BLOBJ) == BLOBJ_SIZE);
static_assert(offsetof(BLOBJ, blobj_id) == 20 && offsetof(BLOBJ, fk_id) == 29 &&
              offsetof(BLOBJ, fk_table) == 38 && offsetof(BLOBJ, item_number) == 40 &&
              offsetof(BLOBJ, compr_data) == 42 && offsetof(BLOBJ, compressed) == 4045);

int BLOBJ_Size();
void BLOBJ_Init(BLOBJ* record);
std::unique_ptr<BLOBJ> BLOBJ_New();
void BLOBJ_List_Init(ARRAY* list);
const char* BLOBJ_Descriptor();

[[nodiscard]] int BLOBJ_Fill(BLOBJ* record, DBRESULT* result, int row, int status,
                             DBHANDLE* handle);

// Each call below brackets itself with dbbegin/dbend and ends the process
// when a bracket fails.
[[nodiscard]] int BLOBJ_Select(BLOBJ* record, DBHANDLE* handle);  // by BLOBJ_Id
// The rows of several BLOBJ_Id at once (see RECIO_SelectByKeys); fill
// each with BLOBJ_Fill.
[[nodiscard]] int BLOBJ_Select_Keys_In(const std::vector<std::string>& keys, DBHANDLE* handle,
                                       MYDB_RESULT* out_result, int* out_status);
// Inserts under a fresh random key (the record's key is replaced).
[[nodiscard]] int BLOBJ_Insert(BLOBJ* record, DBHANDLE* handle);
// Inserts as it is, without the unique check (container load).
[[nodiscard]] int BLOBJ_Load_Insert(BLOBJ* record, DBHANDLE* handle);
// The same for many records in one call, inserted in the order given
// (RECIO_LoadBatch); each points at a record of this module's layout.
[[nodiscard]] int BLOBJ_Load_Batch(std::span<const unsigned char* const> records, DBHANDLE* handle);
[[nodiscard]] int BLOBJ_Update(BLOBJ* record, DBHANDLE* handle);  // by BLOBJ_Id
[[nodiscard]] int BLOBJ_Delete(BLOBJ* record, DBHANDLE* handle);  // by BLOBJ_Id
[[nodiscard]] int BLOBJ_Delete_All(DBHANDLE* handle);
[[nodiscard]] int BLOBJ_Do(BLOBJ* record, DBHANDLE* handle);

void BLOBJ_CopyPk(BLOBJ* to, const BLOBJ* from);
[[nodiscard]] int BLOBJ_CmpPk(const BLOBJ* a, const BLOBJ* b);
[[noreturn]] void BLOBJ_CmpLk(const BLOBJ* a, const BLOBJ* b);

// The sequential cursor over every row (see KASPO_Select_Seq).
[[nodiscard]] int BLOBJ_Select_Seq(BLOBJ* record, DBHANDLE* handle);
[[nodiscard]] int BLOBJ_Fetch_Seq(BLOBJ* record, DBHANDLE* handle);

// The cursor over the chunks of one item (the record's FK_Id and
// FK_Table). The caller holds a transaction; the walk sees every chunk, or
// Select_FK fails.
[[nodiscard]] int BLOBJ_Select_FK(BLOBJ* record, DBHANDLE* handle);
[[nodiscard]] int BLOBJ_Fetch_FK(BLOBJ* record, DBHANDLE* handle);
// Every column but ComprData (BLOBJ_Id, FK_Id, FK_Table, ItemNumber,
// Compressed) of every row, in one whole result (see RECIO_SelectAll):
// small enough to hold where the full rows are not.
[[nodiscard]] int BLOBJ_Select_Keys(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status);
// The same of the chunks of one item (the record's FK_Id and FK_Table),
// in the order BLOBJ_Select_FK walks them.
[[nodiscard]] int BLOBJ_Select_FK_Keys(BLOBJ* record, DBHANDLE* handle, MYDB_RESULT* out_result,
                                       int* out_status);
// Copies those columns of row `row` of such a result into the record;
// ComprData stays as it is.
[[nodiscard]] int BLOBJ_Fill_Keys(BLOBJ* record, DBRESULT* result, int row, int status);
// Deletes the chunks of one item; *out_count is how many there were.
// Even when there were none the table is then among the transaction's
// changed tables, whose commit passes over every row of each.
[[nodiscard]] int BLOBJ_Delete_FK(BLOBJ* record, int* out_count, DBHANDLE* handle);
// How many chunks one item has: a read, which changes nothing.
[[nodiscard]] int BLOBJ_Count_FK(BLOBJ* record, int* out_count, DBHANDLE* handle);

[[nodiscard]] int BLOBJ_Cur_Count(int* out_count, DBHANDLE* handle);

// The record as one line of six quoted fields (ComprData in hexadecimal).
std::string BLOBJ_Csv(const BLOBJ* record);
