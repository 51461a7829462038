// eval.cpp: the value stack evaluation of WHERE expressions.
#include "engine/statements/eval.h"

#include <array>
#include <cstring>
#include <string>

#include "engine/statements/rowlist.h"
#include "engine/types/dates.h"
#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "platform/report.h"

namespace {

constexpr char kTooBig[] = "(Gen_ValExpr) Values-expression too big (DB_EXPRVALMAX = %d)\n";
constexpr char kUnknownRowType[] = "(Eval_ValExpr) Unknown datatype (DBTK_RowList)\n";
constexpr char kInvalidResult[] = "(Eval_ValExpr) Invalid expression result\n";
constexpr char kNotBoolean[] = "(Eval_ValExpr) Invalid result datatype (boolean expected)\n";
constexpr char kOperandsMissing[] = "(Compute_ValExpr) Operands missing\n";
constexpr char kTwoUppers[] = "(Compute_ValExpr) illegal use of upper attributes in subselect\n";
constexpr char kInvalidBoolean[] = "(Compute_ValExpr) Invalid datatype boolean\n";
constexpr char kInvalidType[] = "(Compute_ValExpr) Invalid datatype\n";
constexpr char kUnknownType[] = "(Compute_ValExpr) Operand has unknown datatype\n";
constexpr char kUpperUnknown[] = "(Compute_ValExpr) Unknown datatype (DBTK_RowList)\n";
constexpr char kOperandMissing[] = "(Compute_ValExpr) Operand missing\n";
constexpr char kBooleanExpected[] = "(Compute_ValExpr) Boolean operand expected\n";
constexpr char kLikeMissing[] = "(Compute_ValExpr) Operands missing for LIKE-operator\n";
constexpr char kLikeType[] = "(Compute_ValExpr) Invalid datatype for LIKE-operator\n";
constexpr char kBooleansExpected[] = "(Compute_ValExpr) Boolean operands expected\n";
constexpr char kInvalidOperator[] = "(Compute_ValExpr) Invalid operator\n";
constexpr char kReduceIllegal[] = "(Reduce_ResultIdxs) Illegal function\n";

// Kinds of value cells beyond the type bytes DATE, TIME, TIMESTAMP.
constexpr unsigned char kText = DBTK_STRINGVAL;
constexpr unsigned char kInt = DBTK_INTVAL;
constexpr unsigned char kDouble = DBTK_FLOATVAL;
constexpr unsigned char kBinary = DBTK_FETCH;  // 0xA7
constexpr unsigned char kBool = DBTK_BOOLVAL;
constexpr unsigned char kUpper = EXPR_UPPER;

// No member initializers: the evaluation stack is made for every row
// combination, and clearing all its cells each time would cost far more
// than the evaluation. A cell is cleared (VALCELL{}) where it is written;
// cells at or above the stack count are never read.
struct VALCELL {
  unsigned char kind;
  const char* text;          // kText: NUL-terminated
  const unsigned char* bin;  // kBinary: int16 length, bytes
  int32_t ival;              // kInt, kBool
  double fval;               // kDouble
  unsigned char raw[12];     // DATE, TIME, TIMESTAMP row form
  const EXPRNODE* node;      // kUpper: the '#' node
};

struct EVALSTATE {
  QUERYSTMT* stmt = nullptr;
  std::array<VALCELL, DB_EXPRVALMAX> stack;  // left uninitialized, see VALCELL
  int count = 0;
};

[[nodiscard]] int Fail(const char* message) {
  DBreport("%s", message);
  return 0;
}

bool IsDateKind(unsigned char k) {
  return k == DBTYPE_DATE || k == DBTYPE_TIME || k == DBTYPE_TIMESTAMP;
}

// The value of `attrib` in a row. Fails for a type it cannot hold.
[[nodiscard]] int LoadField(const DBATTRIB& attrib, const unsigned char* row, VALCELL* v) {
  const unsigned char* field = row + attrib.offset;
  *v = VALCELL{};
  switch (attrib.type) {
    case DBTYPE_CHARACTER:
      v->kind = kText;
      v->text = reinterpret_cast<const char*>(field);
      return 1;
    case DBTYPE_SMALLINT: {
      int16_t s;
      std::memcpy(&s, field, sizeof s);
      v->kind = kInt;
      v->ival = s;
      return 1;
    }
    case DBTYPE_INTEGER:
      v->kind = kInt;
      std::memcpy(&v->ival, field, 4);
      return 1;
    case DBTYPE_FLOAT:
      v->kind = kDouble;
      std::memcpy(&v->fval, field, 8);
      return 1;
    case DBTYPE_DATE:
    case DBTYPE_TIME:
    case DBTYPE_TIMESTAMP: {
      int size = 0;
      if (!VALUE_FieldSize(attrib.type, 0, &size)) return 0;
      v->kind = attrib.type;
      std::memcpy(v->raw, field, size_t(size));
      return 1;
    }
    case DBTYPE_BINARY:
      v->kind = kBinary;
      v->bin = field;
      return 1;
    default: return 0;
  }
}

// A text converted to a date, time or timestamp; trailing blanks are a
// CHARACTER field's padding, not part of the value.
[[nodiscard]] int TextToDate(const char* text, unsigned char kind, unsigned char* raw) {
  std::string_view s(text);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return DATES_ToRow(kind, s, raw);
}

// Compares a text (left) with a right value of a fitting kind.
[[nodiscard]] int CompareText(int op, const char* text, const VALCELL& r, int* holds) {
  if (r.kind == kText) {
    *holds = CmpValues(op, DBTYPE_CHARACTER, text, r.text);
    return 1;
  }
  if (r.kind == kBinary) {
    // The blanks that pad a CHARACTER field are no part of its bytes, as
    // the other order (BINARY read as text) ignores them too.
    std::string_view bytes(text);
    while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
    std::string bin(2, '\0');
    const auto n = static_cast<int16_t>(bytes.size());
    std::memcpy(bin.data(), &n, 2);
    bin.append(bytes);
    *holds = CmpValues(op, DBTYPE_BINARY, bin.data(), r.bin);
    return 1;
  }
  if (IsDateKind(r.kind)) {
    unsigned char raw[12] = {};
    if (!TextToDate(text, r.kind, raw)) return 0;
    *holds = CmpValues(op, r.kind, raw, r.raw);
    return 1;
  }
  return Fail(kInvalidType);
}

std::string BinaryAsText(const unsigned char* bin) {
  int16_t n;
  std::memcpy(&n, bin, 2);
  return std::string(reinterpret_cast<const char*>(bin + 2), size_t(n > 0 ? n : 0));
}

// `l op r` for two loaded values (no placeholder).
[[nodiscard]] int CompareCells(int op, const VALCELL& l, const VALCELL& r, int* holds) {
  if (l.kind == kBool || r.kind == kBool) return Fail(kInvalidBoolean);
  if (IsDateKind(l.kind)) {
    if (r.kind == l.kind) {
      *holds = CmpValues(op, l.kind, l.raw, r.raw);
      return 1;
    }
    if (r.kind != kText) return Fail(kInvalidType);
    unsigned char raw[12] = {};
    if (!TextToDate(r.text, l.kind, raw)) return 0;
    *holds = CmpValues(op, l.kind, l.raw, raw);
    return 1;
  }
  if (l.kind == kInt || l.kind == kDouble) {
    if (r.kind != kInt && r.kind != kDouble) return Fail(kInvalidType);
    if (l.kind == kInt && r.kind == kInt) {
      *holds = CmpValues(op, DBTYPE_INTEGER, &l.ival, &r.ival);
      return 1;
    }
    const double a = l.kind == kInt ? l.ival : l.fval;
    const double b = r.kind == kInt ? r.ival : r.fval;
    *holds = CmpValues(op, DBTYPE_FLOAT, &a, &b);
    return 1;
  }
  if (l.kind == kText) return CompareText(op, l.text, r, holds);
  if (l.kind == kBinary) {
    if (r.kind == kBinary) {
      *holds = CmpValues(op, DBTYPE_BINARY, l.bin, r.bin);
      return 1;
    }
    if (r.kind != kText && !IsDateKind(r.kind)) return Fail(kInvalidType);
    return CompareText(op, BinaryAsText(l.bin).c_str(), r, holds);
  }
  return Fail(kUnknownType);
}

// `l op upper` holds when it holds for some candidate row of the upper
// reference.
[[nodiscard]] int CompareUpper(EVALSTATE* s, int op, const VALCELL& l, const EXPRNODE& upper,
                               int* holds) {
  UPPERREF* ref = upper.upper;
  EXPR_ExpandList(ref->table, s->stmt->timestamp, ref->candidates);
  *holds = 0;
  for (int32_t row : *ref->candidates) {
    VALCELL r{};
    if (!LoadField(*upper.attrib, ROWPOOL_Data(ref->table->rows, row), &r))
      return Fail(kUpperUnknown);
    if (!CompareCells(op, l, r, holds)) return 0;
    if (*holds) return 1;
  }
  return 1;
}

void PushBool(EVALSTATE* s, int value) {
  VALCELL& v = s->stack[size_t(s->count++)];
  v = VALCELL{};
  v.kind = kBool;
  v.ival = value != 0;
}

[[nodiscard]] int ComputeCompare(EVALSTATE* s, unsigned char op) {
  if (s->count < 2) return Fail(kOperandsMissing);
  VALCELL r = s->stack[size_t(--s->count)];
  VALCELL l = s->stack[size_t(--s->count)];
  if (l.kind == kUpper && r.kind == kUpper) return Fail(kTwoUppers);
  if (l.kind == kUpper) {
    std::swap(l, r);
    op = VALUE_Mirror(op);
  }
  int holds = 0;
  const int ok =
      r.kind == kUpper ? CompareUpper(s, op, l, *r.node, &holds) : CompareCells(op, l, r, &holds);
  if (!ok) return 0;
  PushBool(s, holds);
  return 1;
}

[[nodiscard]] int ComputeLogic(EVALSTATE* s, unsigned char op) {
  if (op == DBTK_NOT) {
    if (s->count < 1) return Fail(kOperandMissing);
    const VALCELL& v = s->stack[size_t(s->count - 1)];
    if (v.kind != kBool) return Fail(kBooleanExpected);
    s->stack[size_t(s->count - 1)].ival = !v.ival;
    return 1;
  }
  if (s->count < 2) return Fail(kOperandsMissing);
  const VALCELL r = s->stack[size_t(--s->count)];
  const VALCELL l = s->stack[size_t(--s->count)];
  if (l.kind != kBool || r.kind != kBool) return Fail(kBooleansExpected);
  PushBool(s, op == DBTK_AND ? (l.ival && r.ival) : (l.ival || r.ival));
  return 1;
}

[[nodiscard]] int Compute_ValExpr(EVALSTATE* s, unsigned char op, int* error) {
  int ok;
  switch (op) {
    case DBTK_LT:
    case DBTK_GT:
    case DBTK_LE:
    case DBTK_GE:
    case DBTK_EQ:
    case DBTK_NE: ok = ComputeCompare(s, op); break;
    case DBTK_NOT:
    case DBTK_AND:
    case DBTK_OR: ok = ComputeLogic(s, op); break;
    case DBTK_LIKE: {
      if (s->count < 2) {
        ok = Fail(kLikeMissing);
        break;
      }
      const VALCELL r = s->stack[size_t(--s->count)];
      const VALCELL l = s->stack[size_t(--s->count)];
      ok = l.kind == kText && r.kind == kText ? 1 : Fail(kLikeType);
      if (ok) PushBool(s, LikeMatch(l.text, r.text));
      break;
    }
    default: ok = Fail(kInvalidOperator);
  }
  if (!ok) *error = 1;
  return ok;
}

// The current row of FROM table `t` in its working list, or -1 when the
// list is empty.
int CurrentRow(QUERYSCOPE* scope, const EXPRNODE* narrowing, const int* positions, int t) {
  const std::vector<int32_t>* list = EVAL_WorkingList(scope, const_cast<EXPRNODE*>(narrowing), t);
  if (list->empty()) return -1;
  return (*list)[size_t(positions[t])];
}

// A row list is true when every table it restricts has its current row in
// the list. The membership of each list is built once, on first use.
bool RowListHolds(QUERYSCOPE* scope, const EXPRNODE* narrowing, const int* positions,
                  EXPRNODE* node) {
  const int n = int(scope->tables.size());
  if (node->member.empty()) node->member.resize(size_t(n));
  for (int t = 0; t < n; ++t) {
    if (!node->restricted[size_t(t)]) continue;
    const int row = CurrentRow(scope, narrowing, positions, t);
    const std::vector<int32_t>& rows = node->rows[size_t(t)];
    if (row < 0 || (rows.size() == 1 && rows[0] == -1)) continue;
    std::vector<unsigned char>& member = node->member[size_t(t)];
    if (member.empty()) member = ROWLIST_Membership(scope->tables[size_t(t)], rows);
    if (!ROWLIST_In(member, row)) return false;
  }
  return true;
}

// Pushes the value of operand `node`; *empty is set when a local
// attribute's table has no rows (the expression is then false).
[[nodiscard]] int PushOperand(EVALSTATE* s, QUERYSCOPE* scope, const EXPRNODE* narrowing,
                              const int* positions, EXPRNODE* node, bool* empty) {
  VALCELL& v = s->stack[size_t(s->count)];
  v = VALCELL{};
  if (node->kind == DBTK_IDENT) {
    const int row = CurrentRow(scope, narrowing, positions, node->table);
    if (row < 0) return *empty = true, 1;
    if (!LoadField(*node->attrib, ROWPOOL_Data(scope->tables[size_t(node->table)]->rows, row), &v))
      return Fail(kUnknownRowType);
  } else if (node->kind == EXPR_UPPER) {
    UPPERREF* ref = node->upper;
    if (ref->position >= 0) EXPR_ExpandList(ref->table, s->stmt->timestamp, ref->candidates);
    if (ref->position < 0 || ref->candidates->empty()) {
      v.kind = kUpper;
      v.node = node;
    } else if (!LoadField(*node->attrib,
                          ROWPOOL_Data(ref->table->rows, (*ref->candidates)[size_t(ref->position)]),
                          &v)) {
      return Fail(kUnknownRowType);
    }
  } else if (node->kind == DBTK_STRINGVAL) {
    v.kind = kText;
    v.text = node->text.c_str();
  } else if (node->kind == DBTK_INTVAL) {
    v.kind = kInt;
    v.ival = node->ival;
  } else if (node->kind == DBTK_FLOATVAL) {
    v.kind = kDouble;
    v.fval = node->fval;
  } else {
    v.kind = kBool;
    v.ival = !node->has_result && RowListHolds(scope, narrowing, positions, node);
  }
  ++s->count;
  return 1;
}

bool IsOperand(unsigned char kind) {
  return kind == DBTK_IDENT || kind == EXPR_UPPER || kind == DBTK_STRINGVAL ||
         kind == DBTK_INTVAL || kind == DBTK_FLOATVAL || kind == DBTK_RowList;
}

bool IsComparison(unsigned char kind) { return kind >= DBTK_LT && kind <= DBTK_NE; }

}  // namespace

