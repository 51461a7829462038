// rowindex.cpp: moving rows in and out of a table's indexes.
#include "engine/tables/rowindex.h"

#include <vector>

namespace {

// The attributes whose ordered lists a call touches.
std::vector<DBATTRIB*> ListAttribs(DBTABLE* table, std::span<DBATTRIB* const> attribs) {
  std::vector<DBATTRIB*> chosen;
  bool restricted = !attribs.empty() && attribs.size() <= ROWIDX_MAXRESTRICT;
  if (restricted) {
    for (DBATTRIB* attrib : attribs) {
      if (attrib->list) chosen.push_back(attrib);
    }
    return chosen;
  }
  for (std::unique_ptr<DBATTRIB>& attrib : table->attrib_store) {
    if (attrib && attrib->list) chosen.push_back(attrib.get());
  }
  return chosen;
}

}  // namespace

IDXROWS ROWIDX_Rows(DBTABLE* table) { return ROWPOOL_Rows(&table->rows); }

int ROWIDX_UniqueOk(DBTABLE* table, int row) {
  std::vector<IDXUNIQUE*> indexes;
  CATALOG_UniqueIndexes(table, &indexes);
  if (indexes.empty()) return 1;
  return IDXHASH_UniqueOk(indexes, ROWIDX_Rows(table), row);
}

void ROWIDX_AddUnique(DBTABLE* table, int row, int timestamp) {
  std::vector<IDXUNIQUE*> indexes;
  CATALOG_UniqueIndexes(table, &indexes);
  if (indexes.empty()) return;
  (void)IDXHASH_AddRow(indexes, ROWIDX_Rows(table), row, timestamp);
}

void ROWIDX_AddUniqueRows(DBTABLE* table, std::span<const int> rows, int timestamp) {
  std::vector<IDXUNIQUE*> indexes;
  CATALOG_UniqueIndexes(table, &indexes);
  if (indexes.empty() || rows.empty()) return;
  (void)IDXHASH_AddRows(indexes, ROWIDX_Rows(table), rows, timestamp);
}

void ROWIDX_RestoreUnique(DBTABLE* table, int row) {
  const unsigned char* data = ROWPOOL_Data(table->rows, row);
  for (std::unique_ptr<DBINDEX>& index : table->unique_store) {
    if (!index) continue;
    IDXHASH_Insert(&index->unique.hash, IDXHASH_KeyHash(index->unique.key, data), row);
  }
}

void ROWIDX_RemoveUnique(DBTABLE* table, int row) {
  std::vector<IDXUNIQUE*> indexes;
  CATALOG_UniqueIndexes(table, &indexes);
  if (indexes.empty()) return;
  IDXHASH_RemoveRow(indexes, ROWIDX_Rows(table), row);
}

void ROWIDX_AddLists(DBTABLE* table, int row, std::span<DBATTRIB* const> attribs) {
  const unsigned char* data = ROWPOOL_Data(table->rows, row);
  for (DBATTRIB* attrib : ListAttribs(table, attribs)) {
    IDXLIST_Insert(attrib->list.get(), data + attrib->offset, row);
  }
}

void ROWIDX_RemoveLists(DBTABLE* table, int row, std::span<DBATTRIB* const> attribs) {
  const unsigned char* data = ROWPOOL_Data(table->rows, row);
  for (DBATTRIB* attrib : ListAttribs(table, attribs)) {
    (void)IDXLIST_Delete(attrib->list.get(), data + attrib->offset, row);
  }
}

void ROWIDX_RebuildLists(DBTABLE* table, int timestamp) {
  for (DBATTRIB* attrib : ListAttribs(table, {})) IDXLIST_Rebuild(attrib->list.get(), timestamp);
}
