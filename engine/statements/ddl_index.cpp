// ddl_index.cpp: CREATE INDEX, CREATE UNIQUE INDEX and DROP INDEX.
#include <string>

#include "engine/catalog/catalog.h"
#include "engine/catalog/deffile.h"
#include "engine/statements/ddl.h"
#include "engine/statements/ddl_internal.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"

namespace {

// The messages of one kind of CREATE INDEX. CREATE UNIQUE INDEX begins with
// the preamble messages of CREATE INDEX.
struct INDEXTEXTS {
  const char* statement;
  const char* name_missing;
  const char* table_missing;
  const char* no_table;
  const char* exists;
  const char* attrib_missing;
  const char* no_attrib;
  const char* syntax;
  const char* def_failed;
};

constexpr INDEXTEXTS kIndexTexts = {
    "CREATE INDEX",
    "(CREATE INDEX) index-name is missing",
    "(CREATE INDEX) table-name is missing",
    "(CREATE INDEX) Table '%s' does not exist",
    "(CREATE INDEX) Index '%s' already exists",
    "(CREATE INDEX) attrib-name is missing",
    "(CREATE INDEX) Attribute '%s' does not exist in table '%s'",
    "(CREATE INDEX) Syntax error: attrib-name is missing",
    "(CREATE INDEX) Database file could not be generated\n",
};

constexpr INDEXTEXTS kUniqueTexts = {
    "CREATE UNIQUE INDEX",
    "(CREATE UNIQUE INDEX) index-name is missing",
    "(CREATE UNIQUE INDEX) table-name is missing",
    "(CREATE UNIQUE INDEX) Table '%s' does not exist",
    "(CREATE UNIQUE INDEX) Index '%s' already exists",
    "(CREATE UNIQUE INDEX) attrib-name is missing",
    "(CREATE UNIQUE INDEX) Attribute '%s' not found in table '%s'",
    "(CREATE UNIQUE INDEX) Syntax error: attrib-name is missing",
    "(CREATE UNIQUE INDEX) Database file could not be generated\n",
};

constexpr char kNotEmpty[] =
    "(CREATE UNIQUE INDEX) Index '%s' cannot be created because table '%s' is not empty";
constexpr char kDrop[] = "DROP INDEX";
constexpr char kDropNameMissing[] = "(DROP INDEX) index-name is missing";
constexpr char kDropNotFound[] = "(DROP INDEX) Index '%s' not found";
constexpr char kDropNotInTable[] = "(DROP INDEX) Index '%s' not found in table '%s'";
constexpr char kDropDefFailed[] =
    "(DROP INDEX) Database file could not be generated (please restart database)!\n";

// One CREATE [UNIQUE] INDEX under way.
struct NEWINDEX {
  const INDEXTEXTS* texts = nullptr;
  int unique = 0;
  DBDATABASE* db = nullptr;
  DBTABLE* table = nullptr;
  std::string name;
  int name_number = -1;  // entry in the database's index names
  DBINDEX* index = nullptr;
  int counted = 0;  // the attributes' index counts were raised
};

// Reads the index and table names and checks them; writes the reply on
// failure.
int ReadTarget(NEWINDEX* ni, const unsigned char* msg, int length, int* offset) {
  const INDEXTEXTS& t = *ni->texts;
  std::string table_name;
  if (!TOKEN_ReadName(msg, length, offset, t.name_missing, &ni->name)) return 0;
  if (!TOKEN_ReadName(msg, length, offset, t.table_missing, &table_name)) return 0;
  if (!CATALOG_FindTable(ni->db, table_name, &ni->table, nullptr)) {
    REPLY_Errorf(t.no_table, table_name.c_str());
    return 0;
  }
  // Unique keys are built as rows arrive; existing rows would escape the check.
  if (ni->unique && ni->table->rows.head >= 0) {
    REPLY_Errorf(kNotEmpty, ni->name.c_str(), table_name.c_str());
    return 0;
  }
  if (IDXARRAY_Find(&ni->db->index_names, ni->name, nullptr) != nullptr) {
    REPLY_Errorf(t.exists, ni->name.c_str());
    return 0;
  }
  if (DEFFILE_NameOk(ni->name)) return 1;
  DDL_ReplyInvalidName(t.statement, ni->name);
  return 0;
}

// Reads the attribute names up to the end of the statement into the index.
int ReadAttribs(NEWINDEX* ni, const unsigned char* msg, int length, int offset) {
  const INDEXTEXTS& t = *ni->texts;
  for (;;) {
    unsigned char kind = 0;
    offset = TOKEN_Kind(msg, length, offset, &kind);
    // An index needs an attribute: without one its file entry could not be
    // read back.
    if (kind == 'x' && !ni->index->attribs.empty()) return 1;
    if (kind != 'a') {
      REPLY_Error(t.syntax);
      return 0;
    }
    std::string name;
    std::string detail;
    offset = TOKEN_Text(msg, length, offset, &name, &detail);
    if (offset < 0) {
      REPLY_ErrorDetail(t.attrib_missing, detail);
      return 0;
    }
    DBATTRIB* attrib = nullptr;
    if (!CATALOG_FindAttrib(ni->table, name, &attrib, nullptr)) {
      REPLY_Errorf(t.no_attrib, name.c_str(), ni->table->name.c_str());
      return 0;
    }
    CATALOG_IndexAddAttrib(ni->index, attrib);
  }
}

// A non-unique index joins the use of its attributes' value lists.
void CountAttribs(NEWINDEX* ni) {
  if (ni->unique) return;
  for (DBATTRIB* attrib : ni->index->attribs) {
    CATALOG_UseValueList(ni->table, attrib, ni->db->committed_ts + 1);
  }
  ni->counted = 1;
}

// Takes the half-made index out again: the catalogue is as before.
void Undo(NEWINDEX* ni) {
  IDXARRAY_Delete(&ni->db->index_names, ni->name_number);
  if (!ni->counted) ni->index->attribs.clear();  // no list use to give back
  IDXARRAY* list = ni->unique ? &ni->table->uniques : &ni->table->indexes;
  int pos = -1;
  if (IDXARRAY_Find(list, ni->name, &pos) != nullptr) CATALOG_DropIndex(ni->table, pos, ni->unique);
}

void CreateIndex(const INDEXTEXTS& texts, int unique, int conn_id, const unsigned char* msg,
                 int length) {
  NEWINDEX ni;
  ni.texts = &texts;
  ni.unique = unique;
  DBCONN* conn = nullptr;
  if (!CATALOG_Preamble(kIndexTexts.statement, conn_id, &conn, &ni.db)) return;
  int offset = TOKEN_FIRST;
  if (!ReadTarget(&ni, msg, length, &offset)) return;
  ni.name_number = IDXARRAY_Add(&ni.db->index_names, ni.name, ni.table);
  ni.index = CATALOG_NewIndex(ni.table, ni.name, unique);
  if (!ReadAttribs(&ni, msg, length, offset)) {
    Undo(&ni);
    return;
  }
  CountAttribs(&ni);
  if (!Def_Write(ni.db)) {
    Undo(&ni);
    REPLY_Error(texts.def_failed);
    return;
  }
  REPLY_Success();
}

}  // namespace

