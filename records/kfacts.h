// kfacts.h: the KFACTS record module: the facts of one item that prove
// and restore it (its content's checksum, its file's modification time
// and permission bits), mapped to one row of the table KFACTS. A row
// names its item by the item's key; an item without a row has no facts
// (added through SQL, or read from a container written without them).
// Owns the module's descriptor text.
//
// KFACTS record (56 bytes). The offsets are part of the container file,
// whose third section holds these records:
//
// | Offset | Size | Field    | Column                 | Initial value     |
// |--------|------|----------|------------------------|-------------------|
// | 0      | 20   | header   | (records/record.h)     | size 56, id 1001  |
// | 20     | 9    | KASPO_Id | KASPO_ID CHARACTER(8)  | eight blanks      |
// | 29     | 9    | Checksum | CHECKSUM CHARACTER(8)  | empty             |
// | 38     | 2    | (spare)  |                        | 0                 |
// | 40     | 4    | Mode     | MODE INTEGER           | -2147483647       |
// | 44     | 4    | (spare)  |                        | 0                 |
// | 48     | 8    | Mtime    | MTIME FLOAT            | -1e20             |
//
// Checksum is the CRC-32C of the content (compress/checksum.h) as eight
// lower-case hexadecimal digits; Mode the permission bits (07777 at most);
// Mtime the modification time in seconds since 1970 (a double holds every
// whole second within 2^53 exactly).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "records/dbhandle.h"
#include "records/record.h"

inline constexpr int RECORD_TABLE_KFACTS = 1001;  // table id of KFACTS records
inline constexpr int KFACTS_SIZE = 56;            // bytes of a KFACTS record
inline constexpr int KFACTS_IDLEN = 8;            // characters of KASPO_Id
inline constexpr int KFACTS_SUMLEN = 8;           // hexadecimal digits of Checksum

struct KFACTS {
  RECORD_HEADER header;
  char kaspo_id[KFACTS_IDLEN + 1];
  char checksum[KFACTS_SUMLEN + 1];
  int32_t mode;
  double mtime;
};
static_assert(sizeof(KFACTS) == KFACTS_SIZE);
static_assert(offsetof(KFACTS, kaspo_id) == 20 && offsetof(KFACTS, checksum) == 29 &&
              offsetof(KFACTS, mode) == 40 && offsetof(KFACTS, mtime) == 48);

void KFACTS_Init(KFACTS* record);
const char* KFACTS_Descriptor();

// The facts of an item's content and file, as a record of `kaspo_id`.
void KFACTS_Make(KFACTS* record, const char* kaspo_id, uint32_t checksum, int mode, int64_t mtime);
// The facts of an item whose file is not known, its checksum alone: Mode
// and Mtime keep their no-value marks.
void KFACTS_MakeChecksum(KFACTS* record, const char* kaspo_id, uint32_t checksum);
// The checksum the record holds; 0 when its Checksum is no eight-digit
// hexadecimal number (a damaged or hand-made row: its item counts as
// without checksum).
[[nodiscard]] int KFACTS_Checksum(const KFACTS& record, uint32_t* out_checksum);

// Each call below brackets itself with dbbegin/dbend and ends the process
// when a bracket fails.
// Replaces the facts of the record's item by the record.
[[nodiscard]] int KFACTS_Store(const KFACTS* record, DBHANDLE* handle);
// The same for many records in one call, inserted in the order given
// (RECIO_LoadBatch); each points at a record of this module's layout.
[[nodiscard]] int KFACTS_Load_Batch(std::span<const unsigned char* const> records,
                                    DBHANDLE* handle);
// Deletes the facts of the record's item (none there is no error).
[[nodiscard]] int KFACTS_Delete(const KFACTS* record, DBHANDLE* handle);
[[nodiscard]] int KFACTS_Delete_All(DBHANDLE* handle);
// Every row, in one whole result (see RECIO_SelectAll).
[[nodiscard]] int KFACTS_Select_All(DBHANDLE* handle, std::vector<KFACTS>* out_rows);
