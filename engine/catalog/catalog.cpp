// catalog.cpp: the engine state, its lookups and its compaction rules.
#include "engine/catalog/catalog.h"

#include <cstring>
#include <utility>

#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "engine/types/wire.h"

namespace {

constexpr char kNoMoreConns[] = "(%.*s) No more connections available (DB_MAXCONNS = %d)!";
constexpr char kNoMoreDbs[] = "(CREATE DATABASE) No more databases available (DB_MAXDBS = %d)!";
constexpr char kConnNotFound[] = "(%.*s) Conn_Id %d not found\n";
constexpr char kNoDatabase[] = "(%.*s) No database selected for Conn_Id %d\n";

std::unique_ptr<ENGINE>& EngineSlot() {
  static std::unique_ptr<ENGINE> engine = std::make_unique<ENGINE>();
  return engine;
}

// Stores an owned record at the entry number the name index gave it.
template <typename T>
void Keep(std::vector<std::unique_ptr<T>>* store, int number, std::unique_ptr<T> object) {
  if (static_cast<int>(store->size()) <= number) store->resize(number + 1);
  (*store)[number] = std::move(object);
}

void FreeIndexList(IDXARRAY* list, std::vector<std::unique_ptr<DBINDEX>>* store) {
  for (std::unique_ptr<DBINDEX>& index : *store) {
    if (index) IDXHASH_Free(&index->unique.hash);
  }
  store->clear();
  IDXARRAY_Free(list);
}

void FreeTable(DBTABLE* table) {
  FreeIndexList(&table->indexes, &table->index_store);
  FreeIndexList(&table->uniques, &table->unique_store);
  for (std::unique_ptr<DBATTRIB>& attrib : table->attrib_store) {
    if (attrib && attrib->list) IDXLIST_Clear(attrib->list.get());
  }
  table->attrib_store.clear();
  IDXARRAY_Free(&table->attribs);
  ROWPOOL_Init(&table->rows, 0);
}

void FreeDatabaseContent(DBDATABASE* db) {
  for (std::unique_ptr<DBTABLE>& table : db->table_store) {
    if (table) FreeTable(table.get());
  }
  db->table_store.clear();
  IDXARRAY_Free(&db->tables);
  IDXARRAY_Free(&db->index_names);
  db->name[0] = '\0';
  db->committed_ts = 0;
}

}  // namespace

ENGINE& CATALOG_Engine() { return *EngineSlot(); }

void CATALOG_ResetForTest() {
  ENGINE& engine = CATALOG_Engine();
  for (int i = 0; i < engine.db_count; ++i) FreeDatabaseContent(&engine.dbs[i]);
  EngineSlot() = std::make_unique<ENGINE>();
}

// ---------------------------------------------------------------------------
// Connections

int CATALOG_FindConn(int conn_id, int* out_slot) {
  const ENGINE& engine = CATALOG_Engine();
  int slot = 0;
  while (slot < engine.conn_count && engine.conns[slot].conn_id != conn_id) ++slot;
  *out_slot = slot;
  return slot < engine.conn_count ? 1 : 0;
}

DBCONN* CATALOG_Conn(int conn_id) {
  int slot = 0;
  if (!CATALOG_FindConn(conn_id, &slot)) return nullptr;
  return &CATALOG_Engine().conns[slot];
}

int CATALOG_ConnRoom(std::string_view statement, std::string* error) {
  if (CATALOG_Engine().conn_count < DB_MAXCONNS) return 1;
  *error =
      WIRE_Format(kNoMoreConns, static_cast<int>(statement.size()), statement.data(), DB_MAXCONNS);
  return 0;
}

void CATALOG_CloseCursors(DBCONN* conn) {
  for (DBCURSOR& cursor : conn->cursors) {
    cursor.name[0] = '\0';
    RESDATA_Free(&cursor.result);
  }
  conn->cursor_count = 0;
}

void CATALOG_InitConn(DBCONN* conn, int database) {
  conn->database = database;
  CATALOG_CloseCursors(conn);
  conn->trans_ts = -1;
  conn->changed_count = 0;
  conn->inserted_count = 0;
  conn->max_rows = CATALOG_Engine().default_max_rows;
  conn->redo.clear();
  conn->redo_path.clear();
}

int CATALOG_AddConn(int conn_id, int database, int* out_slot) {
  ENGINE& engine = CATALOG_Engine();
  if (engine.conn_count >= DB_MAXCONNS) return 0;
  int slot = engine.conn_count;
  DBCONN& conn = engine.conns[slot];
  conn.conn_id = conn_id;
  CATALOG_InitConn(&conn, database);
  ++engine.conn_count;
  *out_slot = slot;
  return 1;
}

void CATALOG_RemoveConn(int slot) {
  ENGINE& engine = CATALOG_Engine();
  if (slot < 0 || slot >= engine.conn_count) return;
  int last = engine.conn_count - 1;
  // A swap rather than a copy: the freed record's cursor result sets end up
  // in the slot that falls out of use, ready for the next connection.
  if (slot != last) std::swap(engine.conns[slot], engine.conns[last]);
  engine.conn_count = last;
}

