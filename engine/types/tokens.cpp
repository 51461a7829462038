// tokens.cpp: the display names of the token kinds.
#include "engine/types/tokens.h"

#include <array>

namespace {

constexpr char kUnknownToken[] = "<unknown token>";

struct KindName {
  unsigned char kind;
  const char* name;
};

// Kinds whose display name is "<unknown token>" ('-', 'H', 'j', BINARY, STOP)
// are left out: the fallback gives them that name.
constexpr KindName kNames[] = {
    {DBTK_FOR, "FOR"},
    {DBTK_DECLARE, "DECLARE"},
    {DBTK_ALL, "ALL"},
    {DBTK_CLOSE, "CLOSE"},
    {DBTK_ABORT, "ABORT"},
    {DBTK_BEGIN, "BEGIN"},
    {DBTK_COMMIT, "COMMIT"},
    {DBTK_CHARACTER, "CHARACTER"},
    {DBTK_SMALLINT, "SMALLINT"},
    {DBTK_INTEGER, "INTEGER"},
    {DBTK_FLOAT, "FLOAT"},
    {DBTK_DATE, "DATE"},
    {DBTK_TIME, "TIME"},
    {DBTK_TIMESTAMP, "TIMESTAMP"},
    {DBTK_DISTINCT, "DISTINCT"},
    {DBTK_SHOW, "SHOW"},
    {DBTK_INDEX, "INDEX"},
    {DBTK_SELECT_EXISTS, "SELECT EXISTS"},
    {DBTK_TABLE, "TABLE"},
    {DBTK_LPAREN, "("},
    {DBTK_RPAREN, ")"},
    {DBTK_COUNT, "COUNT"},
    {DBTK_DOT, "DOT"},
    {DBTK_COMMA, "COMMA"},
    {DBTK_NULL, "NULL"},
    {DBTK_MIN, "MIN"},
    {DBTK_MAX, "MAX"},
    {DBTK_EXISTS, "EXISTS"},
    {DBTK_IN, "IN"},
    {DBTK_LT, "<"},
    {DBTK_GT, ">"},
    {DBTK_LE, "<="},
    {DBTK_GE, ">="},
    {DBTK_EQ, "="},
    {DBTK_NE, "<>"},
    {DBTK_NOT, "NOT"},
    {DBTK_SET, "SET"},
    {DBTK_LIKE, "LIKE"},
    {DBTK_STAR, "*"},
    {DBTK_VALUES, "VALUES"},
    {DBTK_BETWEEN, "BETWEEN"},
    {DBTK_CURSOR, "CURSOR"},
    {DBTK_ASC, "ASC"},
    {DBTK_DESC, "DESC"},
    {DBTK_IDENT, "<identifier value>"},
    {DBTK_ERROR, "Fehlermeldung"},
    {DBTK_SMALLINTVAL, "<smallint value>"},
    {DBTK_INTVAL, "<integer value>"},
    {DBTK_FLOATVAL, "<float value>"},
    {DBTK_STRINGVAL, "<string value>"},
    {DBTK_RowList, "<result value>"},
    {DBTK_BOOLVAL, "<bool value>"},
    {DBTK_CREATE_DATABASE, "CREATE DATABASE"},
    {DBTK_CREATE_TABLE, "CREATE TABLE"},
    {DBTK_CREATE_INDEX, "CREATE INDEX"},
    {DBTK_CREATE_UNIQUE_INDEX, "CREATE UNIQUE INDEX"},
    {DBTK_DROP_DATABASE, "DROP DATABASE"},
    {DBTK_DROP_TABLE, "DROP TABLE"},
    {DBTK_DROP_INDEX, "DROP INDEX"},
    {DBTK_INSERT_INTO, "INSERT INTO"},
    {DBTK_UPDATE, "UPDATE"},
    {DBTK_DELETE_FROM, "DELETE FROM"},
    {DBTK_SELECT, "SELECT"},
    {DBTK_FROM, "FROM"},
    {DBTK_WHERE, "WHERE"},
    {DBTK_END, ";"},
    {DBTK_AND, "AND"},
    {DBTK_OR, "OR"},
    {DBTK_SAVE, "SAVE"},
    {DBTK_DATABASE, "DATABASE"},
    {DBTK_FETCH, "FETCH"},
    {DBTK_SECURE, "SECURE"},
    {DBTK_STATIC, "STATIC"},
    {DBTK_INDICES, "INDICES"},
    {DBTK_DATABASES, "DATABASES"},
    {DBTK_TABLES, "TABLES"},
};

// One slot per byte value, so a name is found without a search.
using NameTable = std::array<const char*, 256>;

constexpr NameTable BuildNameTable() {
  NameTable table{};
  for (const char*& name : table) name = kUnknownToken;
  for (const KindName& entry : kNames) table[entry.kind] = entry.name;
  return table;
}

constexpr NameTable kNameTable = BuildNameTable();

}  // namespace

const char* DBTK_Name(int kind) {
  // A kind read through a plain (signed) char arrives negative.
  if (kind < 0 && kind >= -128) kind += 256;
  if (kind < 0 || kind > 255) return kUnknownToken;
  return kNameTable[static_cast<unsigned>(kind)];
}
