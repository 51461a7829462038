// chunk_walk.h: walking the chunk rows of BLOBJ one row at a time
// (CHUNKWALK). A cursor over the whole table would hold every chunk in one
// result set, which cannot grow past about 200 MB; a container may hold
// 99999 chunks of 4000 bytes. So the walk reads the keys of all rows in
// one small result and then each row by its key, through the unique index.
// Owns the key list of the walk that TABLE_File_Save drives (one at a
// time, process-wide).
#pragma once

#include <cstdint>
#include <vector>

#include "records/blobj.h"
#include "records/dbhandle.h"
#include "records/record.h"

// What identifies a chunk row and the item it belongs to.
struct CHUNKREF {
  char blobj_id[BLOBJ_IDLEN + 1];
  char fk_id[BLOBJ_IDLEN + 1];
  int16_t fk_table;
};

// The keys of every chunk row, in the order a sequential cursor would
// deliver the rows. Fails (the collected text says why) when not all rows
// could be read.
[[nodiscard]] int CHUNKWALK_Keys(DBHANDLE* handle, std::vector<CHUNKREF>* out_refs);

// The chunk row of `ref`. A failure leaves a line in the collected text.
[[nodiscard]] int CHUNKWALK_Row(DBHANDLE* handle, const CHUNKREF& ref, BLOBJ* out_row);

// The select and fetch functions of a table section over this walk: the
// record is a BLOBJ. Fetch fails at the end with an empty collected text,
// after an error with a filled one.
[[nodiscard]] int CHUNKWALK_Select(RECORD_HEADER* record, DBHANDLE* handle);
[[nodiscard]] int CHUNKWALK_Fetch(RECORD_HEADER* record, DBHANDLE* handle);

struct CHUNKWALK {
  std::vector<CHUNKREF> refs;
  std::size_t next = 0;
};
CHUNKWALK& CHUNKWALK_State();
void CHUNKWALK_ResetForTest();
