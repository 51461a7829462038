// idxarray.h: the name index of catalogue objects (IDXARRAY).
// Owns its entries (a name and a pointer to the object) and the chain
// blocks that find them by their first two characters; the objects belong
// to the caller.
//
// Entries are never moved or reused: an entry number, and the object it
// points at, stay valid for the life of the array. A deleted entry keeps its
// slot with an empty name, so positions of the others never change (the
// catalogue stores table positions).
//
// Chain heads: one per (first, second) character pair, 26 rows for the first
// character 'A'..'Z' and 37 columns for the second: 'A'..'Z' -> 0..25,
// '0'..'9' -> 25..34 (code minus 23), '_' -> 36. Every other name shares one
// extra chain, so no name ever indexes outside the table.
//
// Chain block (ten 32-bit words):
//
//   | Word | Meaning                                               |
//   |------|-------------------------------------------------------|
//   | 0..8 | entry numbers; -1 ends the chain, -2 a deleted entry   |
//   | 9    | number of the next block of the chain (-1: none)       |
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

inline constexpr int IDXARRAY_NAMESIZE = 32;       // name field incl. NUL; longer names are cut
inline constexpr int IDXARRAY_FIRSTENTRIES = 100;  // entries taken by the first add
inline constexpr int IDXARRAY_GROWENTRIES = 500;   // a full entry array grows by this
inline constexpr int IDXARRAY_FIRSTBLOCKS = 100;   // chain blocks taken at first use
inline constexpr int IDXARRAY_GROWBLOCKS = 500;    // a full block pool grows by this
inline constexpr int IDXARRAY_ROWS = 26;           // first character 'A'..'Z'
inline constexpr int IDXARRAY_COLUMNS = 37;        // second character, see above
inline constexpr int IDXARRAY_BLOCKWORDS = 10;     // words per chain block
inline constexpr int IDXARRAY_CHAIN_END = -1;      // chain word: end of chain / empty head
inline constexpr int IDXARRAY_CHAIN_DELETED = -2;  // chain word: deleted entry, reusable

struct IDXENTRY {
  char name[IDXARRAY_NAMESIZE] = {};  // empty when the entry is deleted
  void* object = nullptr;
};

struct IDXARRAY {
  int count = 0;      // entries ever added, deleted ones included
  int capacity = -1;  // -1 until the first add
  std::vector<IDXENTRY> entries;
  // Chain heads, row-major; the last one is the chain of names outside the
  // two-character table.
  std::array<int32_t, IDXARRAY_ROWS * IDXARRAY_COLUMNS + 1> heads;
  int block_count = 0;
  int block_capacity = -1;  // -1 until the first chain block
  std::vector<std::array<int32_t, IDXARRAY_BLOCKWORDS>> blocks;
  int cursor = 0;  // where IDXARRAY_Next continues

  IDXARRAY() { heads.fill(IDXARRAY_CHAIN_END); }
};

// Makes `array` empty: count 0, capacity -1, every chain head -1, no blocks.
void IDXARRAY_Init(IDXARRAY* array);

// Releases the entries and the chain blocks; the array is then empty as
// after IDXARRAY_Init. The objects are not touched.
void IDXARRAY_Free(IDXARRAY* array);

// Appends an entry and links it into its chain; returns its number. There
// is no duplicate check: callers look the name up first. An empty name
// prints "(IDXARRAY_Add) Name not defined\n", a one-character name
// "(IDXARRAY_Add) Invalid name '%s'\n"; both end the process with status 1.
int IDXARRAY_Add(IDXARRAY* array, std::string_view name, void* object);

// The live entry named `name`, or null (always null for names shorter than
// two characters). *out_number gets its number when out_number is not null.
// The pointer is valid until the next IDXARRAY_Add.
IDXENTRY* IDXARRAY_Find(IDXARRAY* array, std::string_view name, int* out_number);
const IDXENTRY* IDXARRAY_Find(const IDXARRAY& array, std::string_view name, int* out_number);

// Unlinks entry `number` from its chain and empties its name; the slot is
// never reused. An entry not found in its chain (never added, or already
// deleted) prints "(IDXARRAY_Delete) Index not found\n" and ends the process
// with status 1.
void IDXARRAY_Delete(IDXARRAY* array, int number);

// Entry `i`, or null when i is not below the entry count or the entry is
// deleted.
IDXENTRY* IDXARRAY_Get(IDXARRAY* array, int i);
const IDXENTRY* IDXARRAY_Get(const IDXARRAY& array, int i);

// Number of live entries.
int IDXARRAY_Count(const IDXARRAY& array);

// Iteration over live entries in entry order with the cursor kept in the
// array: First starts over, Next continues; both give null at the end and
// store the entry number in *out_number when it is not null.
IDXENTRY* IDXARRAY_First(IDXARRAY* array, int* out_number);
IDXENTRY* IDXARRAY_Next(IDXARRAY* array, int* out_number);
