// chunk_walk.cpp: chunk rows by key.
#include "app/chunk_walk.h"

#include <cstddef>
#include <cstring>

#include "client/dbclient.h"

namespace {
constexpr char kRowLost[] = "(CHUNKWALK) Chunk '%s' could not be read!\n";
}  // namespace

CHUNKWALK& CHUNKWALK_State() {
  static CHUNKWALK walk;
  return walk;
}

void CHUNKWALK_ResetForTest() { CHUNKWALK_State() = CHUNKWALK{}; }

int CHUNKWALK_Keys(DBHANDLE* handle, std::vector<CHUNKREF>* out_refs) {
  out_refs->clear();
  MYDB_RESULT result;
  int status = 0;
  if (!BLOBJ_Select_Keys(handle, &result, &status)) return 0;
  BLOBJ row;
  BLOBJ_Init(&row);
  const int rows = DBresult_rows(result.get());
  out_refs->reserve(static_cast<std::size_t>(rows));
  for (int k = 0; k < rows; ++k) {
    if (!BLOBJ_Fill_Keys(&row, result.get(), k, status)) return 0;
    CHUNKREF ref;
    std::memcpy(ref.blobj_id, row.blobj_id, sizeof ref.blobj_id);
    std::memcpy(ref.fk_id, row.fk_id, sizeof ref.fk_id);
    ref.fk_table = row.fk_table;
    out_refs->push_back(ref);
  }
  return 1;
}

int CHUNKWALK_Row(DBHANDLE* handle, const CHUNKREF& ref, BLOBJ* out_row) {
  BLOBJ_Init(out_row);
  std::memcpy(out_row->blobj_id, ref.blobj_id, sizeof ref.blobj_id);
  if (BLOBJ_Select(out_row, handle)) return 1;
  dberror(kRowLost, ref.blobj_id);
  return 0;
}

int CHUNKWALK_Select(RECORD_HEADER* /*record*/, DBHANDLE* handle) {
  CHUNKWALK& walk = CHUNKWALK_State();
  walk.next = 0;
  return CHUNKWALK_Keys(handle, &walk.refs);
}

int CHUNKWALK_Fetch(RECORD_HEADER* record, DBHANDLE* handle) {
  CHUNKWALK& walk = CHUNKWALK_State();
  DBHANDLE_ClearError();
  if (walk.next >= walk.refs.size()) {
    walk = CHUNKWALK{};
    return 0;
  }
  return CHUNKWALK_Row(handle, walk.refs[walk.next++], reinterpret_cast<BLOBJ*>(record));
}
