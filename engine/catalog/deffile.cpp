// deffile.cpp: writing and reading the definition file of a database.
#include "engine/catalog/deffile.h"

#include <cerrno>

#include "engine/catalog/catalog.h"
#include "engine/catalog/datadir.h"
#include "engine/catalog/limits.h"
#include "engine/types/values.h"
#include "engine/types/wire.h"
#include "platform/files.h"
#include "platform/newfile.h"
#include "platform/report.h"

namespace {

constexpr char kWrapped[] = "(TARVIC) %s\n";
constexpr char kItemExpected[] = "(TARVIC) Syntax error in DB-definition: '%s' expected\n";
constexpr char kTableExists[] = "(CREATE TABLE) Table '%s' already exists";
constexpr char kIllegalType[] = "(CREATE TABLE) Syntax error: illegal data-type";
constexpr char kIndexExists[] = "(CREATE INDEX) Index '%s' already exists";
constexpr char kUniqueExists[] = "(CREATE UNIQUE INDEX) Index '%s' already exists";
constexpr char kIndexAttribMissing[] = "(CREATE INDEX) Attribute '%s' does not exist in table '%s'";
constexpr char kUniqueAttribMissing[] =
    "(CREATE UNIQUE INDEX) Attribute '%s' not found in table '%s'";

constexpr size_t kMinName = DB_MINNAMELEN;
constexpr size_t kMaxName = DB_NAMESIZE - 1;

// Reports an engine statement message the way the reader wraps it; always 0
// so that a failing step can `return Wrapped(...)`.
int Wrapped(const std::string& message) {
  DBreport(kWrapped, message.c_str());
  return 0;
}

int Missing(const char* item) {
  DBreport(kItemExpected, item);
  return 0;
}

// The reading position in one definition text.
struct Cursor {
  std::string_view text;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  bool Peek(char c) const { return !AtEnd() && text[pos] == c; }
  // Consumes `c` when it is the next character.
  bool Skip(char c) {
    if (!Peek(c)) return false;
    ++pos;
    return true;
  }
  // Reads the characters up to `delim` and consumes the delimiter.
  bool UpTo(char delim, std::string* out) {
    size_t end = text.find(delim, pos);
    if (end == std::string_view::npos) return false;
    out->assign(text.substr(pos, end - pos));
    pos = end + 1;
    return true;
  }
  // A catalogue name up to `delim`.
  bool Name(char delim, std::string* out) { return UpTo(delim, out) && DEFFILE_NameOk(*out); }
  // One character followed by `after`.
  bool CharThen(char after, char* out) {
    if (pos + 1 >= text.size() || text[pos + 1] != after) return false;
    *out = text[pos];
    pos += 2;
    return true;
  }
};

// The decimal declared length of an attribute: digits only, in range.
bool ParseLength(const std::string& digits, unsigned char type, int* out) {
  if (digits.empty() || digits.size() > 9) return false;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return DEFFILE_LengthOk(type, value) != 0;
}

int ParseAttrib(Cursor* cur, DEFTABLE* table) {
  DEFATTRIB attrib;
  cur->Skip('[');
  if (!cur->Name(',', &attrib.name)) return Missing("attrib-name");
  char type = 0;
  if (!cur->CharThen(',', &type)) return Missing("attrib-type");
  attrib.type = static_cast<unsigned char>(type);
  if (!DEFFILE_IsType(attrib.type)) return Wrapped(kIllegalType);
  if (DEFFILE_HasLength(attrib.type)) {
    std::string digits;
    if (!cur->UpTo(',', &digits) || !ParseLength(digits, attrib.type, &attrib.length)) {
      return Missing("attrib-size");
    }
  }
  if (!cur->CharThen(']', &attrib.not_null)) return Missing("attrib-notnull");
  table->attribs.push_back(std::move(attrib));
  return 1;
}

bool HasAttrib(const DEFTABLE& table, const std::string& name) {
  for (const DEFATTRIB& a : table.attribs) {
    if (a.name == name) return true;
  }
  return false;
}

// Index names are unique across all tables of the database and across both
// kinds of index.
bool IndexNameUsed(const std::vector<DEFTABLE>& tables, const DEFTABLE& current,
                   const std::string& name) {
  auto in = [&name](const std::vector<DEFINDEX>& list) {
    for (const DEFINDEX& idx : list) {
      if (idx.name == name) return true;
    }
    return false;
  };
  for (const DEFTABLE& t : tables) {
    if (in(t.indexes) || in(t.uniques)) return true;
  }
  return in(current.indexes) || in(current.uniques);
}

int ParseIndex(Cursor* cur, const std::vector<DEFTABLE>& tables, DEFTABLE* table, bool unique) {
  DEFINDEX index;
  if (!cur->Name('(', &index.name)) {
    return Missing(unique ? "unique index-name" : "index-name");
  }
  if (IndexNameUsed(tables, *table, index.name)) {
    return Wrapped(WIRE_Format(unique ? kUniqueExists : kIndexExists, index.name.c_str()));
  }
  do {
    std::string attrib;
    if (!cur->Name(')', &attrib)) return Missing("attrib-name");
    if (!HasAttrib(*table, attrib)) {
      return Wrapped(WIRE_Format(unique ? kUniqueAttribMissing : kIndexAttribMissing,
                                 attrib.c_str(), table->name.c_str()));
    }
    index.attribs.push_back(std::move(attrib));
  } while (cur->Skip('('));
  (unique ? table->uniques : table->indexes).push_back(std::move(index));
  return 1;
}

int ParseIndexList(Cursor* cur, const std::vector<DEFTABLE>& tables, DEFTABLE* table, bool unique) {
  while (!cur->Peek(';')) {
    if (!ParseIndex(cur, tables, table, unique)) return 0;
  }
  cur->Skip(';');
  return 1;
}

bool TableExists(const std::vector<DEFTABLE>& tables, const std::string& name) {
  for (const DEFTABLE& t : tables) {
    if (t.name == name) return true;
  }
  return false;
}

// Reads the header "name(kind);". Misplaced separators fail silently.
int ParseHeader(Cursor* cur, const std::vector<DEFTABLE>& tables, DEFTABLE* table) {
  if (!cur->Name('(', &table->name)) return Missing("table-name");
  if (TableExists(tables, table->name)) {
    return Wrapped(WIRE_Format(kTableExists, table->name.c_str()));
  }
  if (!cur->CharThen(')', &table->kind)) return Missing("table static");
  if (table->kind == '2') {
    table->kind = '1';
    table->secure = '1';
  }
  return cur->Skip(';') ? 1 : 0;
}

int ParseTable(Cursor* cur, std::vector<DEFTABLE>* tables) {
  DEFTABLE table;
  if (!ParseHeader(cur, *tables, &table)) return 0;
  if (!cur->Peek('[')) return 0;
  do {
    if (!ParseAttrib(cur, &table)) return 0;
  } while (cur->Peek('['));
  if (!cur->Skip(';')) return 0;
  if (!ParseIndexList(cur, *tables, &table, false)) return 0;
  if (!ParseIndexList(cur, *tables, &table, true)) return 0;
  tables->push_back(std::move(table));
  return 1;
}

void FormatIndexes(const std::vector<DEFINDEX>& list, std::string* out) {
  for (const DEFINDEX& idx : list) {
    *out += idx.name;
    for (const std::string& a : idx.attribs) {
      *out += '(';
      *out += a;
      *out += ')';
    }
  }
  *out += ';';
}

}  // namespace