std::vector<int32_t>* EVAL_WorkingList(QUERYSCOPE* scope, EXPRNODE* narrowing, int table) {
  if (narrowing != nullptr && narrowing->restricted[size_t(table)])
    return &narrowing->rows[size_t(table)];
  return &scope->candidates[size_t(table)];
}

int Eval_ValExpr(QUERYSTMT* stmt, QUERYSCOPE* scope, const EXPRNODE* narrowing,
                 const int* positions, int* error) {
  const PTRSTACK& expr = scope->expr;
  if (expr.count >= DB_EXPRVALMAX) {
    DBreport(kTooBig, DB_EXPRVALMAX);
    *error = 1;
    return 0;
  }
  EVALSTATE s;
  s.stmt = stmt;
  for (int i = 0; i < expr.count; ++i) {
    auto* node = static_cast<EXPRNODE*>(PTRSTACK_Get(expr, i));
    if (!IsOperand(node->kind)) {
      if (!Compute_ValExpr(&s, node->kind, error)) return 0;
      continue;
    }
    bool empty = false;
    if (!PushOperand(&s, scope, narrowing, positions, node, &empty)) {
      *error = 1;
      return 0;
    }
    if (empty) return 0;
  }
  if (s.count != 1) return *error = 1, Fail(kInvalidResult);
  if (s.stack[0].kind != kBool) return *error = 1, Fail(kNotBoolean);
  return s.stack[0].ival != 0;
}

