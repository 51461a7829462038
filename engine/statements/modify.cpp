// modify.cpp: the steps the data modification handlers share, and the row
// changes of UPDATE and DELETE.
#include "engine/statements/modify.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/statements/binnotation.h"
#include "engine/statements/modify_internal.h"
#include "engine/statements/where.h"
#include "engine/tables/redo_log.h"
#include "engine/tables/rowindex.h"
#include "engine/types/dates.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "engine/types/values.h"

namespace {

// ---------------------------------------------------------------------------
// Typed values

// The text of a CHARACTER value: its bytes up to the first zero, never
// beyond the value (a value without its zero must not be read past).
std::string ValueText(const unsigned char* bytes, int size) {
  const void* zero = std::memchr(bytes, 0, size);
  const int n = zero ? static_cast<int>(static_cast<const unsigned char*>(zero) - bytes) : size;
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

int StoreTypedText(const TYPEDTEXTS& texts, const DBATTRIB& attrib, const unsigned char* bytes,
                   int size, unsigned char* field) {
  if (size == 1 && attrib.size >= 2) {
    // One character, as record modules send flags: written without the
    // blanks a padded copy would add.
    field[0] = bytes[0];
    field[1] = '\0';
    return 1;
  }
  const std::string text = ValueText(bytes, size);
  const int n = attrib.size - 1;
  if (size > attrib.size || static_cast<int>(text.size()) > n) {
    const int shown = size > attrib.size ? size - 1 : static_cast<int>(text.size());
    REPLY_Errorf(texts.too_long, text.c_str(), shown, attrib.name.c_str(), n);
    return 0;
  }
  Row_PadCopy(field, text, attrib.size);
  return 1;
}

int StoreTypedBinary(const TYPEDTEXTS& texts, const DBATTRIB& attrib, const unsigned char* bytes,
                     int size, unsigned char* field) {
  if (size > attrib.size) {
    const std::string shown = size > 2 ? ValueText(bytes + 2, size - 2) : std::string();
    REPLY_Errorf(texts.too_long, shown.c_str(), size - 2, attrib.name.c_str(), attrib.size - 2);
    return 0;
  }
  // The value's own length decides how many bytes readers take from the
  // field, so it must describe exactly the bytes that came with it.
  int16_t content = -1;
  if (size >= 2) std::memcpy(&content, bytes, 2);
  if (content < 0 || content != size - 2) {
    REPLY_Errorf(texts.illegal_type, attrib.name.c_str());
    return 0;
  }
  std::memcpy(field, bytes, size);
  return 1;
}

// SMALLINT .. TIMESTAMP: the row form itself. A value shorter than the
// row form would leave the field half written and is refused.
int StoreTypedFixed(const TYPEDTEXTS& texts, const DBATTRIB& attrib, const unsigned char* bytes,
                    int size, unsigned char* field) {
  int expected = 0;
  if (!VALUE_FieldSize(attrib.type, 0, &expected) || size < expected || attrib.size != expected) {
    REPLY_Errorf(texts.illegal_type, attrib.name.c_str());
    return 0;
  }
  std::memcpy(field, bytes, expected);
  return 1;
}

int StoreTyped(const TYPEDTEXTS& texts, const DBATTRIB& attrib, const unsigned char* bytes,
               int size, unsigned char* field) {
  switch (attrib.type) {
    case DBTYPE_CHARACTER: return StoreTypedText(texts, attrib, bytes, size, field);
    case DBTYPE_BINARY: return StoreTypedBinary(texts, attrib, bytes, size, field);
    case DBTYPE_SMALLINT:
    case DBTYPE_INTEGER:
    case DBTYPE_FLOAT:
    case DBTYPE_DATE:
    case DBTYPE_TIME:
    case DBTYPE_TIMESTAMP: return StoreTypedFixed(texts, attrib, bytes, size, field);
    default: REPLY_Errorf(texts.illegal_type, attrib.name.c_str()); return 0;
  }
}

int ReadTypedValue(const TYPEDTEXTS& texts, MODIFYSTMT* st, const DBATTRIB& attrib,
                   unsigned char* field) {
  unsigned char code = 0;
  st->offset = TOKEN_Kind(st->msg, st->length, st->offset, &code);
  if (code != attrib.type) {
    REPLY_Errorf(texts.wrong_type, attrib.name.c_str(), st->table->name.c_str(), attrib.type, code);
    return 0;
  }
  const unsigned char* bytes = nullptr;
  int size = 0;
  std::string detail;
  const int next = TOKEN_Data(st->msg, st->length, st->offset, &bytes, &size, &detail);
  if (next < 0) {
    REPLY_ErrorDetail(texts.prefix, detail);
    return 0;
  }
  st->offset = next;
  return StoreTyped(texts, attrib, bytes, size, field);
}

// ---------------------------------------------------------------------------
// SQL literals

int StoreInteger(const LITERALTEXTS& texts, const DBATTRIB& attrib, int32_t value,
                 unsigned char* field) {
  switch (attrib.type) {
    case DBTYPE_SMALLINT: {
      if (value < -32768 || value > 32767) {
        REPLY_Errorf(texts.illegal_short, value, attrib.name.c_str());
        return 0;
      }
      const int16_t v = static_cast<int16_t>(value);
      std::memcpy(field, &v, sizeof v);
      return 1;
    }
    case DBTYPE_INTEGER: std::memcpy(field, &value, sizeof value); return 1;
    case DBTYPE_FLOAT: {
      const double v = value;
      std::memcpy(field, &v, sizeof v);
      return 1;
    }
    default: REPLY_Errorf(texts.illegal_type, attrib.name.c_str()); return 0;
  }
}

int StoreDateText(const LITERALTEXTS& texts, const DBATTRIB& attrib, const std::string& text,
                  unsigned char* field) {
  if (DATES_ToRow(attrib.type, text, field)) return 1;
  const char* message = attrib.type == DBTYPE_DATE   ? texts.bad_date
                        : attrib.type == DBTYPE_TIME ? texts.bad_time
                                                     : texts.bad_timestamp;
  REPLY_Errorf(message, text.c_str());
  return 0;
}

int StoreText(const LITERALTEXTS& texts, const DBATTRIB& attrib, const std::string& text,
              unsigned char* field) {
  switch (attrib.type) {
    case DBTYPE_CHARACTER: {
      const int n = attrib.size - 1;
      if (static_cast<int>(text.size()) > n) {
        REPLY_Errorf(texts.too_long, text.c_str(), static_cast<int>(text.size()),
                     attrib.name.c_str(), n);
        return 0;
      }
      Row_PadCopy(field, text, attrib.size);
      return 1;
    }
    case DBTYPE_BINARY:
      if (BINNOT_ToField(text, attrib.size, field)) return 1;
      REPLY_Errorf(texts.binary_invalid, text.c_str(), attrib.name.c_str(), attrib.size - 2);
      return 0;
    case DBTYPE_DATE:
    case DBTYPE_TIME:
    case DBTYPE_TIMESTAMP: return StoreDateText(texts, attrib, text, field);
    default: REPLY_Errorf(texts.illegal_type, attrib.name.c_str()); return 0;
  }
}

// A literal's payload cut short by the end of the message.
int CutShort(const LITERALTEXTS& texts, const std::string& detail) {
  REPLY_ErrorDetail(texts.illegal_value, detail);
  return 0;
}

// ---------------------------------------------------------------------------
// Row changes

// A change of one row under way is a ROWUNDO: the row as it stood and the
// version that receives the new bytes (the row itself when it is already a
// changed version of this transaction, whose old bytes are then kept).
void ChangeBegin(DBTABLE* table, int row, int timestamp, ROWUNDO* change) {
  ROWIDX_RemoveUnique(table, row);
  ROWIDX_RemoveLists(table, row, {});
  change->row = row;
  const bool in_place = table->rows.slots[row].base >= 0;
  if (in_place) {
    const unsigned char* data = ROWPOOL_Data(table->rows, row);
    change->before.assign(data, data + table->rows.row_size);
  }
  change->version = KASPO_Change(&table->rows, row, timestamp);
}

// Gives a change's version up and puts the row back into the indexes as
// it was. REQUIRES: the version is in no index.
void PutBack(DBTABLE* table, const ROWUNDO& change) {
  if (change.version != change.row) {
    RowPool_FreeSlot(&table->rows, change.version);
  } else if (!change.before.empty()) {
    std::memcpy(ROWPOOL_Data(&table->rows, change.row), change.before.data(), change.before.size());
  }
  ROWIDX_RestoreUnique(table, change.row);
  ROWIDX_AddLists(table, change.row, {});
}

// Lets the new bytes into the indexes and keeps the change for an undo,
// or, when they break a unique index, puts the row back as it was.
int ChangeEnd(DBTABLE* table, int timestamp, ROWUNDO* change, STMTUNDO* undo) {
  if (ROWIDX_UniqueOk(table, change->version)) {
    ROWIDX_AddUnique(table, change->version, timestamp);
    ROWIDX_AddLists(table, change->version, {});
    undo->push_back(std::move(*change));
    return 1;
  }
  PutBack(table, *change);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Prologue, transaction, redo

int MODIFY_Begin(const MODIFYTEXTS& texts, int conn_id, const unsigned char* msg, int length,
                 MODIFYSTMT* out) {
  if (!CATALOG_Preamble(texts.statement, conn_id, &out->conn, &out->db)) return 0;
  if (out->conn->trans_ts < 0) {
    REPLY_Error(texts.no_transaction);
    return 0;
  }
  std::string name;
  int next = TOKEN_FIRST;
  if (!TOKEN_ReadName(msg, length, &next, texts.name_missing, &name)) return 0;
  if (!CATALOG_FindTable(out->db, name, &out->table, &out->table_pos)) {
    REPLY_Errorf(texts.no_table, name.c_str(), out->db->name);
    return 0;
  }
  out->timestamp = out->conn->trans_ts;
  out->msg = msg;
  out->length = length;
  out->offset = next;
  return 1;
}

int MODIFY_Record(const MODIFYTEXTS& texts, MODIFYSTMT* st, TRANS_LIST list) {
  if (Trans_RecordTable(st->conn, list, st->table)) return 1;
  REPLY_Errorf(texts.too_many_tables, DB_MAXTABLES);
  return 0;
}

void MODIFY_Redo(MODIFYSTMT* st) {
  if (st->table->secure == '1') Redo_Append(st->conn, st->msg, st->length);
}

int MODIFY_ReadTypedRow(const TYPEDTEXTS& texts, MODIFYSTMT* st, unsigned char* row) {
  // Cleared first: a reused slot must not carry an earlier row's bytes in
  // pad bytes or behind a short value into the table files.
  if (st->table->rows.row_size > 0) std::memset(row, 0, st->table->rows.row_size);
  return MODIFY_ReadTypedValues(texts, st, CATALOG_Attribs(st->table), row);
}

int MODIFY_ReadTypedValues(const TYPEDTEXTS& texts, MODIFYSTMT* st,
                           std::span<DBATTRIB* const> attribs, unsigned char* row) {
  for (DBATTRIB* attrib : attribs) {
    if (!ReadTypedValue(texts, st, *attrib, row + attrib->offset)) return 0;
  }
  return 1;
}

int MODIFY_ReadLiteral(const LITERALTEXTS& texts, MODIFYSTMT* st, const DBATTRIB& attrib,
                       unsigned char* field) {
  unsigned char kind = 0;
  st->offset = TOKEN_Kind(st->msg, st->length, st->offset, &kind);
  std::string detail;
  if (kind == DBTK_INTVAL) {
    int32_t value = 0;
    st->offset = TOKEN_Int32(st->msg, st->length, st->offset, &value, &detail);
    if (st->offset < 0) return CutShort(texts, detail);
    return StoreInteger(texts, attrib, value, field);
  }
  if (kind == DBTK_FLOATVAL) {
    double value = 0;
    st->offset = TOKEN_Double(st->msg, st->length, st->offset, &value, &detail);
    if (st->offset < 0) return CutShort(texts, detail);
    if (attrib.type != DBTYPE_FLOAT) {
      REPLY_Errorf(texts.illegal_type, attrib.name.c_str());
      return 0;
    }
    std::memcpy(field, &value, sizeof value);
    return 1;
  }
  if (kind == DBTK_STRINGVAL) {
    std::string text;
    st->offset = TOKEN_Text(st->msg, st->length, st->offset, &text, &detail);
    if (st->offset < 0) return CutShort(texts, detail);
    return StoreText(texts, attrib, text, field);
  }
  REPLY_Error(texts.illegal_value);
  return 0;
}

void MODIFY_UniqueRows(const DBTABLE& table, std::vector<int32_t>* rows) {
  std::vector<unsigned char> seen(table.rows.slots.size(), 0);
  auto kept = std::remove_if(rows->begin(), rows->end(), [&seen](int32_t row) {
    if (row < 0 || row >= static_cast<int32_t>(seen.size()) || seen[row]) return true;
    seen[row] = 1;
    return false;
  });
  rows->erase(kept, rows->end());
}

int MODIFY_SelectRows(const char* statement, const char* too_many, MODIFYSTMT* st, QTOKENS* tok,
                      std::vector<int32_t>* rows) {
  int truncated = 0;
  if (!WHERE_TableRows(st->conn, st->db, st->table_pos, st->timestamp, statement, tok, rows,
                       &truncated))
    return 0;
  if (truncated) {
    REPLY_Error(too_many);
    return 0;
  }
  MODIFY_UniqueRows(*st->table, rows);
  return 1;
}

// ---------------------------------------------------------------------------
// Shared row functions

void Row_PadCopy(unsigned char* field, std::string_view text, int field_size) {
  if (field_size < 1) return;
  const int n = field_size - 1;
  const int copied = std::min(n, static_cast<int>(text.size()));
  std::memcpy(field, text.data(), copied);
  std::memset(field + copied, ' ', n - copied);
  field[n] = '\0';
}

int Row_Update(DBTABLE* table, int row, int timestamp, const unsigned char* image, STMTUNDO* undo) {
  ROWUNDO change;
  ChangeBegin(table, row, timestamp, &change);
  std::memcpy(ROWPOOL_Data(&table->rows, change.version), image, table->rows.row_size);
  return ChangeEnd(table, timestamp, &change, undo);
}

int Row_UpdateSet(DBTABLE* table, int row, int timestamp, std::span<const ROWSETVALUE> set,
                  STMTUNDO* undo) {
  ROWUNDO change;
  ChangeBegin(table, row, timestamp, &change);
  unsigned char* data = ROWPOOL_Data(&table->rows, change.version);
  for (const ROWSETVALUE& value : set) {
    std::memcpy(data + value.attrib->offset, value.field, value.attrib->size);
  }
  return ChangeEnd(table, timestamp, &change, undo);
}

void Row_Delete(DBTABLE* table, int row, int timestamp, STMTUNDO* undo) {
  ROWIDX_RemoveUnique(table, row);
  ROWIDX_RemoveLists(table, row, {});
  table->rows.slots[row].delete_ts = timestamp;
  undo->push_back(ROWUNDO{row, -1, {}});
}

void MODIFY_Undo(DBTABLE* table, STMTUNDO* undo) {
  // Newest first: each row then finds the indexes as they were just after
  // its own change, so its old key cannot collide.
  for (auto change = undo->rbegin(); change != undo->rend(); ++change) {
    if (change->version < 0) {
      table->rows.slots[change->row].delete_ts = -1;
      ROWIDX_RestoreUnique(table, change->row);
      ROWIDX_AddLists(table, change->row, {});
      continue;
    }
    ROWIDX_RemoveUnique(table, change->version);
    ROWIDX_RemoveLists(table, change->version, {});
    PutBack(table, *change);
  }
  undo->clear();
}
