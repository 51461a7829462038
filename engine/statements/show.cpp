// show.cpp: SHOW and MAX.
#include "engine/statements/show.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "engine/types/tokens.h"
#include "engine/types/values.h"

namespace {

constexpr char kShow[] = "(SHOW)";
constexpr char kShowTable[] = "(SHOW TABLE)";
constexpr char kTableNameMissing[] = "(SHOW TABLE) table-name is missing";
constexpr char kTableNotFound[] = "(SHOW TABLE) Table '%s' not found";
constexpr char kTablesTableNotFound[] = "(SHOW TABLES) Table '%s' not found";
constexpr char kOnTableNameMissing[] = "(SHOW INDICES ON TABLE) table-name is missing";
constexpr char kOnTableNotFound[] = "(SHOW INDICES ON TABLE) Table '%s' not found";
constexpr char kIndexNameMissing[] = "(SHOW INDEX) index-name is missing";
// SHOW INDEX reports an unknown index name under the SHOW TABLE prefix;
// clients match the text as it stands.
constexpr char kIndexNotFound[] = "(SHOW TABLE) Index '%s' not found";
constexpr char kIndexNotInTable[] = "(SHOW INDEX) Index '%s' not found in table '%s'";
constexpr char kMaxConnNotFound[] = "(MAX) Conn_Id %d not found\n";
constexpr char kMax[] = "(MAX)";
constexpr char kYes[] = "Yes";
constexpr char kNo[] = "No";

struct SHOWCOLUMN {
  const char* name;
  int32_t size;  // as announced in the header, whatever the cell texts
};

constexpr SHOWCOLUMN kDatabaseColumns[] = {{"Database", 32}};
constexpr SHOWCOLUMN kTablesColumns[] = {{"Table", 32}, {"Static", 3}, {"Secure", 3}};
constexpr SHOWCOLUMN kIndicesColumns[] = {{"Index", 32}, {"Table", 32}};
constexpr SHOWCOLUMN kAttribColumns[] = {
    {"Attribute", 32}, {"Type", 9}, {"Size", 5}, {"NOT NULL", 3}};
constexpr SHOWCOLUMN kOnTableColumns[] = {{"Indices", 32}, {"Unique", 3}};
constexpr SHOWCOLUMN kMaxColumns[] = {{"Max-Results", 9}};

using SHOWROWS = std::vector<std::vector<std::string>>;

// Writes a whole SHOW result: header, then the cells row by row.
void WriteTable(std::span<const SHOWCOLUMN> columns, const SHOWROWS& rows) {
  REPLY_RowsBegin('2', static_cast<int32_t>(columns.size()), static_cast<int32_t>(rows.size()));
  for (const SHOWCOLUMN& c : columns) REPLY_Column(c.name, DBTYPE_CHARACTER, c.size);
  for (const std::vector<std::string>& row : rows)
    for (const std::string& cell : row) REPLY_CellText(cell);
}

const char* YesNo(bool yes) { return yes ? kYes : kNo; }

const char* TypeText(unsigned char type) {
  switch (type) {
    case DBTYPE_CHARACTER: return "CHARACTER";
    case DBTYPE_SMALLINT: return "SMALLINT";
    case DBTYPE_INTEGER: return "INTEGER";
    case DBTYPE_FLOAT: return "FLOAT";
    case DBTYPE_DATE: return "DATE";
    case DBTYPE_TIME: return "TIME";
    case DBTYPE_TIMESTAMP: return "TIMESTAMP";
    case DBTYPE_BINARY: return "BINARY";
    default: return "Unknown Datatype";
  }
}

// The size as it was declared: the row size of CHARACTER holds the zero,
// that of BINARY the length field.
std::string SizeText(const DBATTRIB& attrib) {
  if (attrib.size <= 0) return "";
  int declared = attrib.size;
  if (attrib.type == DBTYPE_CHARACTER) declared -= 1;
  if (attrib.type == DBTYPE_BINARY) declared -= 2;
  return std::to_string(declared);
}

std::vector<std::string> AttribRow(const DBATTRIB& attrib) {
  return {attrib.name, TypeText(attrib.type), SizeText(attrib), YesNo(attrib.not_null == '1')};
}

void ShowDatabases() {
  const ENGINE& engine = CATALOG_Engine();
  SHOWROWS rows;
  for (int i = 0; i < engine.db_count; ++i) rows.push_back({engine.dbs[i].name});
  WriteTable(kDatabaseColumns, rows);
}

void ShowTables(int conn_id) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble("SHOW TABLES", conn_id, &conn, &db)) return;
  SHOWROWS rows;
  for (int i = 0; i < db->tables.count; ++i) {
    const IDXENTRY* entry = IDXARRAY_Get(db->tables, i);
    if (entry == nullptr) continue;
    DBTABLE* table = nullptr;
    int pos = 0;
    if (!CATALOG_FindTable(db, entry->name, &table, &pos)) {
      REPLY_Errorf(kTablesTableNotFound, entry->name);
      return;
    }
    rows.push_back({table->name, YesNo(table->kind == '1'), YesNo(table->secure == '1')});
  }
  WriteTable(kTablesColumns, rows);
}

void ShowIndices(int conn_id) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble("SHOW INDICES", conn_id, &conn, &db)) return;
  SHOWROWS rows;
  for (int i = 0; i < db->index_names.count; ++i) {
    const IDXENTRY* entry = IDXARRAY_Get(db->index_names, i);
    if (entry == nullptr) continue;
    const auto* owner = static_cast<const DBTABLE*>(entry->object);
    rows.push_back({entry->name, owner->name});
  }
  WriteTable(kIndicesColumns, rows);
}

