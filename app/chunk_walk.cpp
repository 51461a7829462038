// chunk_walk.cpp: chunk rows by key.
#include "app/chunk_walk.h"

#include <cstddef>
#include <cstring>
#include <iterator>

#include "client/struct_assign.h"
#include "records/record_io.h"

namespace {
constexpr char kKeysQuery[] = "SELECT BLOBJ_ID, FK_ID, FK_TABLE FROM BLOBJ";
constexpr char kRowLost[] = "(CHUNKWALK) Chunk '%s' could not be read!\n";

// The key columns, filled into a BLOBJ record.
constexpr RECIO_FIELD kKeyFields[] = {
    {"BLOBJ_Id", offsetof(BLOBJ, blobj_id), STRUCT_STRING, BLOBJ_IDLEN + 1},
    {"FK_Id", offsetof(BLOBJ, fk_id), STRUCT_STRING, BLOBJ_IDLEN + 1},
    {"FK_Table", offsetof(BLOBJ, fk_table), STRUCT_SHORT, 2},
};
constexpr RECIO_TABLE kKeys = {"BLOBJ", RECORD_TABLE_BLOBJ, BLOBJ_SIZE, kKeyFields,
                               static_cast<int>(std::size(kKeyFields))};
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
  if (!RECIO_SelectAll(kKeys, handle, kKeysQuery, &result, &status)) return 0;
  BLOBJ row;
  BLOBJ_Init(&row);
  const int rows = DBresult_rows(result.get());
  out_refs->reserve(static_cast<std::size_t>(rows));
  for (int k = 0; k < rows; ++k) {
    if (!RECIO_Fill(kKeys, &row, result.get(), k, status)) return 0;
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
