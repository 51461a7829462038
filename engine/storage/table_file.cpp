// table_file.cpp: writing and reading table files, save all, fatal exit.
#include "engine/storage/table_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/catalog/rowindex.h"
#include "engine/catalog/startup.h"
#include "engine/storage/alloc.h"
#include "engine/storage/redo_log.h"
#include "engine/types/values.h"
#include "engine/types/wire.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kDataNotCreated[] = "(TARVIC) Data-file '%s' could not be created!\n";
constexpr char kIndexNotCreated[] = "(TARVIC) Index-file '%s' could not be created!\n";
constexpr char kSaveFailed[] = "(TARVICDB) Saving data failed (data may be corrupted)\n";

constexpr char kHeader[] = "##";
constexpr int kNameSize = 4;  // attribute-name bytes kept in the index file

int WriteInt32(PLATFORM_NEWFILE* file, int32_t value) {
  unsigned char le[4];
  WIRE_PutInt32(le, value);
  return PLATFORM_NewFileWrite(file, le, 4);
}

// Attributes with an ordered list, in attribute order.
std::vector<DBATTRIB*> ListedAttribs(DBTABLE* table) {
  std::vector<DBATTRIB*> listed;
  for (DBATTRIB* attrib : CATALOG_Attribs(table)) {
    if (attrib->list) listed.push_back(attrib);
  }
  return listed;
}

// Writes the rows of the committed state; each written slot gets its file
// ordinal, every other slot -1. `written` receives the slots in file order.
int WriteRows(PLATFORM_NEWFILE* file, DBTABLE* table, int timestamp, std::vector<int>* written) {
  ROWPOOL& pool = table->rows;
  for (ROWSLOT& slot : pool.slots) slot.file_ordinal = -1;
  if (!PLATFORM_NewFileWrite(file, kHeader, 2) || !WriteInt32(file, pool.row_size)) return 0;
  int cursor = pool.head;
  for (int s = RowPool_NextFrom(pool, timestamp, &cursor); s >= 0;
       s = RowPool_NextFrom(pool, timestamp, &cursor)) {
    pool.slots[s].file_ordinal = static_cast<int32_t>(written->size());
    written->push_back(s);
    if (!PLATFORM_NewFileWrite(file, RowPool_Data(pool, s), pool.row_size)) return 0;
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
    if (row >= 0 && row < static_cast<int>(pool.slots.size()) && pool.slots[row].file_ordinal >= 0) {
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
    return CmpData(attrib->type, RowPool_Data(pool, a) + attrib->offset,
                   RowPool_Data(pool, b) + attrib->offset) < 0;
  });
  ordinals.clear();
  for (int row : by_value) ordinals.push_back(pool.slots[row].file_ordinal);
  return ordinals;
}

int WriteIndex(PLATFORM_NEWFILE* file, DBTABLE* table, const std::vector<DBATTRIB*>& listed,
               const std::vector<int>& written) {
  if (!PLATFORM_NewFileWrite(file, kHeader, 2) ||
      !WriteInt32(file, static_cast<int32_t>(written.size()))) {
    return 0;
  }
  for (DBATTRIB* attrib : listed) {
    char name[kNameSize] = {};
    std::memcpy(name, attrib->name.data(), std::min<size_t>(kNameSize, attrib->name.size()));
    if (!PLATFORM_NewFileWrite(file, "#", 1) || !WriteInt32(file, kNameSize) ||
        !PLATFORM_NewFileWrite(file, name, kNameSize)) {
      return 0;
    }
    std::vector<int32_t> ordinals = OrdinalsByValue(table, attrib, written);
    std::vector<unsigned char> bytes(ordinals.size() * 4);
    for (size_t i = 0; i < ordinals.size(); ++i) WIRE_PutInt32(&bytes[i * 4], ordinals[i]);
    if (!PLATFORM_NewFileWrite(file, bytes.data(), bytes.size())) return 0;
  }
  return 1;
}

void SaveAndQuit() { Engine_FatalExit(1); }

bool HasStaticTable(DBDATABASE* db) {
  for (int i = 0; i < db->tables.count; ++i) {
    DBTABLE* table = CATALOG_Table(db, i);
    if (table != nullptr && table->kind == '1') return true;
  }
  return false;
}

}  // namespace

std::string TABLE_FilePath(const char* db_name, const std::string& table, const char* extension) {
  return STARTUP_DatabaseDir(db_name) + PLATFORM_SEPARATOR + table + extension;
}

int TABLE_Write(DBDATABASE* db, DBTABLE* table) {
  if (table->kind != '1' || table->loaded != '1') return 1;
  if (!PLATFORM_IsDirectory(STARTUP_DatabaseDir(db->name).c_str())) return 0;
  if (table->rows.row_size < 0) return 1;
  // A file not committed is discarded when it goes out of scope, leaving
  // the one of the last good save.
  std::string data_path = TABLE_FilePath(db->name, table->name, ".dat");
  PLATFORM_NEWFILE data;
  if (!PLATFORM_NewFileOpen(&data, data_path)) {
    DBreport(kDataNotCreated, data_path.c_str());
    return 0;
  }
  std::vector<int> written;
  if (!WriteRows(&data, table, db->committed_ts, &written)) return 0;
  std::vector<DBATTRIB*> listed = ListedAttribs(table);
  if (listed.empty()) return PLATFORM_NewFileCommit(&data, PLATFORM_CACHED);
  std::string index_path = TABLE_FilePath(db->name, table->name, ".idx");
  PLATFORM_NEWFILE index;
  if (!PLATFORM_NewFileOpen(&index, index_path)) {
    DBreport(kIndexNotCreated, index_path.c_str());
    return 0;
  }
  if (!WriteIndex(&index, table, listed, written)) return 0;
  return PLATFORM_NewFileCommit(&data, PLATFORM_CACHED) &&
         PLATFORM_NewFileCommit(&index, PLATFORM_CACHED);
}

