// record.h: the header every application record begins with, the table
// ids, the binary field of chunk records and the record lists (ARRAY).
// A record list owns copies of the records added to it; the caller keeps
// its own record.
//
// Record header, in memory and in every byte stream (integers 32-bit,
// little-endian in streams):
//
// | Offset | Size | Content                                             |
// |--------|------|-----------------------------------------------------|
// | 0      | 4    | size: the record's own size in bytes, header included |
// | 4      | 4    | iDB code: the operation a record module performs    |
// | 8      | 4    | table id (RECORD_TABLE_*)                           |
// | 12     | 4    | key compare slot                                    |
// | 16     | 4    | logical-key compare slot                            |
//
// The field offsets of every record count from offset 0 of this header,
// and the container file writes records through those offsets, so the
// header stays 20 bytes on every platform: the compare slots are 32-bit
// words, not pointers. A record's compare operations are found by its
// table id. Streams carry the iDB code and both slots as 0.
#pragma once

#include "records/limits.h"

#include <cstdint>
#include <vector>

inline constexpr int RECORD_TABLE_KASPO = 1000;      // table id of KASPO records
inline constexpr int RECORD_TABLE_BLOBJ = 100;       // table id of BLOBJ records
inline constexpr int RECORD_TABLE_BLOBJ_DATA = 101;  // table id of Blobj_Data records
inline constexpr int RECORD_HEADER_SIZE = 20;        // bytes before a record's first field
inline constexpr int ARRAY_GROWTH = 250;             // record list room added at a time
inline constexpr int ARRAY_SANE_SIZE = 10000;        // larger record sizes draw a warning

struct RECORD_HEADER {
  int32_t size;
  int32_t idb;
  int32_t table_id;
  uint32_t cmp_pk;  // compare slots: kept for the layout, 0 in streams
  uint32_t cmp_lk;
};
static_assert(sizeof(RECORD_HEADER) == RECORD_HEADER_SIZE);

// A BINARY(4000) field as it sits in a record: a 16-bit length, then room
// for 4000 bytes, of which the first `length` count. Chunks of item content
// travel in such fields.
struct RECORD_BINARY {
  uint16_t length;
  unsigned char data[RECORD_BINMAX];
};
static_assert(sizeof(RECORD_BINARY) == 2 + RECORD_BINMAX);

// An ordered list of record copies, tagged with the table id of its
// records. Each entry holds at least a header's worth of bytes, so the
// header of any entry can be read safely.
struct ARRAY {
  int table_id = 0;
  // Room grows by ARRAY_GROWTH entries at a time.
  std::vector<std::vector<unsigned char>> records;
};

// Empties the list and tags it with `table_id`.
void ARRAY_Init(ARRAY* list, int table_id);

// Appends a copy of as many bytes as the record's size word says. A size
// outside 1..ARRAY_SANE_SIZE prints "(ARRAY_Add) Warning: Struct not
// initialized (size %d)???\n" and copies anyway (nothing for a size of 0
// or below). Running out of memory ends the process.
// REQUIRES: `record` points to at least `record->size` readable bytes.
void ARRAY_Add(ARRAY* list, const RECORD_HEADER* record);

// Appends `size` bytes taken as one record (stream readers use this for
// records whose bytes they have already checked).
void ARRAY_AddBytes(ARRAY* list, const unsigned char* bytes, int size);

// The record at `index`. An index outside the list prints
// "(ARRAY_GetPtr) Index out of range!\n" and ends the process (exit 1).
RECORD_HEADER* ARRAY_GetPtr(ARRAY* list, int index);
const RECORD_HEADER* ARRAY_GetPtr(const ARRAY& list, int index);

int ARRAY_Count(const ARRAY& list);

// Frees every copy; the list keeps its table id and may be used again.
void ARRAY_Free(ARRAY* list);
