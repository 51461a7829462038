// update.cpp: UPDATE ('I') and UPDATE STD ('H').
#include <string>
#include <vector>

#include "engine/query/where.h"
#include "engine/storage/modify.h"
#include "engine/storage/modify_internal.h"
#include "engine/types/values.h"
#include "engine/types/wire.h"

namespace {

constexpr MODIFYTEXTS kUpdate = {
    "UPDATE", "(UPDATE) No transaction", "(UPDATE) table-name is missing",
    "(UPDATE) Table %s does not exist in database %s",
    "(UPDATE) Too many changed tables in transaction (DB_MAXTABLES %d)"};
constexpr MODIFYTEXTS kUpdateStd = {
    "UPDATE STD", "(UPDATE STD) No transaction", "(UPDATE STD) table-name is missing",
    "(UPDATE STD) Table %s does not exist in database %s",
    "(UPDATE STD) Too many changed tables in transaction (DB_MAXTABLES %d)"};

constexpr TYPEDTEXTS kStdValues = {
    "(UPDATE STD)", "(UPDATE STD) Wrong type of attribute '%s' in table '%s' (%c/%c)",
    "(UPDATE STD) Value '%s' (size %d) too long for attribute '%s' (size %d)",
    "(UPDATE STD) Illegal value-type for attribute '%s'"};

constexpr LITERALTEXTS kLiterals = {
    "(UPDATE) Illegal value-type for attribute '%s'",
    "(UPDATE) Illegal short-value %d given for attribute '%s'",
    "(UPDATE) Value '%s' (size %d) too long for attribute '%s' (size %d)",
    "(UPDATE) Binary value '%s' invalid for attribute '%s' (size %d)",
    "(UPDATE) Invalid date-value '%s'",
    "(UPDATE) Invalid time-value '%s'",
    "(UPDATE) Invalid timestamp-value '%s'",
    "(UPDATE) Syntax error: illegal value"};

constexpr char kAttribExpected[] = "(UPDATE) attrib-name expected";
constexpr char kAttribNotFound[] = "(UPDATE) Attrib '%s' not found in table '%s'";
constexpr char kTooManyAttribs[] = "(UPDATE) Too many attribs (DB_MAXATTRIBS = %d)";
// Both UPDATE forms answer with this spelling.
constexpr char kTooManyResults[] = "(UPDATA) Subselect with too many results";
constexpr char kUpdateViolation[] = "(UPDATE) Unique index violation";
constexpr char kStdViolation[] = "(UPDATE STD) Unique index violation";

// The SET list of UPDATE: the new values in row form, each at its
// attribute's place in `image` (an attribute set twice keeps the last).
struct SETLIST {
  std::vector<unsigned char> image;
  std::vector<ROWSETVALUE> values;
};

// Reads one "attribute literal" pair; the identifier's kind is read.
int ReadSetValue(MODIFYSTMT* st, SETLIST* set) {
  if (set->values.size() >= static_cast<size_t>(DB_MAXATTRIBS)) {
    REPLY_Errorf(kTooManyAttribs, DB_MAXATTRIBS);
    return 0;
  }
  std::string name;
  std::string detail;
  const int next = TOKEN_Text(st->msg, st->length, st->offset, &name, &detail);
  if (next < 0) {
    REPLY_ErrorDetail(kAttribExpected, detail);
    return 0;
  }
  st->offset = next;
  DBATTRIB* attrib = nullptr;
  if (!CATALOG_FindAttrib(st->table, name, &attrib, nullptr)) {
    REPLY_Errorf(kAttribNotFound, name.c_str(), st->table->name.c_str());
    return 0;
  }
  unsigned char* field = set->image.data() + attrib->offset;
  if (!MODIFY_ReadLiteral(kLiterals, st, *attrib, field)) return 0;
  set->values.push_back({attrib, field});
  return 1;
}

// Reads the SET list; it ends at the first token that is no identifier,
// which becomes tok->kind.
int ReadSetList(MODIFYSTMT* st, SETLIST* set, QTOKENS* tok) {
  set->image.assign(st->table->rows.row_size, 0);
  unsigned char kind = 0;
  st->offset = TOKEN_Kind(st->msg, st->length, st->offset, &kind);
  if (kind != DBTK_IDENT) {
    REPLY_Error(kAttribExpected);
    return 0;
  }
  while (kind == DBTK_IDENT) {
    if (!ReadSetValue(st, set)) return 0;
    st->offset = TOKEN_Kind(st->msg, st->length, st->offset, &kind);
  }
  *tok = QTOKENS{st->msg, st->length, st->offset, kind};
  return 1;
}

}  // namespace

void MODIFY_Update(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kUpdate, conn_id, msg, length, &st)) return;
  SETLIST set;
  QTOKENS tok;
  std::vector<int32_t> rows;
  if (!ReadSetList(&st, &set, &tok) ||
      !MODIFY_SelectRows(kUpdate.statement, kTooManyResults, &st, &tok, &rows))
    return;
  if (!MODIFY_Record(kUpdate, &st, TRANS_CHANGED)) return;
  const auto change = [&](int32_t row, STMTUNDO* undo) {
    return Row_UpdateSet(st.table, row, st.timestamp, set.values, undo);
  };
  if (!MODIFY_ChangeRows(&st, rows, change, kUpdateViolation)) return;
  MODIFY_Redo(&st);
  REPLY_Count(static_cast<int32_t>(rows.size()));
}

void MODIFY_UpdateStd(int conn_id, const unsigned char* msg, int length) {
  MODIFYSTMT st;
  if (!MODIFY_Begin(kUpdateStd, conn_id, msg, length, &st)) return;
  std::vector<unsigned char> image(st.table->rows.row_size, 0);
  if (!MODIFY_ReadTypedRow(kStdValues, &st, image.data())) return;
  QTOKENS tok{msg, length, 0, 0};
  tok.pos = TOKEN_Kind(msg, length, st.offset, &tok.kind);
  std::vector<int32_t> rows;
  if (!MODIFY_SelectRows(kUpdateStd.statement, kTooManyResults, &st, &tok, &rows)) return;
  if (!MODIFY_Record(kUpdateStd, &st, TRANS_CHANGED)) return;
  const auto change = [&](int32_t row, STMTUNDO* undo) {
    return Row_Update(st.table, row, st.timestamp, image.data(), undo);
  };
  if (!MODIFY_ChangeRows(&st, rows, change, kStdViolation)) return;
  MODIFY_Redo(&st);
  REPLY_Count(static_cast<int32_t>(rows.size()));
}