int TABLE_WriteDatabase(DBDATABASE* db) {
  if (!PLATFORM_IsDirectory(STARTUP_DatabaseDir(db->name).c_str())) return 0;
  for (int i = 0; i < db->tables.count; ++i) {
    DBTABLE* table = CATALOG_Table(db, i);
    if (table != nullptr && !TABLE_Write(db, table)) return 0;
  }
  return 1;
}

int Engine_SaveAll() {
  ENGINE& engine = CATALOG_Engine();
  for (int i = 0; i < engine.db_count; ++i) {
    DBDATABASE* db = &engine.dbs[i];
    // A database without static tables has no file to write and no redo
    // log: when its directory could not be made (only a warning without
    // an engine name), nothing is lost.
    if (!HasStaticTable(db) && !PLATFORM_IsDirectory(STARTUP_DatabaseDir(db->name).c_str())) {
      continue;
    }
    if (!TABLE_WriteDatabase(db) || !Redo_Delete(db->name, "")) return 0;
  }
  return 1;
}

void Engine_FatalExit(int /*status*/) {
  ENGINE& engine = CATALOG_Engine();
  if (!engine.saved) {
    engine.saved = 1;
    if (!Engine_SaveAll()) DBreport(kSaveFailed);
  }
  PLATFORM_QuickExit(1);
}

void Engine_InstallFatalExit() {
  PLATFORM_SetFatalHandler(SaveAndQuit);
  ALLOC_SetFailHandler(Engine_FatalExit);
}

// ---------------------------------------------------------------------------
// Reading

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
constexpr char kIdxNameSizeInvalid[] = "(TARVIC) Warning: Index-file '%s' invalid name-size (%d)!\n";
constexpr char kIdxWrongAttrib[] =
    "(TARVIC) Warning: Index-file '%s' index for attrib '%s' expected (found '%s')!\n";
constexpr char kIdxShort[] =
    "(TARVIC) Warning: Index-file '%s' unexpected end of file reading index '%s'!\n";
// An index file that does not belong to the data file beside it (a save
// that ended between the two files, or a damaged file) is rebuilt too.
constexpr char kIdxCountDiffers[] =
    "(TARVIC) Warning: Index-file '%s' row count %d differs from data-file (%d rows)!\n";
constexpr char kIdxBadRow[] = "(TARVIC) Warning: Index-file '%s' invalid row number in index '%s'!\n";

constexpr int kMaxNameSize = 100;  // a larger name size marks a damaged file

int ReadInt32(FILE* file, int32_t* value) {
  unsigned char le[4];
  if (std::fread(le, 1, 4, file) != 4) return 0;
  *value = WIRE_GetInt32(le);
  return 1;
}

// Positions the data file after its header, or at 0 for an older file
// without one. *has_header tells which.
int ReadDataHeader(FILE* file, const std::string& path, DBTABLE* table, bool* has_header) {
  char magic[2] = {};
  *has_header = std::fread(magic, 1, 2, file) == 2 && magic[0] == '#' && magic[1] == '#';
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
    if (std::fread(RowPool_Data(pool, s), 1, row_size, file) != row_size) {
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
  if (std::fread(&mark, 1, 1, file) != 1 || mark != '#') {
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
  size_t got = std::fread(name, 1, static_cast<size_t>(name_size), file);
  if (got != static_cast<size_t>(name_size) ||
      std::strncmp(attrib->name.c_str(), name, static_cast<size_t>(name_size)) != 0) {
    DBreport(kIdxWrongAttrib, path.c_str(), attrib->name.c_str(), name);
    return 0;
  }
  size_t n = slot_of.size();
  std::vector<unsigned char> bytes(n * 4);
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
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
  if (std::fread(magic, 1, 2, file.get()) != 2 || magic[0] != '#' || magic[1] != '#') {
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
  for (DBATTRIB* attrib : ListedAttribs(table)) {
    if (!ReadAttribIndex(file.get(), path, attrib, slot_of)) return 0;
  }
  return 1;
}

}  // namespace

int TABLE_Read(DBDATABASE* db, DBTABLE* table) {
  if (table->kind != '1') return 1;
  if (!PLATFORM_IsDirectory(STARTUP_DatabaseDir(db->name).c_str())) return 0;
  std::string data_path = TABLE_FilePath(db->name, table->name, ".dat");
  PLATFORM_FILEPTR data(PLATFORM_OpenRead(data_path.c_str()));
  if (!data) {
    DBreport(kDataNotOpened, data_path.c_str());
    return 1;
  }
  bool has_header = false;
  if (!ReadDataHeader(data.get(), data_path, table, &has_header)) return 0;
  int timestamp = db->committed_ts;
  std::vector<int> slot_of = ReadRows(data.get(), table, timestamp, !has_header);
  if (!has_header || ListedAttribs(table).empty()) return 1;
  std::string index_path = TABLE_FilePath(db->name, table->name, ".idx");
  if (!ReadIndexFile(index_path, table, slot_of)) ROWIDX_RebuildLists(table, timestamp);
  return 1;
}
