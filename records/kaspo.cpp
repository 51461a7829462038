// kaspo.cpp: the KASPO record module.
#include "records/kaspo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "client/parser.h"
#include "client/struct_assign.h"
#include "client/value_strings.h"
#include "engine/types/values.h"
#include "platform/report.h"
#include "records/record_io.h"

namespace {

constexpr char kDoUnknown[] = "KASPO_Do: 'iDB'-code unknown!\n";
constexpr char kNoLogicalKey[] = "KASPO_CmpLk: No logical key!\n";
constexpr char kColumns[] = "KASPO_Id,Filename,Description,Size,Compressed";
constexpr char kTable[] = "KASPO";
constexpr char kSeqCursor[] = "KASPO_SELECT_SEQ";
constexpr char kSeqQuery[] = "SELECT * FROM KASPO ";
constexpr char kSeqCountQuery[] = "SELECT COUNT(*) FROM KASPO";
constexpr char kCountCursor[] = "KASPO_Cur_Count";
constexpr char kCountQuery[] = "SELECT COUNT(*) FROM KASPO";
constexpr char kSearchQuery[] =
    "SELECT * FROM KASPO WHERE  FILENAME LIKE '%s' OR KASPO_ID IN   (SELECT KASPO_ID FROM KASPO "
    "   WHERE DESCRIPTION LIKE '%s') ORDER BY FILENAME";

constexpr RECIO_FIELD kFields[] = {
    {"KASPO_Id", offsetof(KASPO, kaspo_id), STRUCT_STRING, KASPO_IDLEN + 1},
    {"Filename", offsetof(KASPO, filename), STRUCT_STRING, KASPO_FILENAMELEN + 1},
    {"Description", offsetof(KASPO, description), STRUCT_STRING, KASPO_DESCRIPTIONLEN + 1},
    {"Size", offsetof(KASPO, size), STRUCT_LONG, 4},
    {"Compressed", offsetof(KASPO, compressed), STRUCT_CHAR, 1},
};
constexpr RECIO_TABLE kShape = {"KASPO", RECORD_TABLE_KASPO, KASPO_SIZE, kFields,
                                static_cast<int>(std::size(kFields))};

// The found items of the last search and how far they were handed out.
struct KASPOSTATE {
  ARRAY search;
  int position = 0;
};

KASPOSTATE& State() {
  static KASPOSTATE state;
  return state;
}

// The record's key as a value string for SQL text.
const char* KeyValue(const KASPO* record) {
  return Make_ValueString(RECIO_Text(record, kFields[0]).c_str(), KASPO_IDLEN);
}

std::string KeyCondition(const KASPO* record) {
  return std::string("KASPO_Id='") + KeyValue(record) + "'";
}

std::string SearchQuery(const KASPO* record) {
  const char* name = Make_ValueString(RECIO_Text(record, kFields[1]).c_str(), KASPO_FILENAMELEN);
  const char* text =
      Make_ValueString(RECIO_Text(record, kFields[2]).c_str(), KASPO_DESCRIPTIONLEN);
  std::string query(sizeof kSearchQuery + std::strlen(name) + std::strlen(text), '\0');
  const int n = std::snprintf(query.data(), query.size(), kSearchQuery, name, text);
  query.resize(static_cast<size_t>(n));
  return query;
}

}  // namespace

int KASPO_Size() { return KASPO_SIZE; }

void KASPO_Init(KASPO* record) {
  std::memset(record, 0, sizeof *record);
  record->header.size = KASPO_SIZE;
  record->header.table_id = RECORD_TABLE_KASPO;
  std::memset(record->kaspo_id, ' ', KASPO_IDLEN);
  record->size = DB_NOINTEGER;
  record->compressed = '0';
}

std::unique_ptr<KASPO> KASPO_New() {
  auto record = std::make_unique<KASPO>();
  KASPO_Init(record.get());
  return record;
}

void KASPO_List_Init(ARRAY* list) { ARRAY_Init(list, RECORD_TABLE_KASPO); }

const char* KASPO_Descriptor() {
  static const std::string descriptor = RECIO_Descriptor(kShape);
  return descriptor.c_str();
}

const char* KASPO_Columns() { return kColumns; }

int KASPO_Fill(KASPO* record, DBRESULT* result, int row, int status, DBHANDLE* /*handle*/) {
  return RECIO_Fill(kShape, record, result, row, status);
}

int KASPO_Select(KASPO* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const std::string text = "* FROM kaspo WHERE " + KeyCondition(record);
  MYDB_RESULT result;
  int status = 0;
  const int ok = dbexec(handle, "SELECT", text.c_str(), &result, &status) &&
                 KASPO_Fill(record, result.get(), -1, status, handle);
  VALSTR_Free();
  RECIO_End(handle);
  return ok;
}