void DDL_CreateIndex(int conn_id, const unsigned char* msg, int length) {
  CreateIndex(kIndexTexts, 0, conn_id, msg, length);
}

void DDL_CreateUniqueIndex(int conn_id, const unsigned char* msg, int length) {
  CreateIndex(kUniqueTexts, 1, conn_id, msg, length);
}

void DDL_DropIndex(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble(kDrop, conn_id, &conn, &db)) return;
  std::string name;
  int offset = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &offset, kDropNameMissing, &name)) return;
  int number = -1;
  IDXENTRY* owner = IDXARRAY_Find(&db->index_names, name, &number);
  if (owner == nullptr) {
    REPLY_Errorf(kDropNotFound, name.c_str());
    return;
  }
  DBTABLE* table = static_cast<DBTABLE*>(owner->object);
  IDXARRAY_Delete(&db->index_names, number);
  int pos = -1;
  if (IDXARRAY_Find(&table->indexes, name, &pos) != nullptr) {
    CATALOG_DropIndex(table, pos, 0);
  } else if (IDXARRAY_Find(&table->uniques, name, &pos) != nullptr) {
    CATALOG_DropIndex(table, pos, 1);
  } else {
    REPLY_Errorf(kDropNotInTable, name.c_str(), table->name.c_str());
    return;
  }
  if (!Def_Write(db)) {
    REPLY_Error(kDropDefFailed);
    return;
  }
  REPLY_Success();
}
