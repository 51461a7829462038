// catalog.h: the engine's whole state (ENGINE): connections, databases and,
// per database, its tables, attributes, indexes and committed timestamp.
// Owns every catalogue record and, through the tables, every row and index.
//
// Invariants:
//  - Connection slots 0 .. conn_count-1 and database slots 0 .. db_count-1
//    are in use, without holes; removing one moves the last into its place.
//  - A table's position in its database's table list never changes while
//    the table exists (deleted entries keep their slot), so attributes can
//    record it. Entries of the name indexes are never moved, so pointers to
//    tables, attributes and indexes stay valid until the object is dropped.
//  - An attribute has a value list (IDXLIST) exactly while its index count
//    is above 0.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/limits.h"
#include "engine/storage/idxarray.h"
#include "engine/storage/idxhash.h"
#include "engine/storage/idxlist.h"
#include "engine/storage/rowpool.h"
#include "engine/types/resdata.h"

// The name index keeps every catalogue name whole.
static_assert(IDXARRAY_NAMESIZE == DB_NAMESIZE);

struct DBTABLE;

// Buckets of the hash index of a newly created unique index.
inline constexpr int DB_UNIQUEHASHSIZE = 1003;

struct DBCURSOR {
  char name[DB_NAMESIZE] = {};  // empty: the slot is free
  int32_t fetch_pos = 0;        // row-order position of the next row
  RESDATA result;               // made by DECLARE, freed when the cursor closes
};

struct DBCONN {
  int32_t conn_id = 0;
  int32_t database = -1;  // position in the database table; -1: none
  int32_t trans_ts = -1;  // timestamp of the open transaction; -1: none
  // Tables whose rows the open transaction updated or deleted.
  std::array<DBTABLE*, DB_MAXTABLES> changed_tables{};
  int32_t changed_count = 0;
  std::array<DBCURSOR, DB_MAXCURSORS> cursors;
  int32_t cursor_count = 0;
  int32_t max_rows = DB_DEFAULTMAXROWS;  // most rows a query returns
  std::string redo_path;                 // empty: the database's own redo log
  // Redo records of the open transaction (size = bytes used).
  std::vector<unsigned char> redo;
  // Tables into which the open transaction inserted rows.
  std::array<DBTABLE*, DB_MAXTABLES> inserted_tables{};
  int32_t inserted_count = 0;
};

struct DBATTRIB {
  int32_t table_pos = -1;  // position of the owning table
  int32_t offset = 0;      // of the value inside a row
  unsigned char type = 0;  // DBTYPE_* of engine/types/values.h
  int32_t size = 0;        // bytes of the value in a row
  char not_null = '0';
  std::string name;
  int32_t index_count = 0;  // non-unique indexes containing the attribute
  // The attribute's ordered list; exists exactly while index_count > 0.
  std::unique_ptr<IDXLIST> list;
};

struct DBINDEX {
  // Indexed attributes in the order the statement named them (a name given
  // twice is listed twice).
  std::vector<DBATTRIB*> attribs;
  // Unique indexes only: the key (mirroring `attribs`) and the hash index.
  IDXUNIQUE unique;
};

struct DBTABLE {
  char kind = '0';    // '0' ordinary, '1' static (written to table files)
  char loaded = '1';  // '1' when the rows are in memory
  IDXARRAY attribs;   // name -> DBATTRIB, in declaration order
  ROWPOOL rows;       // the rows; row_size is the layout's row size
  IDXARRAY indexes;   // name -> DBINDEX, non-unique
  IDXARRAY uniques;   // name -> DBINDEX, unique
  std::string name;
  char secure = '0';      // '1': changes also go to the redo log
  int32_t position = -1;  // in the database's table list
  // Owners of the records the name indexes point at, by entry number.
  std::vector<std::unique_ptr<DBATTRIB>> attrib_store;
  std::vector<std::unique_ptr<DBINDEX>> index_store;
  std::vector<std::unique_ptr<DBINDEX>> unique_store;
};

