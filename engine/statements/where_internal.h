// where_internal.h: what the WHERE reader shares between its parsing loop
// (where.cpp) and its operator reductions (where_reduce.cpp). Not for use
// outside engine/statements.
#pragma once

#include <string>

#include "engine/statements/expr.h"
#include "engine/statements/qtokens.h"

// The state of one Gen_ValExpr call.
struct WHEREGEN {
  QUERYSTMT* stmt = nullptr;
  QUERYSCOPE* scope = nullptr;
  QTOKENS* tok = nullptr;
  PTRSTACK* stack = nullptr;  // the scope's expression, used as operand stack
  int and_next = 0;           // the token after the operator being reduced is AND
};

// Reduces operator `op` (a comparison, LIKE, IN, BETWEEN, AND, OR, NOT or
// EXISTS) on the operand stack. On failure the error reply has been
// written and the popped nodes are back in the pool.
[[nodiscard]] int WHERE_Reduce(WHEREGEN* g, unsigned char op);

// A value to compare an attribute with: a constant of the message or one
// value of a subselect's result.
struct QVALUE {
  unsigned char kind = 0;  // 'f' text, 'd' integer, 'e' float, or DATE/TIME/TIMESTAMP
  std::string text;
  int32_t ival = 0;
  double fval = 0;
  unsigned char raw[12] = {};  // DATE, TIME, TIMESTAMP row form
};

// Converts `value` into the row form of `attrib` in *out. A text becomes a
// BINARY value through the binary text notation only when `text_binary`
// is set. On failure the error reply has been written.
[[nodiscard]] int WHERE_Convert(const QVALUE& value, const DBATTRIB& attrib, int text_binary,
                                std::vector<unsigned char>* out);