int DEFFILE_NameOk(std::string_view name) {
  if (name.size() < kMinName || name.size() > kMaxName) return 0;
  for (char c : name) {
    bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return 0;
  }
  return 1;
}

int DEFFILE_DatabaseNameOk(std::string_view name) {
  if (name.empty() || name.size() > kMaxName) return 0;
  if (name == "." || name == "..") return 0;
  return name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos ? 1 : 0;
}

int DEFFILE_IsType(unsigned char type) {
  return (type >= DBTYPE_CHARACTER && type <= DBTYPE_TIMESTAMP) || type == DBTYPE_BINARY ? 1 : 0;
}

int DEFFILE_HasLength(unsigned char type) {
  return type == DBTYPE_CHARACTER || type == DBTYPE_BINARY ? 1 : 0;
}

int DEFFILE_LengthOk(unsigned char type, int length) {
  if (type == DBTYPE_CHARACTER) return length >= DEF_MINLENGTH && length <= DEF_MAXCHARLENGTH;
  if (type == DBTYPE_BINARY) return length >= DEF_MINLENGTH && length <= DEF_MAXBINLENGTH;
  return 0;
}

std::string DEFFILE_Format(const std::vector<DEFTABLE>& tables) {
  std::string out;
  for (const DEFTABLE& t : tables) {
    out += t.name;
    out += '(';
    out += t.secure == '1' ? '2' : t.kind;
    out += ");";
    for (const DEFATTRIB& a : t.attribs) {
      out += '[' + a.name + ',' + static_cast<char>(a.type) + ',';
      if (DEFFILE_HasLength(a.type)) out += std::to_string(a.length) + ',';
      out += a.not_null;
      out += ']';
    }
    out += ';';
    FormatIndexes(t.indexes, &out);
    FormatIndexes(t.uniques, &out);
  }
  return out;
}

