// where.h: reading the WHERE section of a command message into an
// expression (Gen_ValExpr), and the row choice of UPDATE and DELETE.
// Owns no state: the expression belongs to the scope it is built in
// (expr.h), the rows to their tables.
//
// WHERE section of a message (postfix, operands before their operator):
//
//   | Token           | Payload                  | Meaning                    |
//   |-----------------|--------------------------|----------------------------|
//   | 'w'             | none                     | opens and closes           |
//   | 'a'             | name                     | attribute of a FROM table  |
//   | 'D'             | 'a' identifier, 'a' name | identifier.attribute       |
//   | 'f' 'd' 'e'     | text, i32, double        | constants                  |
//   | 'u'             | a select body            | subselect operand          |
//   | '='             | a select body            | subselect of EXISTS        |
//   | 'N'..'S' 'V'    | none                     | < > <= >= = <> LIKE        |
//   | 'M'             | none                     | IN: attribute, n values, n |
//   | 'Y'             | none                     | BETWEEN: attribute, lo, hi |
//   | 'L' 'T' 'y' 'z' | none                     | EXISTS NOT AND OR          |
//
// The section ends when, after an operand or operator, the next token is
// 'w', 'x' or '-'; that token and the one after it are read, and the latter
// is the caller's current token.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/statements/expr.h"
#include "engine/statements/qtokens.h"

// Reads the WHERE section. REQUIRES: tok->kind is 'w' and `scope` holds the
// select's FROM tables with their candidate lists. Fills scope->expr; the
// context stack of `stmt` holds the enclosing selects. On failure the error
// reply has been written and 0 is returned; the nodes read so far stay in
// scope->expr for the caller to release.
[[nodiscard]] int Gen_ValExpr(QUERYSTMT* stmt, QUERYSCOPE* scope, QTOKENS* tok);

// The rows of one table that UPDATE or DELETE work on. When tok->kind is
// 'w' the WHERE section is read (the token after it becomes current) and
// decides; otherwise every row visible at `timestamp`. Each row appears
// once. `statement` names the statement in the evaluation failure message
// "(<statement>) Error in evaluation of WHERE-expression". *out_truncated
// tells whether a filter fed by a subselect stopped at DB_FILTERROWMAX, or
// a subselect's own result was cut short. On failure the error reply has
// been written and 0 is returned.
[[nodiscard]] int WHERE_TableRows(DBCONN* conn, DBDATABASE* db, int table_pos, int timestamp,
                                  const char* statement, QTOKENS* tok,
                                  std::vector<int32_t>* out_rows, int* out_truncated);
