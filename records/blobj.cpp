// blobj.cpp: the BLOBJ record module.
#include "records/blobj.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "client/struct_assign.h"
#include "client/value_strings.h"
#include "engine/types/values.h"
#include "records/kaspo.h"
#include "records/record_io.h"

// A drawn key fills the key field, and FK_Id holds the key of an item.
static_assert(BLOBJ_IDLEN == VALSTR_KEYLEN && BLOBJ_IDLEN == KASPO_IDLEN);

namespace {

constexpr char kFkCursor[] = "BLOBJ_CUR_FK";
// In the statements of one item's chunks the FK_ID condition comes first:
// the engine then finds the rows through the ordered list of the
// application's index on FK_ID (XBLOBJ02), not by a scan of every chunk.
constexpr char kFkQuery[] = "SELECT * FROM BLOBJ WHERE  FK_ID    = '%s' AND    FK_TABLE = %d";
constexpr char kFkCountQuery[] =
    "SELECT COUNT(*) FROM BLOBJ WHERE  FK_ID    = '%s' AND    FK_TABLE = %d";
constexpr char kKeysQuery[] = "SELECT BLOBJ_ID, FK_ID, FK_TABLE, ITEMNUMBER, COMPRESSED FROM BLOBJ";
constexpr char kFkKeysQuery[] =
    "SELECT BLOBJ_ID, FK_ID, FK_TABLE, ITEMNUMBER, COMPRESSED FROM BLOBJ WHERE  FK_ID    = '%s' "
    "AND    FK_TABLE = %d";
constexpr char kFkDelete[] = "DELETE FROM BLOBJ WHERE  FK_ID    = '%s' AND    FK_TABLE = %d";

constexpr RECIO_FIELD kFields[] = {
    {"BLOBJ_Id", offsetof(BLOBJ, blobj_id), STRUCT_STRING, BLOBJ_IDLEN + 1},
    {"FK_Id", offsetof(BLOBJ, fk_id), STRUCT_STRING, BLOBJ_IDLEN + 1},
    {"FK_Table", offsetof(BLOBJ, fk_table), STRUCT_SHORT, 2},
    {"ItemNumber", offsetof(BLOBJ, item_number), STRUCT_SHORT, 2},
    {"ComprData", offsetof(BLOBJ, compr_data), STRUCT_BINARY, 2 + RECORD_BINMAX},
    {"Compressed", offsetof(BLOBJ, compressed), STRUCT_CHAR, 1},
};
constexpr RECIO_TABLE kShape = {"BLOBJ", RECORD_TABLE_BLOBJ, BLOBJ_SIZE, kFields,
                                static_cast<int>(std::size(kFields))};
constexpr RECIO_KEYED kKeyed = {&kShape, "blobj"};
// Every column but the chunk itself.
constexpr RECIO_FIELD kKeyFields[] = {kFields[0], kFields[1], kFields[2], kFields[3], kFields[5]};
constexpr RECIO_TABLE kKeyShape = {"BLOBJ", RECORD_TABLE_BLOBJ, BLOBJ_SIZE, kKeyFields,
                                   static_cast<int>(std::size(kKeyFields))};

// One of the foreign-key statements with the record's FK_Id and FK_Table.
std::string ForeignKeyText(const char* format, const BLOBJ* record) {
  const char* id = Make_ValueString(RECIO_Text(record, kFields[1]).c_str(), BLOBJ_IDLEN);
  std::string text(std::strlen(format) + std::strlen(id) + 16, '\0');
  const int n = std::snprintf(text.data(), text.size(), format, id, record->fk_table);
  text.resize(static_cast<size_t>(n));
  return text;
}

}  // namespace

int BLOBJ_Size() { return BLOBJ_SIZE; }

void BLOBJ_Init(BLOBJ* record) {
  std::memset(record, 0, sizeof *record);
  record->header.size = BLOBJ_SIZE;
  record->header.table_id = RECORD_TABLE_BLOBJ;
  std::memset(record->blobj_id, ' ', BLOBJ_IDLEN);
  std::memset(record->fk_id, ' ', BLOBJ_IDLEN);
  record->fk_table = DB_NOSMALLINT;
  record->item_number = DB_NOSMALLINT;
  VALSTR_BlankBinary(&record->compr_data, RECORD_BINMAX);
  record->compressed = '0';
}

std::unique_ptr<BLOBJ> BLOBJ_New() {
  auto record = std::make_unique<BLOBJ>();
  BLOBJ_Init(record.get());
  return record;
}

void BLOBJ_List_Init(ARRAY* list) { ARRAY_Init(list, RECORD_TABLE_BLOBJ); }

const char* BLOBJ_Descriptor() {
  static const std::string descriptor = RECIO_Descriptor(kShape);
  return descriptor.c_str();
}

