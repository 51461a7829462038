// ddl_table.cpp: CREATE TABLE and DROP TABLE.
#include <string>

#include "engine/catalog/catalog.h"
#include "engine/catalog/deffile.h"
#include "engine/statements/ddl.h"
#include "engine/statements/ddl_internal.h"
#include "engine/tables/table_file.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "platform/files.h"

namespace {

constexpr char kCreate[] = "CREATE TABLE";
constexpr char kNameMissing[] = "(CREATE TABLE) table-name is missing";
constexpr char kTableExists[] = "(CREATE TABLE) Table '%s' already exists";
constexpr char kIllegalType[] = "(CREATE TABLE) Syntax error: illegal data-type";
constexpr char kBadLength[] = "(CREATE TABLE) Invalid length %d of attribute '%s'";
constexpr char kRowTooLong[] = "(CREATE TABLE) Row of table '%s' longer than %d bytes";
constexpr char kAttribMissing[] = "(CREATE TABLE) Syntax error: attrib-name is missing";
constexpr char kCreateDefFailed[] = "(CREATE TABLE) Database file could not be generated\n";
constexpr char kDrop[] = "DROP TABLE";
constexpr char kDropInTransaction[] = "(DROP TABLE) Not possible within active transaction";
constexpr char kDropNameMissing[] = "(DROP TABLE) table-name is missing";
constexpr char kDropNoTable[] = "(DROP TABLE) Table '%s' does not exist in database '%s'";
constexpr char kDropIndexNotFound[] = "(DROP TABLE) Index '%s' not found";
constexpr char kDropDefFailed[] =
    "(DROP TABLE) Database file could not be generated (please restart database)!\n";

// Where CREATE TABLE is in its message while it reads the attributes.
struct ATTRIBREAD {
  const unsigned char* msg;
  int length;
  int offset;
  int running = 0;  // bytes of the row laid out so far
};

// Reads the type of one attribute and, for CHARACTER and BINARY, its
// declared length. Writes the error reply on failure.
int ReadType(ATTRIBREAD* in, const std::string& name, unsigned char* type, int* n) {
  std::string detail;
  in->offset = TOKEN_Kind(in->msg, in->length, in->offset, type);
  if (!DEFFILE_IsType(*type)) {
    REPLY_Error(kIllegalType);
    return 0;
  }
  *n = 0;
  if (!DEFFILE_HasLength(*type)) return 1;
  int32_t value = 0;
  int next = TOKEN_Expect(in->msg, in->length, in->offset, 'd', &detail);
  if (next >= 0) next = TOKEN_Int32(in->msg, in->length, next, &value, &detail);
  if (next < 0) {
    REPLY_Error(detail);  // the attribute part answers with the detail alone
    return 0;
  }
  in->offset = next;
  *n = value;
  if (DEFFILE_LengthOk(*type, value)) return 1;
  REPLY_Errorf(kBadLength, value, name.c_str());
  return 0;
}

// Reads one attribute (its 'a' kind already read) and the kind after it
// into *next_kind. Writes the error reply on failure.
int ReadAttrib(ATTRIBREAD* in, DBTABLE* table, unsigned char* next_kind) {
  std::string name;
  std::string detail;
  int next = TOKEN_Text(in->msg, in->length, in->offset, &name, &detail);
  if (next < 0) {
    REPLY_Error(detail);
    return 0;
  }
  in->offset = next;
  if (!DEFFILE_NameOk(name)) {
    DDL_ReplyInvalidName(kCreate, name);
    return 0;
  }
  unsigned char type = 0;
  int n = 0;
  if (!ReadType(in, name, &type, &n)) return 0;
  in->offset = TOKEN_Kind(in->msg, in->length, in->offset, next_kind);
  char not_null = '0';
  if (*next_kind == 'F') {
    not_null = '1';
    in->offset = TOKEN_Kind(in->msg, in->length, in->offset, next_kind);
  }
  DBATTRIB* attrib = nullptr;
  if (!CATALOG_AddAttrib(table, name, type, n, not_null, &in->running, &attrib)) {
    REPLY_Error(kIllegalType);
    return 0;
  }
  if (in->running <= DDL_MAXROWSIZE) return 1;
  REPLY_Errorf(kRowTooLong, table->name.c_str(), DDL_MAXROWSIZE);
  return 0;
}

// Reads the attributes up to the end of the statement, lays out the row
// and writes the definition file. Writes the reply.
int ReadAttribs(ATTRIBREAD* in, DBDATABASE* db, DBTABLE* table) {
  std::string detail;
  int next = TOKEN_Expect(in->msg, in->length, in->offset, 'a', &detail);
  if (next < 0) {
    REPLY_Error(detail);
    return 0;
  }
  in->offset = next;
  for (;;) {
    unsigned char kind = 0;
    if (!ReadAttrib(in, table, &kind)) return 0;
    if (kind == 'x') break;
    if (kind != 'a') {
      REPLY_Error(kAttribMissing);
      return 0;
    }
  }
  CATALOG_SetRowSize(table, in->running);
  if (!Def_Write(db)) {
    REPLY_Error(kCreateDefFailed);
    return 0;
  }
  REPLY_Success();
  return 1;
}

// Removes the table's index names from the database's; fails (with the
// reply) at a name that is not there, which only an inconsistent catalogue
// can cause.
int RemoveIndexNames(DBDATABASE* db, IDXARRAY* list) {
  for (int i = 0; i < list->count; ++i) {
    IDXENTRY* entry = IDXARRAY_Get(list, i);
    if (entry == nullptr) continue;
    int number = -1;
    if (IDXARRAY_Find(&db->index_names, entry->name, &number) == nullptr) {
      REPLY_Errorf(kDropIndexNotFound, entry->name);
      return 0;
    }
    IDXARRAY_Delete(&db->index_names, number);
  }
  return 1;
}

void DeleteTableFiles(const char* db_name, const std::string& table) {
  if (!DDL_DatabaseFilesExist(db_name)) return;
  for (const char* extension : {".dat", ".idx"}) {
    const std::string path = TBLFILE_Path(db_name, table, extension);
    if (PLATFORM_Exists(path.c_str())) (void)DDL_RemoveFile(path);
  }
}

}  // namespace

