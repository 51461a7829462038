// blobj_data.h: the Blobj_Data record module: one chunk's payload held in
// memory, with no table behind it. Item content is cut into these records
// before it is encoded into BLOBJ chunks. Owns the module's descriptor text.
//
// Blobj_Data record (4024 bytes):
//
// | Offset | Size | Field   | Client type         | Initial value    |
// |--------|------|---------|---------------------|------------------|
// | 0      | 20   | header  | (records/record.h)  | size 4024, id 101 |
// | 20     | 4002 | BinData | binary of 4000      | length 0, blanks |
// | 4022   | 2    | (spare) |                     | 0                |
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "records/dbhandle.h"
#include "records/record.h"

inline constexpr int BLOBJ_DATA_SIZE = 4024;  // bytes of a Blobj_Data record

struct BLOBJ_DATA {
  RECORD_HEADER header;
  RECORD_BINARY bin_data;
};
static_assert(sizeof(BLOBJ_DATA) == BLOBJ_DATA_SIZE);
static_assert(offsetof(BLOBJ_DATA, bin_data) == 20);

int Blobj_Data_Size();
void Blobj_Data_Init(BLOBJ_DATA* record);
std::unique_ptr<BLOBJ_DATA> Blobj_Data_New();
void Blobj_Data_List_Init(ARRAY* list);
const char* Blobj_Data_Descriptor();

// Copies row `row` (-1: the only row) of a one-column binary result.
[[nodiscard]] int Blobj_Data_Fill(BLOBJ_DATA* record, DBRESULT* result, int row, int status,
                                  DBHANDLE* handle);

// Blobj_Data has no keys: each of these reports it and ends the process.
[[noreturn]] void Blobj_Data_CopyPk(BLOBJ_DATA* to, const BLOBJ_DATA* from);
[[noreturn]] void Blobj_Data_CmpPk(const BLOBJ_DATA* a, const BLOBJ_DATA* b);
[[noreturn]] void Blobj_Data_CmpLk(const BLOBJ_DATA* a, const BLOBJ_DATA* b);

// The record as one line: BinData in hexadecimal between double quotes.
std::string Blobj_Data_Csv(const BLOBJ_DATA* record);
