// table_file_write.cpp: writing table files.
#include "engine/tables/table_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/catalog/datadir.h"
#include "engine/types/values.h"
#include "engine/types/wire.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/report.h"

namespace {

constexpr char kDataNotCreated[] = "(TARVIC) Data-file '%s' could not be created!\n";
constexpr char kIndexNotCreated[] = "(TARVIC) Index-file '%s' could not be created!\n";
constexpr char kDataNotWritten[] = "(TARVIC) Error writing data-file '%s'!\n";
constexpr char kIndexNotWritten[] = "(TARVIC) Error writing index-file '%s'!\n";

// Names a table file that could not be created or written, with the
// system's reason (errno as the failed call left it). Returns 0.
int Failed(const char* message, const std::string& path) {
  const int error = errno;
  DBreport(message, path.c_str());
  DATADIR_ReportReason(error);
  return 0;
}

int WriteInt32(PLATFORM_NEWFILE* file, int32_t value) {
  unsigned char le[4];
  WIRE_PutInt32(le, value);
  return PLATFORM_NewFileWrite(file, le, 4);
}

// Writes the rows of the committed state; each written slot gets its file
// ordinal, every other slot -1. `written` receives the slots in file order.
int WriteRows(PLATFORM_NEWFILE* file, DBTABLE* table, int timestamp, std::vector<int>* written) {
  ROWPOOL& pool = table->rows;
  for (ROWSLOT& slot : pool.slots) slot.file_ordinal = -1;
  if (!PLATFORM_NewFileWrite(file, TBLFILE_MAGIC, 2) || !WriteInt32(file, pool.row_size)) return 0;
  int cursor = pool.head;
  for (int s = ROWPOOL_NextFrom(pool, timestamp, &cursor); s >= 0;
       s = ROWPOOL_NextFrom(pool, timestamp, &cursor)) {
    pool.slots[s].file_ordinal = static_cast<int32_t>(written->size());
    written->push_back(s);
    if (!PLATFORM_NewFileWrite(file, ROWPOOL_Data(pool, s), pool.row_size)) return 0;
  }
  return 1;
}

// The file ordinals of the written rows in ascending order of `attrib`.
// The list holds the current versions; when they are not exactly the rows
// written (an open transaction inserted or deleted some), the written rows
// are ordered by value instead, so the file always lists each row once.
std::vector<int32_t> OrdinalsByValue(DBTABLE* table, DBATTRIB* attrib,
                                     const std::vector<int>& written) {
  const ROWPOOL& pool = table->rows;
  std::vector<int> rows;
  IDXLIST_Rows(*attrib->list, &rows);
  std::vector<int32_t> ordinals;
  for (int row : rows) {
    if (row >= 0 && row < static_cast<int>(pool.slots.size()) &&
        pool.slots[row].file_ordinal >= 0) {
      ordinals.push_back(pool.slots[row].file_ordinal);
    }
  }
  std::vector<int32_t> sorted = ordinals;
  std::sort(sorted.begin(), sorted.end());
  bool complete = sorted.size() == written.size() &&
                  std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
  if (complete) return ordinals;
  std::vector<int> by_value = written;
  std::stable_sort(by_value.begin(), by_value.end(), [&](int a, int b) {
    return CmpData(attrib->type, ROWPOOL_Data(pool, a) + attrib->offset,
                   ROWPOOL_Data(pool, b) + attrib->offset) < 0;
  });
  ordinals.clear();
  for (int row : by_value) ordinals.push_back(pool.slots[row].file_ordinal);
  return ordinals;
}

int WriteIndex(PLATFORM_NEWFILE* file, DBTABLE* table, const std::vector<DBATTRIB*>& listed,
               const std::vector<int>& written) {
  if (!PLATFORM_NewFileWrite(file, TBLFILE_MAGIC, 2) ||
      !WriteInt32(file, static_cast<int32_t>(written.size()))) {
    return 0;
  }
  for (DBATTRIB* attrib : listed) {
    char name[TBLFILE_NAMESIZE] = {};
    std::memcpy(name, attrib->name.data(), std::min<size_t>(TBLFILE_NAMESIZE, attrib->name.size()));
    if (!PLATFORM_NewFileWrite(file, "#", 1) || !WriteInt32(file, TBLFILE_NAMESIZE) ||
        !PLATFORM_NewFileWrite(file, name, TBLFILE_NAMESIZE)) {
      return 0;
    }
    std::vector<int32_t> ordinals = OrdinalsByValue(table, attrib, written);
    std::vector<unsigned char> bytes(ordinals.size() * 4);
    for (size_t i = 0; i < ordinals.size(); ++i) WIRE_PutInt32(&bytes[i * 4], ordinals[i]);
    if (!PLATFORM_NewFileWrite(file, bytes.data(), bytes.size())) return 0;
  }
  return 1;
}

}  // namespace

int TABLE_Write(DBDATABASE* db, DBTABLE* table) {
  if (table->kind != '1' || table->loaded != '1') return 1;
  if (!DATADIR_Require(DATADIR_DatabasePath(db->name))) return 0;
  if (table->rows.row_size < 0) return 1;
  // A file not committed is discarded when it goes out of scope, leaving
  // the one of the last good save. Each failure names the file and the
  // system's reason.
  std::string data_path = TBLFILE_Path(db->name, table->name, ".dat");
  PLATFORM_NEWFILE data;
  errno = 0;
  if (!PLATFORM_NewFileOpen(&data, data_path)) return Failed(kDataNotCreated, data_path);
  std::vector<int> written;
  errno = 0;
  if (!WriteRows(&data, table, db->committed_ts, &written)) {
    return Failed(kDataNotWritten, data_path);
  }
  std::vector<DBATTRIB*> listed = TBLFILE_ListedAttribs(table);
  if (listed.empty()) {
    errno = 0;
    return PLATFORM_NewFileCommit(&data, PLATFORM_CACHED) ? 1 : Failed(kDataNotWritten, data_path);
  }
  std::string index_path = TBLFILE_Path(db->name, table->name, ".idx");
  PLATFORM_NEWFILE index;
  errno = 0;
  if (!PLATFORM_NewFileOpen(&index, index_path)) return Failed(kIndexNotCreated, index_path);
  errno = 0;
  if (!WriteIndex(&index, table, listed, written)) return Failed(kIndexNotWritten, index_path);
  errno = 0;
  if (!PLATFORM_NewFileCommit(&data, PLATFORM_CACHED)) return Failed(kDataNotWritten, data_path);
  errno = 0;
  if (!PLATFORM_NewFileCommit(&index, PLATFORM_CACHED)) {
    return Failed(kIndexNotWritten, index_path);
  }
  return 1;
}

int TBLFILE_WriteDatabase(DBDATABASE* db) {
  if (!DATADIR_Require(DATADIR_DatabasePath(db->name))) return 0;
  for (int i = 0; i < db->tables.count; ++i) {
    DBTABLE* table = CATALOG_Table(db, i);
    if (table != nullptr && !TABLE_Write(db, table)) return 0;
  }
  return 1;
}
