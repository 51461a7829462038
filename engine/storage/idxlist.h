// idxlist.h: the ordered list behind a non-unique index (IDXLIST).
// Owns its blocks of row numbers; the rows belong to the table and are
// reached through the IDXROWS accessor of idxhash.h. Empty blocks go to one
// pool shared by every ordered list and are taken from it before new ones
// are allocated.
//
// All row numbers of all blocks are in ascending order of the attribute
// value of their rows; rows with equal values are in no fixed order (an
// insert puts a row before the rows equal to it). A block holds 1..2000.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/idxhash.h"

inline constexpr int IDXLIST_BLOCKROWS = 2000;   // row numbers per block
inline constexpr int IDXLIST_LOADROWS = 1333;    // rows per block when filled in order
inline constexpr int IDXLIST_FIRSTBLOCKS = 5;    // block array of a new list
inline constexpr int IDXLIST_GROWBLOCKS = 2500;  // a full block array grows by this
inline constexpr int IDXLIST_LINEARBLOCKS = 20;  // below this many blocks, find by a linear scan
inline constexpr int IDXLIST_LINEARROWS = 10;    // up to this many rows, position by a linear scan
inline constexpr int IDXLIST_FIRSTPOOL = 100;    // free-block pool: first room
inline constexpr int IDXLIST_GROWPOOL = 5000;    // free-block pool: growth step

struct IDXBLOCK {
  int count = 0;
  std::array<int32_t, IDXLIST_BLOCKROWS> rows;
};

struct IDXLIST {
  std::vector<std::unique_ptr<IDXBLOCK>> blocks;  // block count = blocks.size()
  int block_capacity = 0;
  unsigned char type = 0;  // DBTYPE_* of the attribute
  int offset = 0;          // the attribute's offset in a row
  IDXROWS rows;            // the table
};

// An empty list over the attribute at `offset` of `type` in `rows`.
void IDXLIST_Init(IDXLIST* list, const IDXROWS& rows, int type, int offset);

// Returns every block to the pool; the list is then empty (the table's
// rows are not touched). Used for DELETE of all rows and when the last
// index on the attribute is dropped.
void IDXLIST_Clear(IDXLIST* list);

// Inserts row `row` whose attribute value is `value` (its row form).
void IDXLIST_Insert(IDXLIST* list, const void* value, int row);

// Removes row `row` whose attribute value is `value`. Returns 0, changing
// nothing, when the row is not in the list.
[[nodiscard]] int IDXLIST_Delete(IDXLIST* list, const void* value, int row);

// Empties the list and fills it with every row visible at `timestamp`.
void IDXLIST_Rebuild(IDXLIST* list, int timestamp);

// Appends `n` row numbers, already in value order, after the last entry,
// in blocks of 1333 (as read back from a table's index file).
void IDXLIST_Append(IDXLIST* list, const int32_t* rows, int n);

// Appends the rows whose value v satisfies `v op value` to *out, for op
// DBTK_LT, DBTK_LE, DBTK_GT, DBTK_GE or DBTK_EQ (engine/types/tokens.h).
// '<' and '<=' deliver rows in descending value order, the others in
// ascending order. Returns 0 (appending nothing) when the list has no blocks
// or `op` is none of these.
[[nodiscard]] int IDXLIST_Search(const IDXLIST& list, int op, const void* value,
                                 std::vector<int>* out);

// Appends the rows with low <= v <= high (ascending). Returns 0 when the
// list has no blocks.
[[nodiscard]] int IDXLIST_Between(const IDXLIST& list, const void* low, const void* high,
                                  std::vector<int>* out);

// Number of rows in the list (the sum of the block counts).
int IDXLIST_Count(const IDXLIST& list);

// Appends every row number in list order (ascending value) to *out.
void IDXLIST_Rows(const IDXLIST& list, std::vector<int>* out);

// Blocks waiting in the shared pool.
int IDXLIST_PoolSize();

// Frees the shared pool. Tests only.
void IDXLIST_ResetForTest();
