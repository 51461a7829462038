// orderby.h: the ORDER BY section of a select body: key resolution against
// the result's columns and the sort of the result's row order.
// Owns nothing: the row order belongs to the result data set.
//
// ORDER BY section:
//
//   'H' key {key} 'H'
//   key: 'a' name | 'D' 'a' identifier 'a' name, then ']' for descending
//
// The section also ends at 'x' or '-' after a key; the token after the end
// token becomes the caller's current token.
#pragma once

#include "engine/statements/expr.h"
#include "engine/statements/qtokens.h"

// Reads the section (REQUIRES: tok->kind is 'H') and sorts the row order of
// `result`, which the caller has set to 0, 1, ..., rows - 1. Rows whose
// keys are all equal may come in any order. On failure the error reply has
// been written and 0 is returned.
[[nodiscard]] int ORDERBY_Sort(QTOKENS* tok, RESDATA* result);

// Reads the section without sorting (an EXISTS subselect has no rows to
// order). On failure the error reply has been written and 0 is returned.
[[nodiscard]] int ORDERBY_Skip(QTOKENS* tok);
