// eval.h: evaluating what is left of a WHERE expression for one
// combination of rows (Eval_ValExpr), the choice of a narrowing row list
// (Reduce_ResultIdxs) and the evaluation of EXISTS subselects.
// Owns no state beyond one call: the value stack lives in the call.
//
// Messages of this module go to the engine's error output (DBreport); the
// statement then fails with its own message (EVAL_SELECTFAILED for the
// select forms). EVAL_Narrowing alone writes an error reply.
#pragma once

#include <vector>

#include "engine/statements/expr.h"
#include "engine/statements/qtokens.h"

// The reply of a select (or EXISTS subselect) whose Eval_ValExpr failed.
inline constexpr char EVAL_SELECTFAILED[] = "(SELECT) Error in evaluation of WHERE-expression";

// 1 when the expression of `scope` holds for the rows at `positions` (one
// index per FROM table into the table's working list: the narrowing list's
// rows when `narrowing` restricts the table, else its candidate list),
// else 0. *error is set (and 0 returned) when the evaluation failed.
int Eval_ValExpr(QUERYSTMT* stmt, QUERYSCOPE* scope, const EXPRNODE* narrowing,
                 const int* positions, int* error);

// The row list that is the right operand of the expression's last AND, or
// null when there is none.
EXPRNODE* Reduce_ResultIdxs(const PTRSTACK& expr);

// The narrowing row list of a reduced expression `expr` into *out: the
// single entry of a one-entry expression, which must be a row list without
// a result (else the error reply "(WHERE) Illegal expression result" and
// 0); Reduce_ResultIdxs for a longer one; null for an empty one.
[[nodiscard]] int EVAL_Narrowing(const PTRSTACK& expr, EXPRNODE** out);

// The working list of FROM table `table`: the narrowing list's rows when
// `narrowing` restricts it, else the scope's candidate list.
std::vector<int32_t>* EVAL_WorkingList(QUERYSCOPE* scope, EXPRNODE* narrowing, int table);

// Expands the working list of every FROM table of `scope` (EVAL_WorkingList,
// EXPR_ExpandList) and replaces *lengths with their lengths and, unless it
// is null, *lists with the lists. Returns 1 when none of them is empty.
[[nodiscard]] int EVAL_PrepareLists(QUERYSTMT* stmt, QUERYSCOPE* scope, EXPRNODE* narrowing,
                                    std::vector<std::vector<int32_t>*>* lists,
                                    std::vector<int>* lengths);

// Steps `positions` to the next combination of rows, one position per list
// of `lengths`, like an odometer with the first list fastest. Returns 0
// (positions back at all zeros) after the last combination.
[[nodiscard]] int EVAL_Advance(std::vector<int>* positions, const std::vector<int>& lengths);

// Runs the EXISTS subselect whose body starts at tok->pos and fills `node`
// (a fresh row list) for the select `scope` it appears in. On return the
// token after the body is current. On failure the error reply has been
// written and 0 is returned.
[[nodiscard]] int EVAL_Exists(QUERYSTMT* stmt, QUERYSCOPE* scope, QTOKENS* tok, EXPRNODE* node);