int KASPO_Insert(KASPO* record, DBHANDLE* handle) {
  return RECIO_Insert(kShape, kTable, record, offsetof(KASPO, kaspo_id), handle);
}

int KASPO_Load_Insert(KASPO* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  RECIO_StartMessage('L', kTable);
  RECIO_AddValues(kShape, record);
  const int ok = RECIO_SendMessage(handle);
  RECIO_End(handle);
  return ok;
}

int KASPO_Update(KASPO* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  RECIO_StartMessage('H', kTable);
  RECIO_AddValues(kShape, record);
  std::string where = "WHERE " + KeyCondition(record);
  VALSTR_Free();
  std::string error;
  int ok = DBquery_addwhere(where.data(), &error);
  if (!ok) {
    DBHANDLE_ClearError();
    dberror("%s\n", error.c_str());
  } else {
    ok = RECIO_SendMessage(handle);
  }
  RECIO_End(handle);
  return ok;
}

int KASPO_Delete(KASPO* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const std::string condition = KeyCondition(record);
  VALSTR_Free();
  int status = 0;
  const int ok = dbdelete(handle, "kaspo", condition.c_str(), &status);
  RECIO_End(handle);
  return ok;
}

int KASPO_Delete_All(DBHANDLE* handle) {
  RECIO_Begin(handle);
  RECIO_StartMessage('F', kTable);
  const int ok = RECIO_SendMessage(handle);
  RECIO_End(handle);
  return ok;
}

int KASPO_Do(KASPO* record, DBHANDLE* handle) {
  switch (record->header.idb) {
    case IDB_NOTHING: return 1;
    case IDB_SELECT: return KASPO_Select(record, handle);
    case IDB_UNSUPPORTED: return 0;
    case IDB_INSERT: return KASPO_Insert(record, handle);
    case IDB_UPDATE: return KASPO_Update(record, handle);
    case IDB_DELETE: return KASPO_Delete(record, handle);
    default:
      DBreport(kDoUnknown);
      return 0;
  }
}

void KASPO_CopyPk(KASPO* to, const KASPO* from) {
  my_strncpy(to->kaspo_id, RECIO_Text(from, kFields[0]).c_str(), KASPO_IDLEN);
}

int KASPO_CmpPk(const KASPO* a, const KASPO* b) {
  return RECIO_SameText(RECIO_Text(a, kFields[0]), RECIO_Text(b, kFields[0]));
}

void KASPO_CmpLk(const KASPO* /*a*/, const KASPO* /*b*/) { RECIO_Fatal(kNoLogicalKey); }

int KASPO_Select_Seq(KASPO* /*record*/, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const int ok = RECIO_OpenWalk(handle, kSeqCursor, kSeqQuery, kSeqCountQuery);
  RECIO_End(handle);
  return ok;
}

int KASPO_Fetch_Seq(KASPO* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const int ok = RECIO_FetchNext(kShape, record, kSeqCursor, handle);
  RECIO_End(handle);
  return ok;
}

int KASPO_Select_Search(KASPO* record, DBHANDLE* handle) {
  KASPOSTATE& s = State();
  const std::string query = SearchQuery(record);
  VALSTR_Free();
  ARRAY_Free(&s.search);
  KASPO_List_Init(&s.search);
  s.position = 0;
  MYDB_RESULT result;
  int status = 0;
  if (!RECIO_SelectAll(kShape, handle, query.c_str(), &result, &status)) return 0;
  for (int row = 0; row < DBresult_rows(result.get()); ++row) {
    if (!KASPO_Fill(record, result.get(), row, status, handle)) return 0;
    ARRAY_Add(&s.search, &record->header);
  }
  return 1;
}

int KASPO_Select_Search_Next(KASPO* record, DBHANDLE* /*handle*/) {
  KASPOSTATE& s = State();
  if (s.position >= ARRAY_Count(s.search)) {
    ARRAY_Free(&s.search);
    s.position = 0;
    return 0;
  }
  const RECORD_HEADER* found = ARRAY_GetPtr(&s.search, s.position);
  const size_t kept = s.search.records[static_cast<size_t>(s.position++)].size();
  std::memcpy(record, found, std::min(kept, sizeof *record));
  return 1;
}

int KASPO_Cur_Count(int* out_count, DBHANDLE* handle) {
  return RECIO_CursorCount(handle, kCountCursor, kCountQuery, out_count);
}

std::string KASPO_Csv(const KASPO* record) { return RECIO_Csv(kShape, record); }

void KASPO_ResetForTest() { State() = KASPOSTATE{}; }
