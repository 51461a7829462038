// record_io.cpp: the shared mechanics of the table record modules.
#include "records/record_io.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "client/message.h"
#include "client/parser.h"
#include "client/struct_assign.h"
#include "client/value_strings.h"
#include "engine/types/tokens.h"
#include "engine/types/values.h"
#include "platform/process.h"
#include "platform/report.h"
#include "records/keygen.h"
#include "records/record.h"

namespace {

constexpr char kFillStatus[] = "%s_Fill: Status is not DB_TUPLES_OK!\n";
constexpr char kFillRows[] = "%s_Fill: None or more than one resulttuple!\n";
constexpr char kFillMismatch[] = "%s_Fill: Result does not match the record!\n";
constexpr char kInsertFailed[] = "%s_Insert: Insert not possible (100 tries)\n";
constexpr char kWalkIncomplete[] = "(%s) Not all rows could be read (%d of %d)!\n";
constexpr char kSelectIncomplete[] = "(%s) Not all rows could be read!\n";
constexpr char kWalkNeedsTransaction[] = "(%s) Cursor needs an open transaction!\n";
constexpr char kDoUnknown[] = "%s_Do: 'iDB'-code unknown!\n";
constexpr char kNoLogicalKey[] = "%s_CmpLk: No logical key!\n";

const unsigned char* FieldPtr(const void* record, const RECIO_FIELD& field) {
  return static_cast<const unsigned char*>(record) + field.offset;
}

unsigned char* FieldPtr(void* record, const RECIO_FIELD& field) {
  return static_cast<unsigned char*>(record) + field.offset;
}

int EngineType(const RECIO_FIELD& field) {
  int type = 0;
  return STRUCT_EngineType(field.client_type, &type) ? type : -1;
}

// The content length of a binary field, kept within the field.
int BinaryLength(const unsigned char* field, int size) {
  int16_t n;
  std::memcpy(&n, field, sizeof n);
  if (n < 0) return 0;
  return n > size - 2 ? size - 2 : n;
}

// Whether a column can be copied into the field without overflowing it.
bool ColumnFits(const DBRESULT* result, int column, const RECIO_FIELD& field) {
  const int size = result->data.column_sizes[static_cast<size_t>(column)];
  if (DBresult_type(result, column) != EngineType(field)) return false;
  switch (field.client_type) {
    case STRUCT_CHAR: return size <= 2;
    case STRUCT_STRING:
    case STRUCT_BINARY: return size <= field.size;
    default: return size == field.size;
  }
}

bool ColumnsFit(const RECIO_TABLE& table, const DBRESULT* result) {
  if (DBresult_cols(result) < table.field_count) return false;
  for (int i = 0; i < table.field_count; ++i) {
    if (!ColumnFits(result, i, table.fields[i])) return false;
  }
  return true;
}

// One cell into its field; a cell without value leaves the field alone.
void CopyCell(const unsigned char* cell, const RECIO_FIELD& field, unsigned char* out) {
  if (cell == nullptr) return;
  switch (field.client_type) {
    case STRUCT_CHAR:
      // The engine keeps a one-character value as the byte and a NUL; the
      // bytes 0 and 1 stand for the characters '0' and '1'.
      *out = cell[0] <= 1 ? static_cast<unsigned char>('0' + cell[0]) : cell[0];
      break;
    case STRUCT_STRING: {
      const size_t n = strnlen(reinterpret_cast<const char*>(cell), field.size - 1);
      std::memcpy(out, cell, n);
      out[n] = '\0';
      break;
    }
    case STRUCT_BINARY:
      std::memcpy(out, cell, 2 + static_cast<size_t>(BinaryLength(cell, field.size)));
      break;
    default: std::memcpy(out, cell, static_cast<size_t>(field.size)); break;
  }
}

void AddValue(const void* record, const RECIO_FIELD& field) {
  const unsigned char* p = FieldPtr(record, field);
  const unsigned char kind = static_cast<unsigned char>(EngineType(field));
  switch (field.client_type) {
    case STRUCT_CHAR: DBquery_addtokdata(kind, p, 1); break;
    case STRUCT_STRING: DBquery_addtokstring(kind, RECIO_Text(record, field).c_str()); break;
    case STRUCT_BINARY: DBquery_addtokdata(kind, p, 2 + BinaryLength(p, field.size)); break;
    default: DBquery_addtokdata(kind, p, field.size); break;
  }
}

std::string Hex(const unsigned char* bytes, int n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < n; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

std::string FieldText(const void* record, const RECIO_FIELD& field) {
  const unsigned char* p = FieldPtr(record, field);
  int16_t i16;
  int32_t i32;
  double f64;
  switch (field.client_type) {
    case STRUCT_CHAR: return std::string(1, static_cast<char>(*p));
    case STRUCT_STRING: return RECIO_Text(record, field);
    case STRUCT_BINARY: return Hex(p + 2, BinaryLength(p, field.size));
    case STRUCT_SHORT: std::memcpy(&i16, p, sizeof i16); return std::to_string(i16);
    case STRUCT_DOUBLE: std::memcpy(&f64, p, sizeof f64); return std::to_string(f64);
    default: std::memcpy(&i32, p, sizeof i32); return std::to_string(i32);
  }
}

// The one number the statement `query` answers with (MAX, a COUNT).
[[nodiscard]] int QueryCount(DBHANDLE* handle, const char* query, int* out_count) {
  MYDB_RESULT result;
  int status = 0;
  return dbexec1(handle, query, &result, &status) &&
         dbfill_count(handle, result.get(), status, out_count);
}

[[nodiscard]] int SetMax(DBHANDLE* handle, int value) {
  const std::string statement = "MAX " + std::to_string(value);
  MYDB_RESULT result;
  int status = 0;
  return dbexec1(handle, statement.c_str(), &result, &status);
}

// Raises the row maximum for one walk; *out_old keeps the value to put
// back. Without MAX in the engine the walk runs with what there is, and
// the row checks of the callers still catch a cut result.
[[nodiscard]] int RaiseMax(DBHANDLE* handle, int* out_old) {
  if (!QueryCount(handle, "MAX", out_old)) return 0;
  if (*out_old == RECIO_WALKMAXROWS) return 0;
  return SetMax(handle, RECIO_WALKMAXROWS);
}

// Puts the user's maximum back without losing what the walk collected.
void RestoreMax(DBHANDLE* handle, int old) {
  const std::string kept = DBHANDLE_ErrorText();
  (void)SetMax(handle, old);
  DBHANDLE_RestoreError(kept);
}

// "<Key>='<key>'", the key quoted for SQL text. The value strings are
// freed again: the condition is a copy.
std::string KeyCondition(const RECIO_TABLE& table, const void* record) {
  const RECIO_FIELD& key = table.fields[0];
  std::string condition = std::string(key.name) + "='" +
                          Make_ValueString(RECIO_Text(record, key).c_str(), key.size - 1) + "'";
  VALSTR_Free();
  return condition;
}

[[nodiscard]] int OpenWalkInBracket(DBHANDLE* handle, const char* cursor, const char* query,
                                    const char* count_query) {
  // Inside the walk's own bracket the depth is at least 2 when the caller
  // holds a transaction; at 1 the bracket's own END would close the cursor
  // at once, and every fetch would then look like the end of the rows.
  if (DBHANDLE_BeginDepth() < 2) {
    DBHANDLE_ClearError();
    dberror(kWalkNeedsTransaction, cursor);
    return 0;
  }
  int old_max = 0;
  const int raised = RaiseMax(handle, &old_max);
  int rows = 0;
  int total = 0;
  const int declared = DBHANDLE_Declare(handle, cursor, query, &rows);
  const int counted = declared && QueryCount(handle, count_query, &total);
  if (raised) RestoreMax(handle, old_max);
  if (!declared) return 0;
  if (counted && rows >= total) return 1;
  const std::string kept = DBHANDLE_ErrorText();
  (void)dbclose(handle, cursor);
  DBHANDLE_RestoreError(kept);
  if (counted) dberror(kWalkIncomplete, cursor, rows, total);
  return 0;
}

[[nodiscard]] int FetchInBracket(const RECIO_TABLE& table, void* record, const char* cursor,
                                 DBHANDLE* handle) {
  const std::string statement = std::string("FETCH in ") + cursor;
  MYDB_RESULT result;
  int status = 0;
  if (!dbexec1(handle, statement.c_str(), &result, &status)) return 0;
  if (RECIO_Fill(table, record, result.get(), -1, status)) return 1;
  (void)dbclose(handle, cursor);
  return 0;
}

std::string SeqCursor(const RECIO_TABLE& table) {
  return std::string(table.module) + "_SELECT_SEQ";
}

}  // namespace

int RECIO_SameText(const std::string& a, const std::string& b) {
  const size_t a_end = a.find_last_not_of(' ');
  const size_t b_end = b.find_last_not_of(' ');
  const size_t a_len = a_end == std::string::npos ? 0 : a_end + 1;
  const size_t b_len = b_end == std::string::npos ? 0 : b_end + 1;
  return a_len == b_len && a.compare(0, a_len, b, 0, b_len) == 0;
}

std::string RECIO_Descriptor(const RECIO_TABLE& table) {
  std::string text = std::to_string(table.table_id) + "," + std::to_string(table.record_size);
  for (int i = 0; i < table.field_count; ++i) {
    const RECIO_FIELD& f = table.fields[i];
    text += "|" + std::string(f.name) + "," + std::to_string(f.client_type) + "," +
            std::to_string(f.size) + "," + std::to_string(f.offset);
  }
  return text;
}

std::string RECIO_Text(const void* record, const RECIO_FIELD& field) {
  const char* p = reinterpret_cast<const char*>(FieldPtr(record, field));
  return std::string(p, strnlen(p, static_cast<size_t>(field.size - 1)));
}

int RECIO_Fill(const RECIO_TABLE& table, void* record, DBRESULT* result, int row, int status) {
  if (status != MYDB_TUPLES_OK || result == nullptr) {
    DBreport(kFillStatus, table.module);
    return 0;
  }
  if (row == -1) {
    if (DBresult_rows(result) > 1) DBreport(kFillRows, table.module);
    if (DBresult_rows(result) != 1) return 0;
    row = 0;
  }
  if (row < 0 || row >= DBresult_rows(result)) return 0;
  if (!ColumnsFit(table, result)) {
    DBreport(kFillMismatch, table.module);
    return 0;
  }
  for (int i = 0; i < table.field_count; ++i) {
    CopyCell(DBresult_cell(result, row, i), table.fields[i], FieldPtr(record, table.fields[i]));
  }
  return 1;
}

void RECIO_StartMessage(char letter, const char* table_name) {
  DBquery_reset();
  DBquery_addcmd(letter);
  DBquery_addtokstring(DBTK_IDENT, table_name);
}

void RECIO_AddValues(const RECIO_TABLE& table, const void* record) {
  for (int i = 0; i < table.field_count; ++i) AddValue(record, table.fields[i]);
}

std::string RECIO_Csv(const RECIO_TABLE& table, const void* record) {
  std::string line;
  for (int i = 0; i < table.field_count; ++i) {
    if (i > 0) line += ",";
    line += "\"" + FieldText(record, table.fields[i]) + "\"";
  }
  return line;
}

void RECIO_Fatal(const char* message) {
  DBreport("%s", message);
  PLATFORM_Exit(1);
}

void RECIO_Begin(DBHANDLE* handle) {
  if (dbbegin(handle)) return;
  dberror_print();
  PLATFORM_Exit(1);
}

void RECIO_End(DBHANDLE* handle) {
  // dbend empties the collected text; what the call itself collected must
  // survive it, or the caller would print an empty text before its own
  // message.
  const std::string kept = DBHANDLE_ErrorText();
  if (dbend(handle)) {
    DBHANDLE_RestoreError(kept);
    return;
  }
  dberror_print();
  PLATFORM_Exit(1);
}

void RECIO_NoLogicalKey(const RECIO_TABLE& table) {
  DBreport(kNoLogicalKey, table.module);
  PLATFORM_Exit(1);
}

int RECIO_Insert(const RECIO_TABLE& table, void* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  int ok = 0;
  for (int attempt = 0; attempt < RECIO_INSERTTRIES && !ok; ++attempt) {
    KEYGEN_Key(reinterpret_cast<char*>(FieldPtr(record, table.fields[0])));
    RECIO_StartMessage('D', table.module);
    RECIO_AddValues(table, record);
    MYDB_RESULT result;
    int status = 0;
    ok = dbbinexec(handle, &result, &status, 0);
  }
  if (!ok) DBreport(kInsertFailed, table.module);
  RECIO_End(handle);
  return ok;
}

int RECIO_SendMessage(DBHANDLE* handle) {
  MYDB_RESULT result;
  int status = 0;
  return dbbinexec1(handle, &result, &status);
}

int RECIO_SelectByKey(const RECIO_KEYED& keyed, void* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const std::string text =
      std::string("* FROM ") + keyed.sql_name + " WHERE " + KeyCondition(*keyed.table, record);
  MYDB_RESULT result;
  int status = 0;
  const int ok = dbexec(handle, "SELECT", text.c_str(), &result, &status) &&
                 RECIO_Fill(*keyed.table, record, result.get(), -1, status);
  RECIO_End(handle);
  return ok;
}

int RECIO_LoadInsert(const RECIO_TABLE& table, const void* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  RECIO_StartMessage('L', table.module);
  RECIO_AddValues(table, record);
  const int ok = RECIO_SendMessage(handle);
  RECIO_End(handle);
  return ok;
}

int RECIO_LoadBatch(const RECIO_TABLE& table, std::span<const unsigned char* const> records,
                    DBHANDLE* handle) {
  RECIO_Begin(handle);
  int ok = 1;
  for (std::size_t next = 0; ok && next < records.size();) {
    RECIO_StartMessage('L', table.module);
    do {
      RECIO_AddValues(table, records[next++]);
    } while (next < records.size() && MESSAGE_Length() < RECIO_LOADBYTES);
    ok = RECIO_SendMessage(handle);
  }
  RECIO_End(handle);
  return ok;
}

int RECIO_UpdateByKey(const RECIO_KEYED& keyed, const void* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  RECIO_StartMessage('H', keyed.table->module);
  RECIO_AddValues(*keyed.table, record);
  std::string where = "WHERE " + KeyCondition(*keyed.table, record);
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

int RECIO_DeleteByKey(const RECIO_KEYED& keyed, const void* record, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const std::string condition = KeyCondition(*keyed.table, record);
  int status = 0;
  const int ok = dbdelete(handle, keyed.sql_name, condition.c_str(), &status);
  RECIO_End(handle);
  return ok;
}

int RECIO_DeleteAll(const RECIO_TABLE& table, DBHANDLE* handle) {
  RECIO_Begin(handle);
  RECIO_StartMessage('F', table.module);
  const int ok = RECIO_SendMessage(handle);
  RECIO_End(handle);
  return ok;
}

int RECIO_Do(const RECIO_KEYED& keyed, void* record, DBHANDLE* handle) {
  switch (static_cast<const RECORD_HEADER*>(record)->idb) {
    case IDB_NOTHING: return 1;
    case IDB_SELECT: return RECIO_SelectByKey(keyed, record, handle);
    case IDB_UNSUPPORTED: return 0;
    case IDB_INSERT: return RECIO_Insert(*keyed.table, record, handle);
    case IDB_UPDATE: return RECIO_UpdateByKey(keyed, record, handle);
    case IDB_DELETE: return RECIO_DeleteByKey(keyed, record, handle);
    default: DBreport(kDoUnknown, keyed.table->module); return 0;
  }
}

void RECIO_CopyKey(const RECIO_TABLE& table, void* to, const void* from) {
  const RECIO_FIELD& key = table.fields[0];
  my_strncpy(reinterpret_cast<char*>(FieldPtr(to, key)), RECIO_Text(from, key).c_str(),
             key.size - 1);
}

int RECIO_SameKey(const RECIO_TABLE& table, const void* a, const void* b) {
  return RECIO_SameText(RECIO_Text(a, table.fields[0]), RECIO_Text(b, table.fields[0]));
}

int RECIO_OpenWalk(DBHANDLE* handle, const char* cursor, const char* query,
                   const char* count_query) {
  RECIO_Begin(handle);
  const int ok = OpenWalkInBracket(handle, cursor, query, count_query);
  RECIO_End(handle);
  return ok;
}

int RECIO_FetchNext(const RECIO_TABLE& table, void* record, const char* cursor, DBHANDLE* handle) {
  RECIO_Begin(handle);
  const int ok = FetchInBracket(table, record, cursor, handle);
  RECIO_End(handle);
  return ok;
}

int RECIO_SelectSeq(const RECIO_TABLE& table, DBHANDLE* handle) {
  const std::string query = std::string("SELECT * FROM ") + table.module + " ";
  const std::string count_query = std::string("SELECT COUNT(*) FROM ") + table.module;
  return RECIO_OpenWalk(handle, SeqCursor(table).c_str(), query.c_str(), count_query.c_str());
}

int RECIO_FetchSeq(const RECIO_TABLE& table, void* record, DBHANDLE* handle) {
  return RECIO_FetchNext(table, record, SeqCursor(table).c_str(), handle);
}

int RECIO_FetchSeqAll(const RECIO_TABLE& table, DBHANDLE* handle, MYDB_RESULT* out_result,
                      int* out_status) {
  RECIO_Begin(handle);
  const std::string cursor = SeqCursor(table);
  const std::string statement = "FETCH ALL in " + cursor;
  const int ok = dbexec1(handle, statement.c_str(), out_result, out_status);
  if (ok) (void)dbclose(handle, cursor.c_str());
  RECIO_End(handle);
  return ok;
}

int RECIO_SelectAll(const RECIO_TABLE& table, DBHANDLE* handle, const char* query,
                    MYDB_RESULT* out_result, int* out_status) {
  int old_max = 0;
  const int raised = RaiseMax(handle, &old_max);
  const int ok = dbexec1(handle, query, out_result, out_status);
  if (raised) RestoreMax(handle, old_max);
  if (!ok) return 0;
  if (*out_status != MYDB_TUPLES_PARTIAL) return 1;
  dberror(kSelectIncomplete, table.module);
  return 0;
}

int RECIO_SelectByKeys(const RECIO_KEYED& keyed, const std::vector<std::string>& keys,
                       DBHANDLE* handle, MYDB_RESULT* out_result, int* out_status) {
  const RECIO_FIELD& key = keyed.table->fields[0];
  std::string query =
      std::string("SELECT * FROM ") + keyed.sql_name + " WHERE " + key.name + " IN (";
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (k > 0) query += ",";
    query += "'";
    query += Make_ValueString(keys[k].c_str(), key.size - 1);
    query += "'";
  }
  query += ")";
  VALSTR_Free();
  RECIO_Begin(handle);
  const int ok = dbexec1(handle, query.c_str(), out_result, out_status);
  RECIO_End(handle);
  return ok;
}

int RECIO_CursorCount(const RECIO_TABLE& table, DBHANDLE* handle, int* out_count) {
  const std::string cursor = std::string(table.module) + "_Cur_Count";
  const std::string query = std::string("SELECT COUNT(*) FROM ") + table.module;
  RECIO_Begin(handle);
  int ok = dbdeclare(handle, cursor.c_str(), query.c_str());
  if (ok) {
    MYDB_RESULT result;
    int status = 0;
    const std::string fetch = "in " + cursor;
    const int fetched = dbexec(handle, "FETCH ALL", fetch.c_str(), &result, &status) &&
                        dbfill_count(handle, result.get(), status, out_count);
    const std::string kept = DBHANDLE_ErrorText();
    const int closed = dbclose(handle, cursor.c_str());
    if (!fetched) DBHANDLE_RestoreError(kept);
    ok = fetched && closed;
  }
  RECIO_End(handle);
  return ok;
}