int BLOBJ_Fill(BLOBJ* record, DBRESULT* result, int row, int status, DBHANDLE* /*handle*/) {
  return RECIO_Fill(kShape, record, result, row, status);
}

int BLOBJ_Select(BLOBJ* record, DBHANDLE* handle) {
  return RECIO_SelectByKey(kKeyed, record, handle);
}

int BLOBJ_Select_Keys_In(const std::vector<std::string>& keys, DBHANDLE* handle,
                         MYDB_RESULT* out_result, int* out_status) {
  return RECIO_SelectByKeys(kKeyed, keys, handle, out_result, out_status);
}

int BLOBJ_Insert(BLOBJ* record, DBHANDLE* handle) { return RECIO_Insert(kShape, record, handle); }

int BLOBJ_Load_Insert(BLOBJ* record, DBHANDLE* handle) {
  return RECIO_LoadInsert(kShape, record, handle);
}

int BLOBJ_Load_Batch(std::span<const unsigned char* const> records, DBHANDLE* handle) {
  return RECIO_LoadBatch(kShape, records, handle);
}

int BLOBJ_Update(BLOBJ* record, DBHANDLE* handle) {
  return RECIO_UpdateByKey(kKeyed, record, handle);
}

int BLOBJ_Delete(BLOBJ* record, DBHANDLE* handle) {
  return RECIO_DeleteByKey(kKeyed, record, handle);
}

int BLOBJ_Delete_All(DBHANDLE* handle) { return RECIO_DeleteAll(kShape, handle); }

int BLOBJ_Do(BLOBJ* record, DBHANDLE* handle) { return RECIO_Do(kKeyed, record, handle); }

void BLOBJ_CopyPk(BLOBJ* to, const BLOBJ* from) { RECIO_CopyKey(kShape, to, from); }

int BLOBJ_CmpPk(const BLOBJ* a, const BLOBJ* b) { return RECIO_SameKey(kShape, a, b); }

void BLOBJ_CmpLk(const BLOBJ* /*a*/, const BLOBJ* /*b*/) { RECIO_NoLogicalKey(kShape); }

int BLOBJ_Select_Seq(BLOBJ* /*record*/, DBHANDLE* handle) {
  return RECIO_SelectSeq(kShape, handle);
}

int BLOBJ_Fetch_Seq(BLOBJ* record, DBHANDLE* handle) {
  return RECIO_FetchSeq(kShape, record, handle);
}

int BLOBJ_Select_FK(BLOBJ* record, DBHANDLE* handle) {
  const std::string query = ForeignKeyText(kFkQuery, record);
  const std::string count_query = ForeignKeyText(kFkCountQuery, record);
  VALSTR_Free();
  return RECIO_OpenWalk(handle, kFkCursor, query.c_str(), count_query.c_str());
}

int BLOBJ_Fetch_FK(BLOBJ* record, DBHANDLE* handle) {
  return RECIO_FetchNext(kShape, record, kFkCursor, handle);
}

int BLOBJ_Select_Keys(DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status) {
  return RECIO_SelectAll(kKeyShape, handle, kKeysQuery, out_result, out_status);
}

int BLOBJ_Select_FK_Keys(BLOBJ* record, DBHANDLE* handle, MYDB_RESULT* out_result,
                         int* out_status) {
  const std::string query = ForeignKeyText(kFkKeysQuery, record);
  VALSTR_Free();
  return RECIO_SelectAll(kKeyShape, handle, query.c_str(), out_result, out_status);
}

int BLOBJ_Fill_Keys(BLOBJ* record, DBRESULT* result, int row, int status) {
  return RECIO_Fill(kKeyShape, record, result, row, status);
}

int BLOBJ_Delete_FK(BLOBJ* record, int* out_count, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const std::string statement = ForeignKeyText(kFkDelete, record);
  VALSTR_Free();
  MYDB_RESULT result;
  int status = 0;
  const int ok = dbexec1(handle, statement.c_str(), &result, &status) &&
                 dbfill_rows(handle, result.get(), status, out_count);
  RECIO_End(handle);
  return ok;
}

int BLOBJ_Count_FK(BLOBJ* record, int* out_count, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const std::string query = ForeignKeyText(kFkCountQuery, record);
  VALSTR_Free();
  MYDB_RESULT result;
  int status = 0;
  const int ok = dbexec1(handle, query.c_str(), &result, &status) &&
                 dbfill_count(handle, result.get(), status, out_count);
  RECIO_End(handle);
  return ok;
}

int BLOBJ_Cur_Count(int* out_count, DBHANDLE* handle) {
  return RECIO_CursorCount(kShape, handle, out_count);
}

std::string BLOBJ_Csv(const BLOBJ* record) { return RECIO_Csv(kShape, record); }
