// chunk_walk.cpp: chunk rows by key.
#include "records/chunk_walk.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "client/dbclient.h"

namespace {
constexpr char kRowLost[] = "(CHUNKWALK) Chunk '%s' could not be read!\n";

// The refs of a key result.
int RefsOf(const MYDB_RESULT& result, int status, std::vector<CHUNKREF>* out_refs) {
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
    ref.item_number = row.item_number;
    ref.compressed = row.compressed;
    out_refs->push_back(ref);
  }
  return 1;
}

// Reads the rows of the group that starts at reader->next.
int ReadGroup(DBHANDLE* handle, CHUNKREADER* reader) {
  const std::vector<CHUNKREF>& refs = *reader->refs;
  const std::size_t end = std::min(refs.size(), reader->next + CHUNKWALK_GROUP);
  std::vector<std::string> keys;
  for (std::size_t k = reader->next; k < end; ++k) keys.emplace_back(refs[k].blobj_id);
  reader->group_start = reader->next;
  reader->group_rows.assign(keys.size(), -1);
  reader->group = nullptr;
  if (!BLOBJ_Select_Keys_In(keys, handle, &reader->group, &reader->group_status)) return 0;
  const int rows = DBresult_rows(reader->group.get());
  for (int r = 0; r < rows; ++r) {
    const char* id = reinterpret_cast<const char*>(DBresult_cell(reader->group.get(), r, 0));
    for (std::size_t k = 0; id != nullptr && k < keys.size(); ++k) {
      if (reader->group_rows[k] < 0 && std::strncmp(id, keys[k].c_str(), BLOBJ_IDLEN + 1) == 0) {
        reader->group_rows[k] = r;
        break;
      }
    }
  }
  return 1;
}
}  // namespace

int CHUNKWALK_Keys(DBHANDLE* handle, std::vector<CHUNKREF>* out_refs) {
  out_refs->clear();
  MYDB_RESULT result;
  int status = 0;
  return BLOBJ_Select_Keys(handle, &result, &status) && RefsOf(result, status, out_refs);
}

int CHUNKWALK_ItemKeys(DBHANDLE* handle, const char* fk_id, int fk_table,
                       std::vector<CHUNKREF>* out_refs) {
  out_refs->clear();
  BLOBJ item;
  BLOBJ_Init(&item);
  std::memset(item.fk_id, 0, sizeof item.fk_id);
  std::strncpy(item.fk_id, fk_id, BLOBJ_IDLEN);
  item.fk_table = static_cast<int16_t>(fk_table);
  MYDB_RESULT result;
  int status = 0;
  return BLOBJ_Select_FK_Keys(&item, handle, &result, &status) && RefsOf(result, status, out_refs);
}

void CHUNKREADER_Start(CHUNKREADER* reader, const std::vector<CHUNKREF>* refs) {
  *reader = CHUNKREADER{};
  reader->refs = refs;
}

void CHUNKREADER_Seek(CHUNKREADER* reader, std::size_t next) { reader->next = next; }

int CHUNKREADER_Next(DBHANDLE* handle, CHUNKREADER* reader, BLOBJ* out_row) {
  DBHANDLE_ClearError();
  if (reader->refs == nullptr || reader->next >= reader->refs->size()) return 0;
  if ((reader->next < reader->group_start ||
       reader->next >= reader->group_start + reader->group_rows.size()) &&
      !ReadGroup(handle, reader)) {
    return 0;
  }
  const CHUNKREF& ref = (*reader->refs)[reader->next];
  const int row = reader->group_rows[reader->next - reader->group_start];
  ++reader->next;
  BLOBJ_Init(out_row);
  if (row >= 0 && BLOBJ_Fill(out_row, reader->group.get(), row, reader->group_status, handle)) {
    return 1;
  }
  dberror(kRowLost, ref.blobj_id);
  return 0;
}

int CHUNKWALK_Start(CHUNKWALK* walk, DBHANDLE* handle) {
  *walk = CHUNKWALK{};
  if (!CHUNKWALK_Keys(handle, &walk->refs)) return 0;
  CHUNKREADER_Start(&walk->reader, &walk->refs);
  return 1;
}

int CHUNKWALK_Next(CHUNKWALK* walk, DBHANDLE* handle, BLOBJ* out_row) {
  const int got = CHUNKREADER_Next(handle, &walk->reader, out_row);
  if (!got && DBHANDLE_ErrorText().empty()) *walk = CHUNKWALK{};
  return got;
}
