// chunk_walk.h: reading the chunk rows of BLOBJ one row at a time
// (CHUNKWALK). A cursor holds every row of its result at once: over the
// whole table that is every chunk, which cannot grow past about 200 MB (a
// container may hold 99999 chunks of 4000 bytes), and over one item a
// second copy of that item. So a walk reads the keys of the rows it wants
// in one small result, and then the rows by key through the unique index,
// CHUNKWALK_GROUP keys to a statement: one statement per row would cost
// more than the rows themselves.
// Owns nothing of its own: a CHUNKWALK, and a CHUNKREADER, belong to the
// caller that walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/blobj.h"
#include "records/dbhandle.h"
#include "records/record.h"

// Rows read by one statement.
inline constexpr int CHUNKWALK_GROUP = 32;

// What identifies a chunk row, the item it belongs to and its place there.
struct CHUNKREF {
  char blobj_id[BLOBJ_IDLEN + 1];
  char fk_id[BLOBJ_IDLEN + 1];
  int16_t fk_table;
  int16_t item_number;
  char compressed;
};

// The keys of every chunk row, in the order a sequential cursor would
// deliver the rows. Fails (the collected text says why) when not all rows
// could be read.
[[nodiscard]] int CHUNKWALK_Keys(DBHANDLE* handle, std::vector<CHUNKREF>* out_refs);

// The keys of the chunk rows of one item, in the order its foreign-key
// cursor would deliver them.
[[nodiscard]] int CHUNKWALK_ItemKeys(DBHANDLE* handle, const char* fk_id, int fk_table,
                                     std::vector<CHUNKREF>* out_refs);

// The rows of a list of keys, in the list's order.
struct CHUNKREADER {
  const std::vector<CHUNKREF>* refs = nullptr;
  std::size_t next = 0;
  // The rows of refs[group_start .. group_start + group_rows.size()), and
  // for each of those refs its row in `group` (-1: none).
  MYDB_RESULT group;
  int group_status = 0;
  std::size_t group_start = 0;
  std::vector<int> group_rows;
};

// Starts reading the rows of `refs` (which must outlive the reading).
void CHUNKREADER_Start(CHUNKREADER* reader, const std::vector<CHUNKREF>* refs);

// Goes on reading at refs[next]; a group already read that holds it is
// used.
void CHUNKREADER_Seek(CHUNKREADER* reader, std::size_t next);

// The next row into `out_row`. 0 at the end, with an empty collected
// text, or when the row could not be read, with a filled one.
[[nodiscard]] int CHUNKREADER_Next(DBHANDLE* handle, CHUNKREADER* reader, BLOBJ* out_row);

// A walk of every chunk row, in the order a sequential cursor would
// deliver them.
struct CHUNKWALK {
  std::vector<CHUNKREF> refs;
  CHUNKREADER reader;
};

// Starts `walk` over the keys of every chunk row; fails (the collected
// text says why) when they could not all be read.
[[nodiscard]] int CHUNKWALK_Start(CHUNKWALK* walk, DBHANDLE* handle);

// The next row of the walk into `out_row`. Fails at the end with an empty
// collected text (the walk's keys are then let go), after an error with a
// filled one.
[[nodiscard]] int CHUNKWALK_Next(CHUNKWALK* walk, DBHANDLE* handle, BLOBJ* out_row);