EXPRNODE* Reduce_ResultIdxs(const PTRSTACK& expr) {
  int i = expr.count - 1;
  while (i >= 1) {
    auto* node = static_cast<EXPRNODE*>(PTRSTACK_Get(expr, i));
    if (node->kind != DBTK_AND) return nullptr;
    auto* before = static_cast<EXPRNODE*>(PTRSTACK_Get(expr, i - 1));
    if (before->kind == DBTK_RowList && !before->has_result) return before;
    if (!IsComparison(before->kind)) {
      DBreport("%s", kReduceIllegal);
      return nullptr;
    }
    i -= 3;
  }
  return nullptr;
}

namespace {
constexpr char kIllegalResult[] = "(WHERE) Illegal expression result";
}  // namespace

int EVAL_Narrowing(const PTRSTACK& expr, EXPRNODE** out) {
  *out = nullptr;
  if (expr.count > 1) {
    *out = Reduce_ResultIdxs(expr);
  } else if (expr.count == 1) {
    auto* node = static_cast<EXPRNODE*>(PTRSTACK_Get(expr, 0));
    if (node->kind != DBTK_RowList || node->has_result) {
      REPLY_Error(kIllegalResult);
      return 0;
    }
    *out = node;
  }
  return 1;
}

int EVAL_PrepareLists(QUERYSTMT* stmt, QUERYSCOPE* scope, EXPRNODE* narrowing,
                      std::vector<std::vector<int32_t>*>* lists, std::vector<int>* lengths) {
  int all_rows = 1;
  if (lists != nullptr) lists->clear();
  lengths->clear();
  for (size_t t = 0; t < scope->tables.size(); ++t) {
    std::vector<int32_t>* list = EVAL_WorkingList(scope, narrowing, int(t));
    EXPR_ExpandList(scope->tables[t], stmt->timestamp, list);
    if (lists != nullptr) lists->push_back(list);
    lengths->push_back(int(list->size()));
    if (list->empty()) all_rows = 0;
  }
  return all_rows;
}

int EVAL_Advance(std::vector<int>* positions, const std::vector<int>& lengths) {
  for (size_t t = 0; t < positions->size(); ++t) {
    if (++(*positions)[t] < lengths[t]) return 1;
    (*positions)[t] = 0;
  }
  return 0;
}