// ---------------------------------------------------------------------------
// Databases

int CATALOG_FindDatabase(std::string_view name, int* out_pos) {
  const ENGINE& engine = CATALOG_Engine();
  int pos = 0;
  while (pos < engine.db_count && name != engine.dbs[pos].name) ++pos;
  *out_pos = pos;
  return pos < engine.db_count ? 1 : 0;
}

int CATALOG_DbRoom(std::string* error) {
  if (CATALOG_Engine().db_count < DB_MAXDBS) return 1;
  *error = WIRE_Format(kNoMoreDbs, DB_MAXDBS);
  return 0;
}

int CATALOG_NewDatabase(std::string_view name, DBDATABASE** out_db) {
  ENGINE& engine = CATALOG_Engine();
  if (engine.db_count >= DB_MAXDBS || name.size() >= DB_NAMESIZE) return 0;
  DBDATABASE& db = engine.dbs[engine.db_count];
  FreeDatabaseContent(&db);
  std::memcpy(db.name, name.data(), name.size());
  db.name[name.size()] = '\0';
  *out_db = &db;
  return 1;
}

void CATALOG_CountDatabase() { ++CATALOG_Engine().db_count; }

void CATALOG_DiscardDatabase() {
  ENGINE& engine = CATALOG_Engine();
  if (engine.db_count < DB_MAXDBS) FreeDatabaseContent(&engine.dbs[engine.db_count]);
}

void CATALOG_RemoveDatabase(int pos) {
  ENGINE& engine = CATALOG_Engine();
  if (pos < 0 || pos >= engine.db_count) return;
  FreeDatabaseContent(&engine.dbs[pos]);
  int last = engine.db_count - 1;
  if (pos != last) {
    std::swap(engine.dbs[pos], engine.dbs[last]);
    for (int i = 0; i < engine.conn_count; ++i) {
      if (engine.conns[i].database == last) engine.conns[i].database = pos;
    }
  }
  engine.db_count = last;
}

// ---------------------------------------------------------------------------
// Tables

int CATALOG_FindTable(DBDATABASE* db, std::string_view name, DBTABLE** out_table, int* out_pos) {
  int pos = -1;
  IDXENTRY* entry = IDXARRAY_Find(&db->tables, name, &pos);
  if (entry == nullptr) return 0;
  *out_table = static_cast<DBTABLE*>(entry->object);
  if (out_pos != nullptr) *out_pos = pos;
  return 1;
}

DBTABLE* CATALOG_Table(DBDATABASE* db, int pos) {
  IDXENTRY* entry = IDXARRAY_Get(&db->tables, pos);
  return entry != nullptr ? static_cast<DBTABLE*>(entry->object) : nullptr;
}

DBTABLE* CATALOG_NewTable(DBDATABASE* db, std::string_view name) {
  auto table = std::make_unique<DBTABLE>();
  table->name = std::string(name);
  DBTABLE* raw = table.get();
  raw->position = IDXARRAY_Add(&db->tables, name, raw);
  Keep(&db->table_store, raw->position, std::move(table));
  return raw;
}

void CATALOG_DropTable(DBDATABASE* db, int pos) {
  DBTABLE* table = CATALOG_Table(db, pos);
  if (table == nullptr) return;
  FreeTable(table);
  IDXARRAY_Delete(&db->tables, pos);
  db->table_store[pos].reset();
}

// ---------------------------------------------------------------------------
// Attributes and row layout

int CATALOG_AddAttrib(DBTABLE* table, std::string_view name, unsigned char type, int n,
                      char not_null, int* running_offset, DBATTRIB** out_attrib) {
  int size = 0;
  if (!VALUE_FieldSize(type, n, &size)) return 0;
  auto attrib = std::make_unique<DBATTRIB>();
  if (!VALUE_PlaceField(type, size, running_offset, &attrib->offset)) return 0;
  attrib->table_pos = table->position;
  attrib->type = type;
  attrib->size = size;
  attrib->not_null = not_null;
  attrib->name = std::string(name);
  DBATTRIB* raw = attrib.get();
  int number = IDXARRAY_Add(&table->attribs, name, raw);
  Keep(&table->attrib_store, number, std::move(attrib));
  *out_attrib = raw;
  return 1;
}

void CATALOG_SetRowSize(DBTABLE* table, int row_size) { ROWPOOL_Init(&table->rows, row_size); }

int CATALOG_FindAttrib(DBTABLE* table, std::string_view name, DBATTRIB** out_attrib, int* out_pos) {
  int pos = -1;
  IDXENTRY* entry = IDXARRAY_Find(&table->attribs, name, &pos);
  if (entry == nullptr) return 0;
  *out_attrib = static_cast<DBATTRIB*>(entry->object);
  if (out_pos != nullptr) *out_pos = pos;
  return 1;
}

