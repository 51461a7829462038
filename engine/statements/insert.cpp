// insert.cpp: INSERT ('E'), INSERT STD ('D') and INSERT LOAD ('L').
#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/statements/modify.h"
#include "engine/statements/modify_internal.h"
#include "engine/tables/rowindex.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "engine/types/values.h"

namespace {

constexpr char kTooManyTables[] =
    "(INSERT) Too many changed tables in transaction (DB_MAXTABLES %d)";

constexpr MODIFYTEXTS kInsert = {
    "INSERT", "(INSERT) No transaction", "(INSERT) table-name is missing",
    "(INSERT) Table '%s' does not exist in database '%s'", kTooManyTables};
constexpr MODIFYTEXTS kInsertStd = {
    "INSERT STD", "(INSERT STD) No transaction", "(INSERT STD) table-name is missing",
    "(INSERT STD) Table '%s' does not exist in database '%s'", kTooManyTables};
constexpr MODIFYTEXTS kInsertLoad = {
    "INSERT LOAD", "(INSERT LOAD) No transaction", "(INSERT LOAD) table-name is missing",
    "(INSERT LOAD) Table '%s' does not exist in database '%s'", kTooManyTables};

constexpr TYPEDTEXTS kStdValues = {
    "(INSERT STD)", "(INSERT STD) Wrong type of attribute '%s' in table '%s' (%c/%c)",
    "(INSERT STD) Value '%s' (size %d) too long for attribute '%s' (size %d)",
    "(INSERT STD) Illegal value-type for attribute '%s'"};
constexpr TYPEDTEXTS kLoadValues = {
    "(INSERT LOAD)", "(INSERT LOAD) Wrong type of attribute '%s' in table '%s' (%c/%c)",
    "(INSERT LOAD) Value '%s' (size %d) too long for attribute '%s' (size %d)",
    "(INSERT LOAD) Illegal value-type for attribute '%s'"};

constexpr LITERALTEXTS kLiterals = {
    "(INSERT) Illegal value-type for attribute '%s'",
    "(INSERT) Illegal short-value '%d' given for attribute '%s'",
    "(INSERT) Value '%s' (size %d) too long for attribute '%s' (size %d)",
    "(INSERT) Binary value '%s' invalid for attribute '%s' (size %d)",
    "(INSERT) Invalid date-value '%s'",
    "(INSERT) Invalid time-value '%s'",
    "(INSERT) Invalid timestamp-value '%s'",
    "(INSERT) Syntax error: illegal value"};

constexpr char kAttribMissing[] = "(INSERT) attrib-name is missing";
constexpr char kAttribNotFound[] = "(INSERT) Attribute '%s' not found in table '%s'";
constexpr char kNoValueNotNull[] = "(INSERT) No value given for 'NOT NULL'-attribute '%s'";
constexpr char kIllegalType[] = "(INSERT) Illegal value-type for attribute '%s'";
constexpr char kInsertViolation[] = "(INSERT) Unique index violation";
constexpr char kStdViolation[] = "(INSERT STD) Unique index violation";

// Makes the filled slot a row of the table: the transaction's INSERT list,
// the indexes, the redo buffer. A refusal for the changed-table limit
// releases the slot.
void PlaceRow(const MODIFYTEXTS& texts, MODIFYSTMT* st, int slot) {
  if (!MODIFY_Record(texts, st, TRANS_INSERTED)) {
    RowPool_FreeSlot(&st->table->rows, slot);
    return;
  }
  ROWIDX_AddUnique(st->table, slot, st->timestamp);
  ROWIDX_AddLists(st->table, slot, {});
  MODIFY_Redo(st);
  REPLY_Success();
}

// INSERT STD: typed values for every attribute.
void InsertTyped(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kInsertStd, conn_id, msg, length, &st)) return;
  ROWPOOL* pool = &st.table->rows;
  const int slot = RowPool_NewSlot(pool, st.timestamp);
  if (!MODIFY_ReadTypedRow(kStdValues, &st, ROWPOOL_Data(pool, slot))) {
    RowPool_FreeSlot(pool, slot);
    return;
  }
  if (!ROWIDX_UniqueOk(st.table, slot)) {
    RowPool_FreeSlot(pool, slot);
    REPLY_Error(kStdViolation);
    return;
  }
  PlaceRow(kInsertStd, &st, slot);
}