void ShowAttributes(DBTABLE* table) {
  SHOWROWS rows;
  for (const DBATTRIB* attrib : CATALOG_Attribs(table)) rows.push_back(AttribRow(*attrib));
  WriteTable(kAttribColumns, rows);
}

// Appends one row per live index of `list`.
void AddIndexRows(const IDXARRAY& list, const char* unique, SHOWROWS* rows) {
  for (int i = 0; i < list.count; ++i) {
    const IDXENTRY* entry = IDXARRAY_Get(list, i);
    if (entry != nullptr) rows->push_back({entry->name, unique});
  }
}

void ShowIndicesOnTable(DBDATABASE* db, const unsigned char* msg, int length, int pos) {
  std::string name;
  if (!TOKEN_ReadName(msg, length, &pos, kOnTableNameMissing, &name)) return;
  DBTABLE* table = nullptr;
  int table_pos = 0;
  if (!CATALOG_FindTable(db, name, &table, &table_pos)) {
    REPLY_Errorf(kOnTableNotFound, name.c_str());
    return;
  }
  SHOWROWS rows;
  AddIndexRows(table->indexes, kNo, &rows);
  AddIndexRows(table->uniques, kYes, &rows);
  WriteTable(kOnTableColumns, rows);
}

// SHOW TABLE t and SHOW INDICES ON TABLE t; `pos` follows the '?'.
void ShowTable(int conn_id, const unsigned char* msg, int length, int pos) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble("SHOW TABLE", conn_id, &conn, &db)) return;
  if (pos >= length) {
    REPLY_ErrorDetail(kShowTable, "");
    return;
  }
  unsigned char kind = 0;
  const int next = TOKEN_Kind(msg, length, pos, &kind);
  if (kind == DBTK_INDICES) {
    ShowIndicesOnTable(db, msg, length, next);
    return;
  }
  if (kind != DBTK_IDENT) {
    REPLY_Error(kShowTable);
    return;
  }
  std::string name;
  std::string detail;
  if (TOKEN_Text(msg, length, next, &name, &detail) == TOKEN_FAILED) {
    REPLY_ErrorDetail(kTableNameMissing, detail);
    return;
  }
  DBTABLE* table = nullptr;
  int table_pos = 0;
  if (!CATALOG_FindTable(db, name, &table, &table_pos)) {
    REPLY_Errorf(kTableNotFound, name.c_str());
    return;
  }
  ShowAttributes(table);
}

// The definition named `name` in `list`, or null.
const DBINDEX* IndexIn(const IDXARRAY& list, std::string_view name) {
  const IDXENTRY* entry = IDXARRAY_Find(list, name, nullptr);
  return entry != nullptr ? static_cast<const DBINDEX*>(entry->object) : nullptr;
}

// SHOW INDEX i; `pos` follows the '9'.
void ShowIndex(int conn_id, const unsigned char* msg, int length, int pos) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble("SHOW INDEX", conn_id, &conn, &db)) return;
  std::string name;
  if (!TOKEN_ReadName(msg, length, &pos, kIndexNameMissing, &name)) return;
  const IDXENTRY* owner = IDXARRAY_Find(db->index_names, name, nullptr);
  if (owner == nullptr) {
    REPLY_Errorf(kIndexNotFound, name.c_str());
    return;
  }
  const auto* table = static_cast<const DBTABLE*>(owner->object);
  const DBINDEX* index = IndexIn(table->indexes, name);
  if (index == nullptr) index = IndexIn(table->uniques, name);
  if (index == nullptr) {
    REPLY_Errorf(kIndexNotInTable, name.c_str(), table->name.c_str());
    return;
  }
  SHOWROWS rows;
  for (const DBATTRIB* attrib : index->attribs) rows.push_back(AttribRow(*attrib));
  WriteTable(kAttribColumns, rows);
}

}  // namespace

void SHOW_Command(int conn_id, const unsigned char* msg, int length) {
  if (length <= 1) {
    REPLY_ErrorDetail(kShow, "");
    return;
  }
  unsigned char kind = 0;
  const int pos = TOKEN_Kind(msg, length, 1, &kind);
  switch (kind) {
    case DBTK_DATABASES: ShowDatabases(); break;
    case DBTK_TABLES: ShowTables(conn_id); break;
    case DBTK_INDICES: ShowIndices(conn_id); break;
    case DBTK_TABLE: ShowTable(conn_id, msg, length, pos); break;
    case DBTK_INDEX: ShowIndex(conn_id, msg, length, pos); break;
    default: break;
  }
}

void SHOW_Max(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = CATALOG_Conn(conn_id);
  if (conn == nullptr) {
    REPLY_Errorf(kMaxConnNotFound, conn_id);
    return;
  }
  unsigned char kind = 0;
  const int pos = TOKEN_Kind(msg, length, 1, &kind);
  if (kind != DBTK_INTVAL) {
    WriteTable(kMaxColumns, {{std::to_string(conn->max_rows)}});
    return;
  }
  int32_t value = 0;
  std::string detail;
  if (TOKEN_Int32(msg, length, pos, &value, &detail) == TOKEN_FAILED) {
    REPLY_ErrorDetail(kMax, detail);
    return;
  }
  conn->max_rows = value;
  REPLY_Success();
}