int DEFFILE_ParseText(std::string_view text, std::vector<DEFTABLE>* tables) {
  Cursor cur{text, 0};
  tables->clear();
  while (!cur.AtEnd()) {
    if (!ParseTable(&cur, tables)) return 0;
  }
  return 1;
}

// ---------------------------------------------------------------------------
// The definition file of a catalogue database

namespace {

constexpr char kDirNotCreated[] = "(TARVIC) Database-directory '%s' could not be created!\n";
constexpr char kFileNotCreated[] = "(TARVIC) Database-file '%s' could not be created!\n";
constexpr char kDbExists[] = "(CREATE DATABASE) Database '%s' exists!";
constexpr char kBadDbName[] = "database-name";

// A definition file ends at its last byte or at a byte 0xFF.
constexpr unsigned char kEndByte = 0xFF;
constexpr char kDefExtension[] = "def";

void DescribeIndexes(IDXARRAY* list, std::vector<DEFINDEX>* out) {
  for (int i = 0; i < list->count; ++i) {
    IDXENTRY* entry = IDXARRAY_Get(list, i);
    if (entry == nullptr) continue;
    DEFINDEX index;
    index.name = entry->name;
    for (DBATTRIB* a : static_cast<DBINDEX*>(entry->object)->attribs) {
      index.attribs.push_back(a->name);
    }
    out->push_back(std::move(index));
  }
}

DEFTABLE DescribeTable(DBTABLE* table) {
  DEFTABLE t;
  t.name = table->name;
  t.kind = table->kind;
  t.secure = table->secure;
  for (DBATTRIB* a : CATALOG_Attribs(table)) {
    int length = 0;
    if (a->type == DBTYPE_CHARACTER) length = a->size - 1;
    if (a->type == DBTYPE_BINARY) length = a->size - 2;
    t.attribs.push_back({a->name, a->type, length, a->not_null});
  }
  DescribeIndexes(&table->indexes, &t.indexes);
  DescribeIndexes(&table->uniques, &t.uniques);
  return t;
}

// Makes sure `path` is a directory; one that cannot be made is named with
// the system's reason.
int EnsureDirectory(const std::string& path) {
  if (PLATFORM_IsDirectory(path.c_str())) return 1;
  errno = 0;
  const int made = PLATFORM_MakeDirectory(path.c_str());
  const int error = made ? ENOTDIR : errno;
  if (PLATFORM_IsDirectory(path.c_str())) return 1;
  int& reported = CATALOG_Engine().dir_reported;
  if (!reported) {
    DBreport(kDirNotCreated, path.c_str());
    DATADIR_ReportReason(error);
  }
  reported = 1;
  return 0;
}

int WriteDefinition(DBDATABASE* db) {
  if (!EnsureDirectory(DATADIR_EnginePath())) return 0;
  if (!EnsureDirectory(DATADIR_DatabasePath(db->name))) return 0;
  const std::string path = DATADIR_DefFilePath(db->name);
  const std::string text = DEFFILE_Format(DEFFILE_Describe(db));
  errno = 0;
  if (PLATFORM_NewFileReplace(path, text.data(), text.size(), PLATFORM_CACHED)) return 1;
  const int error = errno;
  DBreport(kFileNotCreated, path.c_str());
  DATADIR_ReportReason(error);
  return 0;
}

void AddIndexes(DBDATABASE* db, DBTABLE* table, const std::vector<DEFINDEX>& list, int unique) {
  for (const DEFINDEX& def : list) {
    IDXARRAY_Add(&db->index_names, def.name, table);
    DBINDEX* index = CATALOG_NewIndex(table, def.name, unique);
    for (const std::string& name : def.attribs) {
      DBATTRIB* attrib = nullptr;
      // The reader checked that every index attribute exists.
      if (!CATALOG_FindAttrib(table, name, &attrib, nullptr)) continue;
      CATALOG_IndexAddAttrib(index, attrib);
      // The table is still empty: the value list starts empty.
      if (!unique) CATALOG_UseValueList(table, attrib, db->committed_ts + 1);
    }
  }
}

int AddTable(DBDATABASE* db, const DEFTABLE& def) {
  DBTABLE* table = CATALOG_NewTable(db, def.name);
  table->kind = def.kind;
  table->secure = def.secure;
  table->loaded = '0';
  int running = 0;
  for (const DEFATTRIB& a : def.attribs) {
    DBATTRIB* attrib = nullptr;
    if (!CATALOG_AddAttrib(table, a.name, a.type, a.length, a.not_null, &running, &attrib)) {
      return 0;
    }
  }
  CATALOG_SetRowSize(table, running);
  AddIndexes(db, table, def.indexes, 0);
  AddIndexes(db, table, def.uniques, 1);
  return 1;
}

// The database name of a directory entry "<name>.def" (the text after the
// last "." exactly "def"), or 0 for any other entry.
int DefFileDatabase(const std::string& entry, std::string* name) {
  size_t dot = entry.rfind('.');
  if (dot == std::string::npos || entry.compare(dot + 1, std::string::npos, kDefExtension) != 0) {
    return 0;
  }
  *name = entry.substr(0, dot);
  return 1;
}

}  // namespace