// Reads the next row of an INSERT LOAD into a new slot, straight from the
// message: a slot appended to the pool holds zeros already and is not
// cleared again. Returns the slot, or -1 after the error reply.
int LoadRow(MODIFYSTMT* st, std::span<DBATTRIB* const> attribs) {
  ROWPOOL* pool = &st->table->rows;
  const bool fresh = pool->free_head < 0;
  const int slot = RowPool_NewSlot(pool, st->timestamp);
  unsigned char* row = ROWPOOL_Data(pool, slot);
  if (!fresh && pool->row_size > 0) std::memset(row, 0, pool->row_size);
  if (MODIFY_ReadTypedValues(kLoadValues, st, attribs, row)) return slot;
  RowPool_FreeSlot(pool, slot);
  return -1;
}

// The attribute list of INSERT, up to VALUES; an empty list stands for
// every attribute in definition order.
int ReadAttribList(MODIFYSTMT* st, std::vector<DBATTRIB*>* listed) {
  unsigned char kind = 0;
  st->offset = TOKEN_Kind(st->msg, st->length, st->offset, &kind);
  if (kind == DBTK_VALUES) {
    *listed = CATALOG_Attribs(st->table);
    return 1;
  }
  while (kind != DBTK_VALUES) {
    std::string name;
    std::string detail;
    if (kind != DBTK_IDENT) {
      REPLY_Error(kAttribMissing);
      return 0;
    }
    const int next = TOKEN_Text(st->msg, st->length, st->offset, &name, &detail);
    if (next < 0) {
      REPLY_ErrorDetail(kAttribMissing, detail);
      return 0;
    }
    DBATTRIB* attrib = nullptr;
    if (!CATALOG_FindAttrib(st->table, name, &attrib, nullptr)) {
      REPLY_Errorf(kAttribNotFound, name.c_str(), st->table->name.c_str());
      return 0;
    }
    listed->push_back(attrib);
    st->offset = TOKEN_Kind(st->msg, st->length, next, &kind);
  }
  return 1;
}

// Attributes the statement does not name get their no-value marker, unless
// they are NOT NULL.
int WriteMissing(MODIFYSTMT* st, const std::vector<DBATTRIB*>& listed, unsigned char* row) {
  for (DBATTRIB* attrib : CATALOG_Attribs(st->table)) {
    if (std::find(listed.begin(), listed.end(), attrib) != listed.end()) continue;
    if (attrib->not_null == '1') {
      REPLY_Errorf(kNoValueNotNull, attrib->name.c_str());
      return 0;
    }
    if (!VALUE_WriteMissing(attrib->type, attrib->size, row + attrib->offset)) {
      REPLY_Errorf(kIllegalType, attrib->name.c_str());
      return 0;
    }
  }
  return 1;
}

// Fills the new row of INSERT from the message. Writes the error reply and
// returns 0 on failure.
int FillSqlRow(MODIFYSTMT* st, unsigned char* row) {
  if (st->table->rows.row_size > 0) std::memset(row, 0, st->table->rows.row_size);
  std::vector<DBATTRIB*> listed;
  if (!ReadAttribList(st, &listed) || !WriteMissing(st, listed, row)) return 0;
  for (DBATTRIB* attrib : listed) {
    if (!MODIFY_ReadLiteral(kLiterals, st, *attrib, row + attrib->offset)) return 0;
  }
  return 1;
}

}  // namespace

void MODIFY_Insert(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kInsert, conn_id, msg, length, &st)) return;
  ROWPOOL* pool = &st.table->rows;
  const int slot = RowPool_NewSlot(pool, st.timestamp);
  if (!FillSqlRow(&st, ROWPOOL_Data(pool, slot))) {
    RowPool_FreeSlot(pool, slot);
    return;
  }
  if (!ROWIDX_UniqueOk(st.table, slot)) {
    RowPool_FreeSlot(pool, slot);
    REPLY_Error(kInsertViolation);
    return;
  }
  PlaceRow(kInsert, &st, slot);
}

void MODIFY_InsertStd(int conn_id, const unsigned char* msg, int length) {
  InsertTyped(conn_id, msg, length);
}

// INSERT LOAD takes rows one after the other until the message ends, so
// that a bulk load sends one message for many rows. The rows enter the
// indexes together after the last is read; a row that is refused takes
// back the rows before it (the statement is atomic), newest first, so
// that the free list gives the slots out again in the same order.
void MODIFY_InsertLoad(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kInsertLoad, conn_id, msg, length, &st)) return;
  const std::vector<DBATTRIB*> attribs = CATALOG_Attribs(st.table);
  std::vector<int> placed;
  do {
    const int slot = LoadRow(&st, attribs);
    if (slot < 0) {
      for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        RowPool_FreeSlot(&st.table->rows, *it);
      }
      return;
    }
    placed.push_back(slot);
  } while (st.offset < length);
  ROWIDX_AddUniqueRows(st.table, placed, st.timestamp);
  for (const int slot : placed) ROWIDX_AddLists(st.table, slot, {});
  MODIFY_Redo(&st);
  REPLY_Success();
}
