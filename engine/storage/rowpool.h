// rowpool.h: the row pool of one table (ROWPOOL) and its row iterator.
// Owns every row slot of the table and the bytes of each row. Indexes refer
// to rows by slot number; a slot number stays valid for the table's life
// (slots are reused through the free list, never moved or compacted).
//
// Row versions. A row inserted by a transaction is a base row in the live
// list, carrying the transaction's timestamp as insert timestamp. A change
// makes a second slot, the changed version, reachable only from its base
// row; a delete stamps the delete timestamp. Commit folds these versions
// into the live list, rollback removes them (tables/transaction.h).
//
// Slot fields (eight words per slot; the row's bytes are kept beside the
// slots, so that a walk over the slots reads only what decides visibility):
//
//   | Word | Field         | Meaning                                          |
//   |------|---------------|--------------------------------------------------|
//   | 0    | insert_ts     | timestamp that created the row (-1: a changed    |
//   |      |               | version, or one promoted by a commit)            |
//   | 1    | delete_ts     | timestamp that deleted it (-1: not deleted)      |
//   | 2    | update_ts     | for a changed version the timestamp of the change|
//   | 3    | prev          | previous slot in the live or free list (-1 none) |
//   | 4    | next          | next slot in the live or free list (-1 none)     |
//   | 5    | base          | changed version: its base row (-1 otherwise)     |
//   | 6    | changed       | base row: its changed version (-1 none)          |
//   | 7    | file_ordinal  | position in the data file while the table is     |
//   |      |               | being written (-1: not written)                  |
//
// A slot's number is its index in the slot array.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/idxhash.h"
#include "platform/pages.h"

struct ROWSLOT {
  int32_t insert_ts = -1;
  int32_t delete_ts = -1;
  int32_t update_ts = -1;
  int32_t prev = -1;
  int32_t next = -1;
  int32_t base = -1;
  int32_t changed = -1;
  int32_t file_ordinal = -1;
};

// The first slot allocation holds this many slots.
inline constexpr int ROWPOOL_FIRSTSLOTS = 50;
// A full slot array grows by this many slots.
inline constexpr int ROWPOOL_GROWSLOTS = 10000;
// Rows are laid out one after the other in data blocks of about this many
// bytes (the first block holds ROWPOOL_FIRSTSLOTS rows), so that a walk
// over the table reads memory in order instead of one allocation per row.
// A block is one huge page: a table of many rows costs few page faults.
inline constexpr int ROWPOOL_BLOCKBYTES = int(PLATFORM_HUGEPAGE);

struct ROWPOOL {
  std::vector<ROWSLOT> slots;  // slot count = slots.size()
  int32_t head = -1;           // first slot of the live list
  int32_t free_head = -1;      // first slot of the free list
  int32_t cursor = -1;         // where RowPool_Next continues (-1: at end)
  int32_t row_size = 0;        // bytes per row
  // The bytes of each slot's row, inside the data blocks (which never move,
  // so the pointers stay valid). A freed slot keeps its bytes: a table that
  // shrinks and grows again does not allocate.
  std::vector<unsigned char*> row_data;
  std::vector<PLATFORM_PAGESPTR> blocks;
  int32_t block_rows_left = 0;  // rows still free in the last block
};

// Empties the pool and sets its row size. Frees every slot and buffer.
void ROWPOOL_Init(ROWPOOL* pool, int row_size);

// Takes the free-list head (keeping its buffer) or appends a new slot, gives
// it `insert_ts`, and puts it at the head of the live list. Returns the slot
// number. The row bytes are whatever the slot held before (zero for a new
// slot); the caller writes the row.
int RowPool_NewSlot(ROWPOOL* pool, int insert_ts);

// Releases slot `number`:
//  - a changed version: its base row forgets it;
//  - a base row with a changed version: the changed version takes the base
//    row's place in the live list;
//  - any other base row: it leaves the live list.
// The slot then goes on the free list.
void RowPool_FreeSlot(ROWPOOL* pool, int number);

// Starts an iteration at the head of the live list.
void RowPool_First(ROWPOOL* pool);

// The row iterator: the next row version visible to a reader at `timestamp`
// (-1: the latest state), or -1 at the end. Newest rows come first.
//  - latest state: a base row with a changed version yields the version
//    unless the version is deleted; otherwise the base row unless deleted.
//  - timestamp a >= 0: when a is not below the base row's insert, update and
//    delete timestamps and it has a changed version, the version (unless
//    deleted); else the base row when inserted at or before a and not
//    deleted at or before a.
int RowPool_Next(ROWPOOL* pool, int timestamp);
// The same with a cursor of the caller's (start it at pool.head), so that a
// walk inside another walk over the same pool does not disturb it.
// Inline: table scans and counts call it once per row.
inline int ROWPOOL_NextFrom(const ROWPOOL& pool, int timestamp, int* cursor);

// The accessor through which the indexes reach the rows of `pool`.
// The pool must stay at its address while an index refers to it.
IDXROWS ROWPOOL_Rows(ROWPOOL* pool);

// The slot into which a change of row `number` at `timestamp` is written:
// a changed version is changed in place; a base row gets a new changed
// version holding a copy of its bytes. A base row that already has a changed
// version means the pool is inconsistent: the process ends.
int KASPO_Change(ROWPOOL* pool, int number, int timestamp);

// The bytes of slot `number`.
// REQUIRES: 0 <= number < slot count.
unsigned char* ROWPOOL_Data(ROWPOOL* pool, int number);
const unsigned char* ROWPOOL_Data(const ROWPOOL& pool, int number);

// Number of base rows in the live list, whatever their timestamps.
int ROWPOOL_LiveCount(const ROWPOOL& pool);

// List primitives for commit and rollback.
// Removes base row `number` from the live list.
void ROWPOOL_Unlink(ROWPOOL* pool, int number);
// Puts the changed version `version` into the live list at the place of
// its base row `base` and clears the version's base link. The base row is
// left outside every list.
void ROWPOOL_Promote(ROWPOOL* pool, int base, int version);
// Pushes slot `number` on the free list (its links are overwritten).
void ROWPOOL_PushFree(ROWPOOL* pool, int number);

// ---------------------------------------------------------------------------
// The row iterator's step, inline.

// The version of base row `number` (slot `b`) visible at `a`, or -1.
inline int ROWPOOL_Visible(const ROWPOOL& pool, const ROWSLOT& b, int number, int a) {
  const int c = b.changed;
  if (a == -1) {
    if (c >= 0) return pool.slots[size_t(c)].delete_ts == -1 ? c : -1;
    return b.delete_ts == -1 ? number : -1;
  }
  if (a >= b.insert_ts && a >= b.update_ts && a >= b.delete_ts && c >= 0) {
    return pool.slots[size_t(c)].delete_ts == -1 ? c : -1;
  }
  if (a >= b.insert_ts && (b.delete_ts == -1 || a < b.delete_ts)) return number;
  return -1;
}

inline int ROWPOOL_NextFrom(const ROWPOOL& pool, int timestamp, int* cursor) {
  int at = *cursor;
  while (at >= 0) {
    // A live-list entry that still carries a base link stands for that
    // base row.
    int number = at;
    if (pool.slots[size_t(at)].base >= 0) number = pool.slots[size_t(at)].base;
    const ROWSLOT& b = pool.slots[size_t(number)];
    at = b.next;
    const int yielded = ROWPOOL_Visible(pool, b, number, timestamp);
    if (yielded >= 0) {
      *cursor = at;
      return yielded;
    }
  }
  *cursor = at;
  return -1;
}
