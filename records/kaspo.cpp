// kaspo.cpp: the KASPO record module.
#include "records/kaspo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "client/struct_assign.h"
#include "client/value_strings.h"
#include "engine/types/values.h"
#include "records/record_io.h"

// A drawn key fills the key field.
static_assert(KASPO_IDLEN == VALSTR_KEYLEN);

namespace {

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
constexpr RECIO_KEYED kKeyed = {&kShape, "kaspo"};

// The found items of the last search and how far they were handed out.
struct KASPOSTATE {
  ARRAY search;
  int position = 0;
};

KASPOSTATE& State() {
  static KASPOSTATE state;
  return state;
}

std::string SearchQuery(const KASPO* record) {
  const char* name = Make_ValueString(RECIO_Text(record, kFields[1]).c_str(), KASPO_FILENAMELEN);
  const char* text = Make_ValueString(RECIO_Text(record, kFields[2]).c_str(), KASPO_DESCRIPTIONLEN);
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

int KASPO_Fill(KASPO* record, DBRESULT* result, int row, int status, DBHANDLE* /*handle*/) {
  return RECIO_Fill(kShape, record, result, row, status);
}

int KASPO_Select(KASPO* record, DBHANDLE* handle) {
  return RECIO_SelectByKey(kKeyed, record, handle);
}

int KASPO_Insert(KASPO* record, DBHANDLE* handle) { return RECIO_Insert(kShape, record, handle); }

int KASPO_Load_Insert(KASPO* record, DBHANDLE* handle) {
  return RECIO_LoadInsert(kShape, record, handle);
}

int KASPO_Load_Batch(std::span<const unsigned char* const> records, DBHANDLE* handle) {
  return RECIO_LoadBatch(kShape, records, handle);
}

int KASPO_Update(KASPO* record, DBHANDLE* handle) {
  return RECIO_UpdateByKey(kKeyed, record, handle);
}

int KASPO_Delete(KASPO* record, DBHANDLE* handle) {
  return RECIO_DeleteByKey(kKeyed, record, handle);
}

int KASPO_Delete_All(DBHANDLE* handle) { return RECIO_DeleteAll(kShape, handle); }

int KASPO_Do(KASPO* record, DBHANDLE* handle) { return RECIO_Do(kKeyed, record, handle); }

void KASPO_CopyPk(KASPO* to, const KASPO* from) { RECIO_CopyKey(kShape, to, from); }

int KASPO_CmpPk(const KASPO* a, const KASPO* b) { return RECIO_SameKey(kShape, a, b); }

void KASPO_CmpLk(const KASPO* /*a*/, const KASPO* /*b*/) { RECIO_NoLogicalKey(kShape); }

int KASPO_Select_Seq(KASPO* /*record*/, DBHANDLE* handle) {
  return RECIO_SelectSeq(kShape, handle);
}

int KASPO_Fetch_Seq(KASPO* record, DBHANDLE* handle) {
  return RECIO_FetchSeq(kShape, record, handle);
}

int KASPO_Fetch_Seq_All(DBHANDLE* handle, std::vector<KASPO>* out_records) {
  out_records->clear();
  MYDB_RESULT result;
  int status = 0;
  if (!RECIO_FetchSeqAll(kShape, handle, &result, &status)) return 0;
  out_records->resize(static_cast<std::size_t>(DBresult_rows(result.get())));
  for (std::size_t row = 0; row < out_records->size(); ++row) {
    KASPO* record = &(*out_records)[row];
    KASPO_Init(record);
    // As the walk row by row, which ends at the first row it cannot fill.
    if (!KASPO_Fill(record, result.get(), static_cast<int>(row), status, handle)) {
      out_records->resize(row);
      return 1;
    }
  }
  return 1;
}

std::string KASPO_SearchPattern(const std::string& text, int max_len) {
  // Room for the text wrapped in '*'.
  std::string pattern = text;
  pattern.resize(std::max<std::size_t>(text.size(), static_cast<std::size_t>(max_len)), '\0');
  VALSTR_SurroundPattern(pattern.data(), max_len);
  pattern.resize(std::strlen(pattern.c_str()));
  return pattern;
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
  return RECIO_CursorCount(kShape, handle, out_count);
}

std::string KASPO_Csv(const KASPO* record) { return RECIO_Csv(kShape, record); }

void KASPO_ResetForTest() { State() = KASPOSTATE{}; }
