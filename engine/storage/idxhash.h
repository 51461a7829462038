// idxhash.h: the hash index behind every UNIQUE index (IDXHASH), the key
// hash of a row, and the unique check.
// Owns its buckets; the rows belong to the table and are reached through an
// IDXROWS accessor, so the index never depends on how rows are stored.
//
// Bucket (a growable array of 32-bit words):
//
//   | Word  | Meaning                                     |
//   |-------|---------------------------------------------|
//   | 0     | capacity in words                           |
//   | 1     | next free word (2 when the bucket is empty) |
//   | 2 ... | row numbers                                 |
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// How an index reaches the rows of its table. The table's row storage
// supplies these functions; `ctx` is passed back to each of them.
struct IDXROWS {
  void* ctx = nullptr;
  // The bytes of row `row` (a row number the index holds).
  const unsigned char* (*row_data)(void* ctx, int row) = nullptr;
  // A walk over the rows visible at a timestamp: first() gives a fresh
  // cursor; next() gives the next visible row from *cursor and advances it,
  // or -1 at the end. The cursor lives with the caller, so an index rebuilt
  // in the middle of another walk over the same table does not disturb it.
  int (*first)(void* ctx) = nullptr;
  int (*next)(void* ctx, int timestamp, int* cursor) = nullptr;
};

// One attribute of a key: where it lies in a row and how it is compared.
struct IDXKEYATTR {
  int offset = 0;          // byte offset in the row
  int size = 0;            // field size in the row (CHARACTER(n): n + 1)
  unsigned char type = 0;  // DBTYPE_* of engine/types/values.h
};

// The attributes of a UNIQUE index, in index order.
struct IDXKEY {
  std::vector<IDXKEYATTR> attrs;
};

inline constexpr int IDXHASH_MINSIZE = 11;  // smaller HashSize values are raised to this
// Words of a new bucket: its two header words and room for two rows. Keys
// spread evenly, so a bucket rarely holds more than a few rows; a full one
// doubles, which keeps the cost per row constant however many collide.
inline constexpr int IDXHASH_FIRSTWORDS = 4;
inline constexpr int IDXHASH_MIDSIZE = 30011;   // first resize target
inline constexpr int IDXHASH_MAXSIZE = 300017;  // last resize target; never grows beyond

struct IDXHASH {
  std::vector<std::unique_ptr<int32_t[]>> buckets;  // null: an empty bucket
  int hash_size = -1;                               // the HashSize; -1 after IDXHASH_Free
  int entries = 0;
};

// A UNIQUE index as the table keeps it: its key and its hash index.
struct IDXUNIQUE {
  IDXKEY key;
  IDXHASH hash;
};

// Creates an empty index of `hash_size` buckets. A size of 10 or less prints
// "(IDXHASH_New) Warning: HashSize %d is too small (11 used)\n" and uses 11.
void IDXHASH_New(IDXHASH* index, int hash_size);

// Adds `row` to the bucket of `hash` (hash modulo HashSize). A freed index
// is first created anew with 11 buckets.
void IDXHASH_Insert(IDXHASH* index, uint32_t hash, int row);

// Removes `row` from the bucket of `hash` (the bucket's last row takes its
// place). Returns 0 when the row is not there.
[[nodiscard]] int IDXHASH_Delete(IDXHASH* index, uint32_t hash, int row);

// The row numbers of the bucket of `hash`: *out_count of them at *out_rows
// (count 0 for an empty bucket). Valid until the index changes.
void IDXHASH_Lookup(const IDXHASH& index, uint32_t hash, const int32_t** out_rows, int* out_count);

// Empties every bucket (keeping its storage); entry count 0.
void IDXHASH_Clear(IDXHASH* index);

// Frees every bucket and the bucket array; HashSize becomes -1.
void IDXHASH_Free(IDXHASH* index);

// Adds one field to a running key hash `h` and returns the new hash.
// CHARACTER: the text up to its NUL (or the field's end) without trailing
// blanks, so a text hashes alike with or without them.
// BINARY: the length word and the bytes of the value (see the .cpp).
// Other types: the field's 32-bit words are XORed in and its last bytes added.
// Each field's contribution is mixed, so that similar keys spread over all
// buckets. A constant may be hashed as if it were a field: a CHARACTER
// constant needs only its text and NUL, other types the full `size` bytes.
uint32_t IDXHASH_FieldHash(uint32_t h, int type, int size, const unsigned char* field);

// The key hash of a row over all key attributes in index order.
uint32_t IDXHASH_KeyHash(const IDXKEY& key, const unsigned char* row);

// 1 when the key attributes of two rows are equal: CHARACTER by text with
// trailing blanks ignored, BINARY by length and content, others byte by byte.
[[nodiscard]] int IDXHASH_KeyEqual(const IDXKEY& key, const unsigned char* a,
                                   const unsigned char* b);

// The unique check of row `row` against every index: 0 when another row
// number in the bucket of its key carries an equal key (every version in the
// index counts, whatever its timestamps).
[[nodiscard]] int IDXHASH_UniqueOk(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows,
                                   int row);

// Adds row `row` to every index. When an index below 300017 buckets then
// holds more rows than buckets, every index is rebuilt: created anew with
// 30011 buckets when it held fewer than 30011 rows, else 300017, and filled
// with the rows visible at `timestamp`. Returns 1 when it rebuilt.
int IDXHASH_AddRow(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows, int row,
                   int timestamp);
// The same for many rows at once, with one resize check after the last:
// a bulk load rebuilds an index at most once per batch.
int IDXHASH_AddRows(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows,
                    std::span<const int> row_numbers, int timestamp);

// Removes row `row` from every index. A row missing from an index means the
// rows and the indexes disagree: the process ends through the fatal exit.
void IDXHASH_RemoveRow(std::span<IDXUNIQUE* const> indexes, const IDXROWS& rows, int row);

// Frees `index` and fills it anew with `hash_size` buckets from the rows
// visible at `timestamp`.
void IDXHASH_Rebuild(IDXUNIQUE* index, const IDXROWS& rows, int hash_size, int timestamp);