void DDL_CreateTable(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble(kCreate, conn_id, &conn, &db)) return;
  std::string name;
  int offset = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &offset, kNameMissing, &name)) return;
  DBTABLE* table = nullptr;
  if (CATALOG_FindTable(db, name, &table, nullptr)) {
    REPLY_Errorf(kTableExists, name.c_str());
    return;
  }
  if (!DEFFILE_NameOk(name)) {
    DDL_ReplyInvalidName(kCreate, name);
    return;
  }
  table = CATALOG_NewTable(db, name);
  ATTRIBREAD in{msg, length, offset};
  if (!ReadAttribs(&in, db, table)) CATALOG_DropTable(db, table->position);
}

void DDL_DropTable(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  if (!CATALOG_Preamble(kDrop, conn_id, &conn, &db)) return;
  if (conn->trans_ts >= 0) {
    REPLY_Error(kDropInTransaction);
    return;
  }
  std::string name;
  int offset = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &offset, kDropNameMissing, &name)) return;
  DBTABLE* table = nullptr;
  int pos = -1;
  if (!CATALOG_FindTable(db, name, &table, &pos)) {
    REPLY_Errorf(kDropNoTable, name.c_str(), db->name);
    return;
  }
  if (!RemoveIndexNames(db, &table->indexes) || !RemoveIndexNames(db, &table->uniques)) return;
  const bool was_static = table->kind == '1';
  CATALOG_DropTable(db, pos);
  if (was_static) DeleteTableFiles(db->name, name);
  if (!Def_Write(db)) {
    REPLY_Error(kDropDefFailed);
    return;
  }
  REPLY_Success();
}
