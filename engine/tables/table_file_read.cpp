// table_file_read.cpp: reading table files.
#include "engine/tables/table_file.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/catalog/datadir.h"
#include "engine/tables/rowindex.h"
#include "engine/types/wire.h"
#include "platform/files.h"
#include "platform/report.h"

namespace {

constexpr char kDataNotOpened[] = "(TARVIC) Warning: Data-file '%s' could not be opened!\n";
constexpr char kRowSizeMissing[] =
    "(TARVIC) Warning: Data-file '%s' unexpected end of file (row-size missing)!\n";
constexpr char kRowSizeDiffers[] =
    "(TARVIC) Warning: Data-file '%s' different row size for table '%s'!\n";
constexpr char kIdxHeaderMissing[] =
    "(TARVIC) Warning: Index-file '%s' unexpected end of file (##-header missing)!\n";
constexpr char kIdxCountMissing[] =
    "(TARVIC) Warning: Index-file '%s' unexpected end of file (row-size missing)!\n";
constexpr char kIdxAttribMissing[] =
    "(TARVIC) Warning: Index-file '%s' unexpected end of file (#-header missing)!\n";
constexpr char kIdxNameSizeMissing[] =
    "(TARVIC) Warning: Index-file '%s' unexpected end of file (name-size missing)!\n";
constexpr char kIdxNameSizeInvalid[] =
    "(TARVIC) Warning: Index-file '%s' invalid name-size (%d)!\n";
constexpr char kIdxWrongAttrib[] =
    "(TARVIC) Warning: Index-file '%s' index for attrib '%s' expected (found '%s')!\n";
constexpr char kIdxShort[] =
    "(TARVIC) Warning: Index-file '%s' unexpected end of file reading index '%s'!\n";
// An index file that does not belong to the data file beside it (a save
// that ended between the two files, or a damaged file) is rebuilt too.
constexpr char kIdxCountDiffers[] =
    "(TARVIC) Warning: Index-file '%s' row count %d differs from data-file (%d rows)!\n";
constexpr char kIdxBadRow[] =
    "(TARVIC) Warning: Index-file '%s' invalid row number in index '%s'!\n";

constexpr int kMaxNameSize = 100;  // a larger name size marks a damaged file

// Up to `size` bytes through the platform's reads (which tests can make
// fail); fewer at the end of the file or on a read error.
size_t ReadUpTo(FILE* file, void* buffer, size_t size) {
  size_t got = 0;
  return PLATFORM_Read(file, buffer, size, &got) ? got : 0;
}

int ReadInt32(FILE* file, int32_t* value) {
  unsigned char le[4];
  if (ReadUpTo(file, le, 4) != 4) return 0;
  *value = WIRE_GetInt32(le);
  return 1;
}

// Positions the data file after its header, or at 0 for an older file
// without one. *has_header tells which.
int ReadDataHeader(FILE* file, const std::string& path, DBTABLE* table, bool* has_header) {
  char magic[2] = {};
  *has_header = ReadUpTo(file, magic, 2) == 2 && magic[0] == '#' && magic[1] == '#';
  if (!*has_header) {
    std::rewind(file);
    return 1;
  }
  int32_t row_size = 0;
  if (!ReadInt32(file, &row_size)) {
    DBreport(kRowSizeMissing, path.c_str());
    return 0;
  }
  if (row_size != table->rows.row_size) {
    DBreport(kRowSizeDiffers, path.c_str(), table->name.c_str());
    return 0;
  }
  return 1;
}

// Reads rows until one is short; returns the slots in file order.
std::vector<int> ReadRows(FILE* file, DBTABLE* table, int timestamp, bool fill_lists) {
  std::vector<int> slots;
  ROWPOOL* pool = &table->rows;
  size_t row_size = static_cast<size_t>(pool->row_size);
  if (row_size == 0) return slots;  // a zero-byte read would never end
  std::vector<IDXUNIQUE*> uniques;
  CATALOG_UniqueIndexes(table, &uniques);
  const IDXROWS rows = ROWIDX_Rows(table);
  for (;;) {
    int s = RowPool_NewSlot(pool, timestamp);
    if (ReadUpTo(file, ROWPOOL_Data(pool, s), row_size) != row_size) {
      RowPool_FreeSlot(pool, s);
      return slots;
    }
    slots.push_back(s);
    if (!uniques.empty()) (void)IDXHASH_AddRow(uniques, rows, s, timestamp);
    if (fill_lists) ROWIDX_AddLists(table, s, {});
  }
}

// Reads one attribute's section into its list. Returns 0 after a warning.
int ReadAttribIndex(FILE* file, const std::string& path, DBATTRIB* attrib,
                    const std::vector<int>& slot_of) {
  char mark = 0;
  if (ReadUpTo(file, &mark, 1) != 1 || mark != '#') {
    DBreport(kIdxAttribMissing, path.c_str());
    return 0;
  }
  int32_t name_size = 0;
  if (!ReadInt32(file, &name_size)) {
    DBreport(kIdxNameSizeMissing, path.c_str());
    return 0;
  }
  if (name_size < 0 || name_size >= kMaxNameSize) {
    DBreport(kIdxNameSizeInvalid, path.c_str(), name_size);
    return 0;
  }
  char name[kMaxNameSize + 1] = {};
  size_t got = ReadUpTo(file, name, static_cast<size_t>(name_size));
  if (got != static_cast<size_t>(name_size) ||
      std::strncmp(attrib->name.c_str(), name, static_cast<size_t>(name_size)) != 0) {
    DBreport(kIdxWrongAttrib, path.c_str(), attrib->name.c_str(), name);
    return 0;
  }
  size_t n = slot_of.size();
  std::vector<unsigned char> bytes(n * 4);
  if (ReadUpTo(file, bytes.data(), bytes.size()) != bytes.size()) {
    DBreport(kIdxShort, path.c_str(), attrib->name.c_str());
    return 0;
  }
  std::vector<int32_t> rows(n);
  std::vector<char> seen(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = static_cast<uint32_t>(WIRE_GetInt32(&bytes[i * 4]));
    if (v >= n || seen[v]) {
      DBreport(kIdxBadRow, path.c_str(), attrib->name.c_str());
      return 0;
    }
    seen[v] = 1;
    rows[i] = slot_of[v];
  }
  IDXLIST_Append(attrib->list.get(), rows.data(), static_cast<int>(n));
  return 1;
}

// Fills the ordered lists from the index file. Returns 0 (after a warning)
// when the lists must be rebuilt from the rows instead.
int ReadIndexFile(const std::string& path, DBTABLE* table, const std::vector<int>& slot_of) {
  PLATFORM_FILEPTR file(PLATFORM_OpenRead(path.c_str()));
  if (!file) return 0;
  char magic[2] = {};
  if (ReadUpTo(file.get(), magic, 2) != 2 || magic[0] != '#' || magic[1] != '#') {
    DBreport(kIdxHeaderMissing, path.c_str());
    return 0;
  }
  int32_t count = 0;
  if (!ReadInt32(file.get(), &count)) {
    DBreport(kIdxCountMissing, path.c_str());
    return 0;
  }
  if (count != static_cast<int32_t>(slot_of.size())) {
    DBreport(kIdxCountDiffers, path.c_str(), count, static_cast<int>(slot_of.size()));
    return 0;
  }
  for (DBATTRIB* attrib : TBLFILE_ListedAttribs(table)) {
    if (!ReadAttribIndex(file.get(), path, attrib, slot_of)) return 0;
  }
  return 1;
}

}  // namespace

int TABLE_Read(DBDATABASE* db, DBTABLE* table) {
  if (table->kind != '1') return 1;
  if (!PLATFORM_IsDirectory(DATADIR_DatabasePath(db->name).c_str())) return 0;
  std::string data_path = TBLFILE_Path(db->name, table->name, ".dat");
  PLATFORM_FILEPTR data(PLATFORM_OpenRead(data_path.c_str()));
  if (!data) {
    DBreport(kDataNotOpened, data_path.c_str());
    return 1;
  }
  bool has_header = false;
  if (!ReadDataHeader(data.get(), data_path, table, &has_header)) return 0;
  int timestamp = db->committed_ts;
  std::vector<int> slot_of = ReadRows(data.get(), table, timestamp, !has_header);
  if (!has_header || TBLFILE_ListedAttribs(table).empty()) return 1;
  std::string index_path = TBLFILE_Path(db->name, table->name, ".idx");
  if (!ReadIndexFile(index_path, table, slot_of)) ROWIDX_RebuildLists(table, timestamp);
  return 1;
}
