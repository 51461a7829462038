// selectlist.cpp: the select list and FROM list of a select body.
#include "engine/statements/selectlist.h"

#include <string>

#include "engine/types/reply.h"
#include "engine/types/token_reader.h"

namespace {

constexpr char kNameMissing[] = "(SELECT) attrib-name missing";
constexpr char kIdentMissing[] = "(SELECT) attrib-identifier missing";
constexpr char kTableMissing[] = "(SELECT) table-name is missing";
constexpr char kTableIdentMissing[] = "(SELECT) table-identifier is missing";
constexpr char kIdentUsed[] = "(SELECT) Table-identifier '%s' already used";
constexpr char kTooManyTables[] = "(SELECT) Too many tables (max = %d)";
constexpr char kNoTable[] = "(SELECT) Table '%s' does not exist";
constexpr char kNoIdent[] = "(SELECT) Table-identifier '%s' does not exist";
constexpr char kAttribNotFound[] = "(SELECT) Attribute %s not found";
constexpr char kTableNotFound[] = "(SELECT) Table not found";
constexpr char kNoSuchAttrib[] = "(SELECT) Table '%s' does not contain attribute %s";

// An item as written, before its names are resolved.
struct RAWITEM {
  int function = SELECT_NOFUNCTION;
  bool has_ident = false;
  bool has_name = false;  // false for * and COUNT(*)
  std::string ident;
  std::string name;
};

struct RAWFROM {
  std::vector<std::string> names;
  NAMELIST idents;
};

// Reads the text payload of the current token. A cut-short payload writes
// `message`, a line break and the reader's text.
[[nodiscard]] int Payload(QTOKENS* tok, const char* message, std::string* text) {
  std::string detail;
  const int pos = TOKEN_Text(tok->msg, tok->length, tok->pos, text, &detail);
  if (pos == TOKEN_FAILED) {
    REPLY_ErrorDetail(message, detail);
    return 0;
  }
  tok->pos = pos;
  QTOKENS_Next(tok);
  return 1;
}

// The attribute after MIN/MAX: 'a' name or 'f' identifier 'a' name.
[[nodiscard]] int FunctionArgument(QTOKENS* tok, RAWITEM* item) {
  QTOKENS_Next(tok);
  if (tok->kind == DBTK_STRINGVAL) {
    item->has_ident = true;
    if (!Payload(tok, kIdentMissing, &item->ident)) return 0;
  }
  if (tok->kind != DBTK_IDENT) {
    REPLY_Error(kNameMissing);
    return 0;
  }
  item->has_name = true;
  return Payload(tok, kNameMissing, &item->name);
}

[[nodiscard]] int ReadItem(QTOKENS* tok, RAWITEM* item) {
  switch (tok->kind) {
    case DBTK_STAR: QTOKENS_Next(tok); return 1;
    case DBTK_COUNT:
      item->function = SELECT_COUNT;
      QTOKENS_Next(tok);
      return 1;
    case DBTK_MIN:
    case DBTK_MAX: item->function = tok->kind; return FunctionArgument(tok, item);
    case DBTK_STRINGVAL:
      item->has_ident = true;
      if (!Payload(tok, kIdentMissing, &item->ident)) return 0;
      if (tok->kind == DBTK_STAR) {
        QTOKENS_Next(tok);
        return 1;
      }
      if (tok->kind != DBTK_IDENT) break;
      item->has_name = true;
      return Payload(tok, kNameMissing, &item->name);
    case DBTK_IDENT: item->has_name = true; return Payload(tok, kNameMissing, &item->name);
    default: break;
  }
  REPLY_Error(kNameMissing);
  return 0;
}

// The tables after FROM, each optionally with its identifier.
[[nodiscard]] int ReadFrom(QTOKENS* tok, RAWFROM* from) {
  QTOKENS_Next(tok);
  if (tok->kind != DBTK_IDENT) {
    REPLY_Error(kTableMissing);
    return 0;
  }
  while (tok->kind == DBTK_IDENT) {
    if (int(from->names.size()) == DB_MAXROWLISTTABLES) {
      REPLY_Errorf(kTooManyTables, DB_MAXROWLISTTABLES);
      return 0;
    }
    std::string name, ident;
    if (!Payload(tok, kTableMissing, &name)) return 0;
    if (tok->kind == DBTK_STRINGVAL) {
      if (!Payload(tok, kTableIdentMissing, &ident)) return 0;
      if (!ident.empty() && NAMELIST_Find(from->idents, ident.c_str()) >= 0) {
        REPLY_Errorf(kIdentUsed, ident.c_str());
        return 0;
      }
    }
    from->names.push_back(name);
    NAMELIST_Add(&from->idents, ident.empty() ? nullptr : ident.c_str());
  }
  return 1;
}

[[nodiscard]] int ResolveTables(QUERYSTMT* stmt, RAWFROM* from, QUERYSCOPE* scope) {
  for (size_t i = 0; i < from->names.size(); ++i) {
    DBTABLE* table;
    int pos;
    if (!CATALOG_FindTable(stmt->db, from->names[i], &table, &pos)) {
      REPLY_Errorf(kNoTable, from->names[i].c_str());
      return 0;
    }
    EXPR_AddScopeTable(scope, table, pos, NAMELIST_Get(from->idents, int(i)));
  }
  return 1;
}

// The first FROM table that has attribute `name`.
[[nodiscard]] int SearchAttrib(QUERYSCOPE* scope, const std::string& name, int* t,
                               DBATTRIB** attrib, int* pos) {
  for (size_t i = 0; i < scope->tables.size(); ++i) {
    if (CATALOG_FindAttrib(scope->tables[i], name, attrib, pos)) {
      *t = int(i);
      return 1;
    }
  }
  REPLY_Errorf(kAttribNotFound, name.c_str());
  return 0;
}

[[nodiscard]] int ResolveItem(QUERYSCOPE* scope, const RAWITEM& raw, SELECTITEMS* items) {
  int t = -1, pos = -1;
  DBATTRIB* attrib = nullptr;
  if (raw.has_ident) {
    // An empty identifier would match the tables that have none.
    t = raw.ident.empty() ? -1 : NAMELIST_Find(scope->identifiers, raw.ident.c_str());
    if (t < 0) {
      REPLY_Errorf(kNoIdent, raw.ident.c_str());
      return 0;
    }
  }
  if (raw.has_name && !raw.has_ident) {
    if (!SearchAttrib(scope, raw.name, &t, &attrib, &pos)) return 0;
  } else if (raw.has_name) {
    DBTABLE* table = scope->tables[size_t(t)];
    if (table == nullptr) {
      REPLY_Error(kTableNotFound);
      return 0;
    }
    if (!CATALOG_FindAttrib(table, raw.name, &attrib, &pos)) {
      REPLY_Errorf(kNoSuchAttrib, table->name.c_str(), raw.name.c_str());
      return 0;
    }
  }
  items->attrib.push_back(pos);
  items->table.push_back(t);
  items->function.push_back(raw.function);
  items->attribs.push_back(attrib);
  return 1;
}

}  // namespace

int SELECT_ReadLists(QUERYSTMT* stmt, QTOKENS* tok, SELECTITEMS* items, QUERYSCOPE* scope) {
  *items = SELECTITEMS{};
  std::vector<RAWITEM> raw;
  QTOKENS_Next(tok);
  if (tok->kind == DBTK_DISTINCT) {
    items->distinct = 1;
    QTOKENS_Next(tok);
  }
  while (tok->kind != DBTK_FROM) {
    RAWITEM item;
    if (!ReadItem(tok, &item)) return 0;
    raw.push_back(std::move(item));
  }
  RAWFROM from;
  if (!ReadFrom(tok, &from)) return 0;
  if (!ResolveTables(stmt, &from, scope)) return 0;
  for (const RAWITEM& item : raw) {
    if (!ResolveItem(scope, item, items)) return 0;
  }
  return 1;
}

int SELECT_OnlyCounts(const SELECTITEMS& items) {
  if (items.function.empty()) return 0;
  for (int f : items.function) {
    if (f != SELECT_COUNT) return 0;
  }
  return 1;
}