struct DBDATABASE {
  char name[DB_NAMESIZE] = {};
  IDXARRAY tables;           // name -> DBTABLE
  IDXARRAY index_names;      // index name -> owning DBTABLE (not owned here)
  int32_t committed_ts = 0;  // last committed timestamp
  std::vector<std::unique_ptr<DBTABLE>> table_store;  // by table position
};

// The engine-wide state. One instance, reached through CATALOG_Engine().
struct ENGINE {
  std::array<DBCONN, DB_MAXCONNS> conns;
  int conn_count = 0;
  std::array<DBDATABASE, DB_MAXDBS> dbs;
  int db_count = 0;
  std::string engine_name = "Tarvic";  // base name of the data directory
  // 1 from program load until start-up has replayed the redo logs; while 1
  // no statement writes redo records.
  int startup = 1;
  // Bytes all open results and cursors may hold together (the ledger of
  // resdata.h), set at start-up (start.h); tests set it directly.
  int64_t result_memory_limit = DB_DEFAULTRESULTMEM;
  int default_max_rows = DB_DEFAULTMAXROWS;
  // Set by the first run of the exit handling, so the final save is done
  // once.
  int saved = 0;
  // Set once a data or database directory that cannot be created has been
  // reported: every schema statement tries again, and one warning per
  // process says all there is to say.
  int dir_reported = 0;
  // Connection ids whose BEGIN found another open transaction.
  std::vector<int32_t> waiting;
};

ENGINE& CATALOG_Engine();

// Drops every connection, database, table and row and restores the state
// of program load. Only tests call it.
void CATALOG_ResetForTest();

// ---------------------------------------------------------------------------
// Connections

// The first slot in use whose Conn_Id is `conn_id`. Fails with *out_slot set
// to the number of slots in use.
[[nodiscard]] int CATALOG_FindConn(int conn_id, int* out_slot);
// The connection record of `conn_id`, or null.
DBCONN* CATALOG_Conn(int conn_id);

// 1 when a further connection slot is free. Otherwise *error gets
// "(<statement>) No more connections available (DB_MAXCONNS = 15)!".
[[nodiscard]] int CATALOG_ConnRoom(std::string_view statement, std::string* error);

// Takes the next slot for `conn_id`, initialised with `database` selected
// (CATALOG_InitConn), and counts it. Fails when all slots are in use.
[[nodiscard]] int CATALOG_AddConn(int conn_id, int database, int* out_slot);

// The state of a freshly selected database: no cursors (their result sets
// freed, CATALOG_CloseCursors), no transaction, empty table lists, the
// default row maximum, no redo records, the database's own redo log. The
// Conn_Id stays.
void CATALOG_InitConn(DBCONN* conn, int database);

// Closes every cursor of the connection: the names are emptied, the count
// drops to 0 and each result set is freed, so that the memory it held is
// given back and no longer counts against the result memory limit
// (resdata.h). The next cursor of a slot makes its set anew.
void CATALOG_CloseCursors(DBCONN* conn);

// Frees slot `slot`: the last slot in use moves into it. The freed record's
// cursor result sets move to the slot that falls out of use, so none is
// lost.
void CATALOG_RemoveConn(int slot);

// ---------------------------------------------------------------------------
// Databases

// The database named `name` (exact, case-sensitive). Fails with *out_pos
// set to the number of databases.
[[nodiscard]] int CATALOG_FindDatabase(std::string_view name, int* out_pos);

// 1 when a further database slot is free. Otherwise *error gets
// "(CREATE DATABASE) No more databases available (DB_MAXDBS = 15)!".
[[nodiscard]] int CATALOG_DbRoom(std::string* error);

// Fills the next database slot (name, empty lists, committed timestamp 0)
// without counting it, so that a caller can still fail: then
// CATALOG_DiscardDatabase, else CATALOG_CountDatabase. Fails when all slots
// are in use or the name is longer than 31 characters.
[[nodiscard]] int CATALOG_NewDatabase(std::string_view name, DBDATABASE** out_db);
void CATALOG_CountDatabase();
void CATALOG_DiscardDatabase();

// Releases every table of database `pos`, then moves the last database
// into its place; connections that named the moved database follow it.
void CATALOG_RemoveDatabase(int pos);