std::vector<DBATTRIB*> CATALOG_Attribs(DBTABLE* table) {
  std::vector<DBATTRIB*> attribs;
  attribs.reserve(table->attrib_store.size());  // one allocation, not one per doubling
  for (std::unique_ptr<DBATTRIB>& attrib : table->attrib_store) {
    if (attrib) attribs.push_back(attrib.get());
  }
  return attribs;
}

// ---------------------------------------------------------------------------
// Indexes

DBINDEX* CATALOG_NewIndex(DBTABLE* table, std::string_view name, int unique) {
  auto index = std::make_unique<DBINDEX>();
  DBINDEX* raw = index.get();
  if (unique) {
    IDXHASH_New(&raw->unique.hash, DB_UNIQUEHASHSIZE);
    int number = IDXARRAY_Add(&table->uniques, name, raw);
    Keep(&table->unique_store, number, std::move(index));
  } else {
    int number = IDXARRAY_Add(&table->indexes, name, raw);
    Keep(&table->index_store, number, std::move(index));
  }
  return raw;
}

void CATALOG_IndexAddAttrib(DBINDEX* index, DBATTRIB* attrib) {
  index->attribs.push_back(attrib);
  IDXKEYATTR key;
  key.offset = attrib->offset;
  key.size = attrib->size;
  key.type = attrib->type;
  index->unique.key.attrs.push_back(key);
}

void CATALOG_UseValueList(DBTABLE* table, DBATTRIB* attrib, int timestamp) {
  if (attrib->index_count++ > 0) return;
  attrib->list = std::make_unique<IDXLIST>();
  IDXLIST_Init(attrib->list.get(), ROWPOOL_Rows(&table->rows), attrib->type, attrib->offset);
  if (table->rows.head >= 0) IDXLIST_Rebuild(attrib->list.get(), timestamp);
}

void CATALOG_ReleaseValueList(DBATTRIB* attrib) {
  if (attrib->index_count <= 0) return;
  if (--attrib->index_count > 0) return;
  if (attrib->list) IDXLIST_Clear(attrib->list.get());
  attrib->list.reset();
}

int CATALOG_FindIndex(DBDATABASE* db, std::string_view name, DBTABLE** out_table,
                      DBINDEX** out_index, int* out_unique, int* out_pos) {
  IDXENTRY* owner = IDXARRAY_Find(&db->index_names, name, nullptr);
  if (owner == nullptr) return 0;
  DBTABLE* table = static_cast<DBTABLE*>(owner->object);
  int pos = -1;
  int unique = 0;
  IDXENTRY* entry = IDXARRAY_Find(&table->indexes, name, &pos);
  if (entry == nullptr) {
    entry = IDXARRAY_Find(&table->uniques, name, &pos);
    unique = 1;
  }
  if (entry == nullptr) return 0;
  *out_table = table;
  *out_index = static_cast<DBINDEX*>(entry->object);
  if (out_unique != nullptr) *out_unique = unique;
  if (out_pos != nullptr) *out_pos = pos;
  return 1;
}

void CATALOG_DropIndex(DBTABLE* table, int pos, int unique) {
  IDXARRAY* list = unique ? &table->uniques : &table->indexes;
  std::vector<std::unique_ptr<DBINDEX>>& store = unique ? table->unique_store : table->index_store;
  IDXENTRY* entry = IDXARRAY_Get(list, pos);
  if (entry == nullptr) return;
  DBINDEX* index = static_cast<DBINDEX*>(entry->object);
  if (unique) {
    IDXHASH_Free(&index->unique.hash);
  } else {
    for (DBATTRIB* attrib : index->attribs) CATALOG_ReleaseValueList(attrib);
  }
  IDXARRAY_Delete(list, pos);
  store[pos].reset();
}

void CATALOG_UniqueIndexes(DBTABLE* table, std::vector<IDXUNIQUE*>* out) {
  out->clear();
  out->reserve(table->unique_store.size());
  for (std::unique_ptr<DBINDEX>& index : table->unique_store) {
    if (index) out->push_back(&index->unique);
  }
}

// ---------------------------------------------------------------------------
// Statement preamble

int CATALOG_Preamble(std::string_view statement, int conn_id, DBCONN** out_conn,
                     DBDATABASE** out_db) {
  DBCONN* conn = CATALOG_Conn(conn_id);
  if (conn == nullptr) {
    REPLY_Error(
        WIRE_Format(kConnNotFound, static_cast<int>(statement.size()), statement.data(), conn_id));
    return 0;
  }
  if (conn->database < 0) {
    REPLY_Error(
        WIRE_Format(kNoDatabase, static_cast<int>(statement.size()), statement.data(), conn_id));
    return 0;
  }
  *out_conn = conn;
  *out_db = &CATALOG_Engine().dbs[conn->database];
  return 1;
}