std::vector<DEFTABLE> DEFFILE_Describe(DBDATABASE* db) {
  std::vector<DEFTABLE> tables;
  for (int i = 0; i < db->tables.count; ++i) {
    if (DBTABLE* table = CATALOG_Table(db, i)) tables.push_back(DescribeTable(table));
  }
  return tables;
}

int Def_Write(DBDATABASE* db) {
  if (WriteDefinition(db)) return 1;
  // Started without an engine name, the engine never reads a definition
  // file back, so the catalogue in memory is all there is: a file that
  // could not be written (its message is out) loses nothing, and the
  // statement goes on.
  return CATALOG_Engine().engine_name.empty() ? 1 : 0;
}

int Def_Parse(const char* name, const unsigned char* text, int length) {
  int pos = 0;
  if (CATALOG_FindDatabase(name, &pos)) return Wrapped(WIRE_Format(kDbExists, name));
  std::string room;
  if (!CATALOG_DbRoom(&room)) return Wrapped(room);
  if (!DEFFILE_DatabaseNameOk(name)) return Missing(kBadDbName);
  std::vector<DEFTABLE> tables;
  std::string_view view(reinterpret_cast<const char*>(text), length > 0 ? length : 0);
  if (!DEFFILE_ParseText(view, &tables)) return 0;
  DBDATABASE* db = nullptr;
  if (!CATALOG_NewDatabase(name, &db)) return 0;
  for (const DEFTABLE& def : tables) {
    if (!AddTable(db, def)) {
      CATALOG_DiscardDatabase();
      return 0;
    }
  }
  CATALOG_CountDatabase();
  return 1;
}

int Def_ReadAll() {
  std::string dir = DATADIR_EnginePath();
  if (!PLATFORM_IsDirectory(dir.c_str())) return 1;
  std::vector<std::string> entries;
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &entries)) return 0;
  for (const std::string& entry : entries) {
    std::string name;
    if (!DefFileDatabase(entry, &name)) continue;
    std::vector<unsigned char> bytes;
    if (!PLATFORM_ReadFile((dir + PLATFORM_SEPARATOR + entry).c_str(), &bytes)) return 0;
    size_t end = 0;
    while (end < bytes.size() && bytes[end] != kEndByte) ++end;
    if (!Def_Parse(name.c_str(), bytes.data(), static_cast<int>(end))) return 0;
  }
  return 1;
}