// ---------------------------------------------------------------------------
// Tables

// The table named `name` and its position (names of one character find
// nothing).
[[nodiscard]] int CATALOG_FindTable(DBDATABASE* db, std::string_view name, DBTABLE** out_table,
                                    int* out_pos);
// The table at `pos`, or null for a dropped or unknown position.
DBTABLE* CATALOG_Table(DBDATABASE* db, int pos);

// Adds an empty table: kind '0', loaded '1', secure '0', no attributes,
// row size 0. REQUIRES: the name is not in use. A one-character name ends
// the process (name index).
DBTABLE* CATALOG_NewTable(DBDATABASE* db, std::string_view name);

// Releases the table (attributes, value lists, rows, index definitions)
// and removes it from the table list; the other tables keep their
// positions. The database's index names are the caller's to remove.
void CATALOG_DropTable(DBDATABASE* db, int pos);

// ---------------------------------------------------------------------------
// Attributes and row layout

// Appends an attribute and places it in the row: its offset is
// *running_offset rounded up to the type's alignment, its size the type's
// row size (CHARACTER(n) n + 1, BINARY(n) n + 2), and *running_offset
// advances by the size. Fails, adding nothing, for a byte that is not a
// type code.
[[nodiscard]] int CATALOG_AddAttrib(DBTABLE* table, std::string_view name, unsigned char type,
                                    int n, char not_null, int* running_offset,
                                    DBATTRIB** out_attrib);

// Ends the layout: the row size becomes `row_size` (the final running
// offset; nothing follows the last attribute). REQUIRES: no rows yet.
void CATALOG_SetRowSize(DBTABLE* table, int row_size);

// The first attribute named `name` and its position.
[[nodiscard]] int CATALOG_FindAttrib(DBTABLE* table, std::string_view name, DBATTRIB** out_attrib,
                                     int* out_pos);

// The attributes in declaration order.
std::vector<DBATTRIB*> CATALOG_Attribs(DBTABLE* table);

// ---------------------------------------------------------------------------
// Indexes

// Adds an index definition without attributes to the table's index list
// (unique: the unique list, with a hash index of 1003 buckets). The
// database's index names are the caller's to maintain.
DBINDEX* CATALOG_NewIndex(DBTABLE* table, std::string_view name, int unique);

// Appends `attrib` to the index's attribute list (and to the key of a
// unique index). Index counts and value lists are not touched.
void CATALOG_IndexAddAttrib(DBINDEX* index, DBATTRIB* attrib);

// One more non-unique index uses `attrib`. The first one gives it a value
// list filled with the table's rows visible at `timestamp`.
void CATALOG_UseValueList(DBTABLE* table, DBATTRIB* attrib, int timestamp);
// One non-unique index less uses `attrib`; the last one releases its list.
void CATALOG_ReleaseValueList(DBATTRIB* attrib);

// Finds index `name` of the database: the owning table from the index
// names, then the definition from its index list or else its unique list.
// *out_unique tells which; *out_pos is the entry in that list.
[[nodiscard]] int CATALOG_FindIndex(DBDATABASE* db, std::string_view name, DBTABLE** out_table,
                                    DBINDEX** out_index, int* out_unique, int* out_pos);

// Releases index definition `pos` of the table's index list (unique: its
// unique list) and removes it. A non-unique index releases its use of each
// attribute's value list.
void CATALOG_DropIndex(DBTABLE* table, int pos, int unique);

// The unique indexes of the table, for the hash-index operations.
void CATALOG_UniqueIndexes(DBTABLE* table, std::vector<IDXUNIQUE*>* out);

// ---------------------------------------------------------------------------
// Statement preamble

// The opening checks of every handler that works on a selected database.
// On failure writes the error reply "(<statement>) Conn_Id %d not found\n"
// or "(<statement>) No database selected for Conn_Id %d\n" and returns 0.
[[nodiscard]] int CATALOG_Preamble(std::string_view statement, int conn_id, DBCONN** out_conn,
                                   DBDATABASE** out_db);
