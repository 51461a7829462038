// where_reduce.cpp: the operator reductions of Gen_ValExpr. Conditions
// between one attribute and constants (or a subselect's values) become row
// lists at once; the rest goes back on the stack for evaluation.
#include <algorithm>
#include <cstring>

#include "engine/statements/binnotation.h"
#include "engine/statements/rowlist.h"
#include "engine/statements/where_internal.h"
#include "engine/types/dates.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"
#include "engine/types/values.h"

namespace {

constexpr char kOperandsMissing[] = "(WHERE) operands missing";
constexpr char kNonLocal[] = "(WHERE) Invalid usage of non-local attribute";
constexpr char kMoreThanOneColumn[] = "(WHERE) subselect returns more than one column";
constexpr char kInvalidOperands[] = "(WHERE) invalid operands";
constexpr char kSubselectTypeUnknown[] = "(WHERE) IN-subselect return datatype unknown";
constexpr char kIllegalValue[] = "(WHERE) illegal value for attribute '%s'";
constexpr char kIllegalSmallint[] = "(WHERE) illegal SMALLINT-value '%d' for attribute '%s'";
constexpr char kStringTooLong[] =
    "(WHERE) string '%s' (size %d) too long for attribute '%s' (size %d)";
constexpr char kBinaryInvalid[] = "(WHERE) Binary value '%s' invalid for attribute '%s' (size %d)";
constexpr char kIllegalDate[] = "(WHERE) illegal DATE value '%s' given for attribute '%s'";
constexpr char kIllegalTime[] = "(WHERE) illegal TIME value '%s' given for attribute %s";
constexpr char kIllegalDati[] = "(WHERE) illegal TIMESTAMP value '%s' given for attribute %s";
constexpr char kLikeMissing[] = "(WHERE) operands missing for LIKE-operator";
constexpr char kLikeString[] = "(WHERE) LIKE-operator requires string operand";
constexpr char kInMissing[] = "(WHERE) operands for IN-operator missing";
constexpr char kInCount[] = "(WHERE) IN-operands-count invalid";
constexpr char kInLeft[] = "(WHERE) IN-left-operand not an attribute";
constexpr char kInSubselectArgs[] = "(WHERE) IN-subselect with more than one argument";
constexpr char kInSubselectColumns[] = "(WHERE) IN-subselect returns more than one column";
constexpr char kInInvalid[] = "(WHERE) invalid operands for IN-operator";
constexpr char kBetweenMissing[] = "(WHERE) operands missing for BETWEEN-operator";
constexpr char kBetweenConstants[] = "(WHERE) BETWEEN-operator requires constant operands";
constexpr char kBetweenIncompatible[] = "(WHERE) incompatible operands for BETWEEN-operator";
constexpr char kBetweenInvalid[] = "(WHERE) invalid operands for BETWEEN-operator";
constexpr char kNotMissing[] = "(WHERE) operand missing for NOT-operator";
constexpr char kExistsMissing[] = "(WHERE) operand for EXISTS-operator missing";
constexpr char kExistsError[] = "(WHERE) EXISTS-subselect error";

// Nodes popped by one reduction; whatever is not pushed back returns to the
// pool when the reduction ends, failed or not.
struct POPPED {
  std::vector<EXPRNODE*> nodes;
  ~POPPED() {
    for (EXPRNODE* node : nodes) EXPR_FreeNode(node);
  }
  EXPRNODE* Take(PTRSTACK* stack) {
    auto* node = static_cast<EXPRNODE*>(PTRSTACK_Pop(stack));
    nodes.push_back(node);
    return node;
  }
  // The node goes back on the stack and is no longer this reduction's.
  void PushBack(PTRSTACK* stack, EXPRNODE* node) {
    std::erase(nodes, node);
    PTRSTACK_Push(stack, node);
  }
};

bool IsAttr(const EXPRNODE* n) { return n->kind == DBTK_IDENT || n->kind == EXPR_UPPER; }
bool IsConst(const EXPRNODE* n) {
  return n->kind == DBTK_STRINGVAL || n->kind == DBTK_INTVAL || n->kind == DBTK_FLOATVAL;
}
bool IsSubselect(const EXPRNODE* n) { return n->kind == DBTK_RowList && n->has_result; }
bool IsRowList(const EXPRNODE* n) { return n->kind == DBTK_RowList && !n->has_result; }

int Fail(const char* message) {
  REPLY_Error(message);
  return 0;
}

QVALUE ValueOfConstant(const EXPRNODE& n) {
  QVALUE v;
  v.kind = n.kind;
  v.text = n.text;
  v.ival = n.ival;
  v.fval = n.fval;
  return v;
}

// Number of tables a row list restricts, and the last of them.
int RestrictedCount(const EXPRNODE& n, int* last) {
  int count = 0;
  for (int t = 0; t < DB_MAXROWLISTTABLES; ++t) {
    if (n.restricted[t]) {
      ++count;
      *last = t;
    }
  }
  return count;
}

// The rows of table k that a condition must test: the candidates, or the
// list of the other AND operand when it restricts k (the AND keeps only
// rows of that list anyway).
const std::vector<int32_t>* CandidatesFor(WHEREGEN* g, int k) {
  if (g->and_next && g->stack->count > 0) {
    auto* top = static_cast<const EXPRNODE*>(PTRSTACK_Top(*g->stack));
    if (IsRowList(top) && top->restricted[size_t(k)]) return &top->rows[size_t(k)];
  }
  return &g->scope->candidates[size_t(k)];
}

// A row list restricting the attribute's table, with a filter over it.
struct FILTERRUN {
  EXPRNODE* node = nullptr;
  ROWFILTER filter;
  ROWSET set;
  int counter = 0;
};

void StartFilter(WHEREGEN* g, const EXPRNODE& attr, int counted, FILTERRUN* run) {
  const int k = attr.table;
  run->node = EXPR_NewNode(DBTK_RowList);
  run->node->restricted[size_t(k)] = 1;
  DBTABLE* table = g->scope->tables[size_t(k)];
  run->filter =
      ROWFILTER{g->stmt, table, attr.attrib, CandidatesFor(g, k), counted, &run->counter, 0};
  ROWLIST_StartSet(&run->set, table, &run->node->rows[size_t(k)]);
}

// Pushes the finished row list; a filter that hit the row cap marks the
// select's result as cut short.
void FinishFilter(WHEREGEN* g, FILTERRUN* run) {
  if (run->filter.stopped) g->scope->truncated = 1;
  PTRSTACK_Push(g->stack, run->node);
  run->node = nullptr;
}

void AbandonFilter(FILTERRUN* run) {
  EXPR_FreeNode(run->node);
  run->node = nullptr;
}

// One value of a subselect's single column, by the column's type; a NULL
// cell leaves *has_value false. A column type that cannot be compared
// fails with the error reply `binary_message` (BINARY) or `unknown_message`.
[[nodiscard]] int SubselectValue(const RESDATA& r, int row, const char* binary_message,
                                 const char* unknown_message, QVALUE* v, bool* has_value) {
  const unsigned char* cell = RESDATA_Cell(r, row, 0);
  *has_value = cell != nullptr;
  const unsigned char type = r.column_types[0];
  switch (type) {
    case DBTYPE_CHARACTER: v->kind = DBTK_STRINGVAL; break;
    case DBTYPE_SMALLINT: v->kind = DBTK_INTVAL; break;
    case DBTYPE_INTEGER: v->kind = DBTK_INTVAL; break;
    case DBTYPE_FLOAT: v->kind = DBTK_FLOATVAL; break;
    case DBTYPE_DATE:
    case DBTYPE_TIME:
    case DBTYPE_TIMESTAMP: v->kind = type; break;
    case DBTYPE_BINARY: return Fail(binary_message);
    default: return Fail(unknown_message);
  }
  if (!*has_value) return 1;
  if (type == DBTYPE_CHARACTER) {
    v->text = reinterpret_cast<const char*>(cell);
  } else if (type == DBTYPE_SMALLINT) {
    int16_t s;
    std::memcpy(&s, cell, sizeof s);
    v->ival = s;
  } else if (type == DBTYPE_INTEGER) {
    std::memcpy(&v->ival, cell, sizeof v->ival);
  } else if (type == DBTYPE_FLOAT) {
    std::memcpy(&v->fval, cell, sizeof v->fval);
  } else {
    int n = 0;
    if (!VALUE_FieldSize(type, 0, &n)) return 0;
    std::memcpy(v->raw, cell, size_t(n));
  }
  return 1;
}

// Filters with every value of a one-column subselect result, in row order,
// into one row list. No values leave the table restricted to no rows.
[[nodiscard]] int FilterWithSubselect(WHEREGEN* g, const EXPRNODE& attr, const RESDATA& r,
                                      unsigned char op, const char* binary_message,
                                      const char* unknown_message, bool date_values_ok) {
  FILTERRUN run;
  StartFilter(g, attr, 1, &run);
  // Every value of the column overwrites what the comparison reads, so one
  // value and one constant buffer serve all rows.
  QVALUE v;
  std::vector<unsigned char> constant;
  for (int i = 0; i < r.rows && !run.filter.stopped; ++i) {
    if (INTERRUPT_Requested()) {
      AbandonFilter(&run);
      return INTERRUPT_Fail();
    }
    bool has_value;
    if (!SubselectValue(r, r.row_order[size_t(i)], binary_message, unknown_message, &v,
                        &has_value)) {
      AbandonFilter(&run);
      return 0;
    }
    const bool date_kind =
        v.kind == DBTYPE_DATE || v.kind == DBTYPE_TIME || v.kind == DBTYPE_TIMESTAMP;
    if (date_kind && !date_values_ok) {
      AbandonFilter(&run);
      return Fail(binary_message);
    }
    if (!has_value) continue;
    if (!WHERE_Convert(v, *attr.attrib, 0, &constant)) {
      AbandonFilter(&run);
      return 0;
    }
    ROWLIST_Filter(&run.filter, op, constant.data(), &run.set);
  }
  FinishFilter(g, &run);
  return 1;
}

[[nodiscard]] int FilterWithConstant(WHEREGEN* g, const EXPRNODE& attr, const QVALUE& value,
                                     unsigned char op) {
  std::vector<unsigned char> constant;
  if (!WHERE_Convert(value, *attr.attrib, 1, &constant)) return 0;
  FILTERRUN run;
  StartFilter(g, attr, 0, &run);
  ROWLIST_Filter(&run.filter, op, constant.data(), &run.set);
  FinishFilter(g, &run);
  return 1;
}

// ---------------------------------------------------------------------------
// Comparisons and LIKE

[[nodiscard]] int ReduceCompare(WHEREGEN* g, unsigned char op) {
  if (g->stack->count < 2) return Fail(kOperandsMissing);
  POPPED popped;
  EXPRNODE* right = popped.Take(g->stack);
  EXPRNODE* left = popped.Take(g->stack);
  if (IsAttr(left) && IsAttr(right)) {
    popped.PushBack(g->stack, left);
    popped.PushBack(g->stack, right);
    PTRSTACK_Push(g->stack, EXPR_NewNode(op));
    return 1;
  }
  if (left->kind == EXPR_UPPER || right->kind == EXPR_UPPER) return Fail(kNonLocal);
  if (!IsAttr(left) && IsAttr(right)) {
    std::swap(left, right);
    op = VALUE_Mirror(op);
  }
  // Two operands of which neither is an attribute cannot be decided.
  if (!IsAttr(left)) return Fail(kInvalidOperands);
  if (IsSubselect(right)) {
    if (right->result.columns != 1) return Fail(kMoreThanOneColumn);
    return FilterWithSubselect(g, *left, right->result, op, kInvalidOperands, kSubselectTypeUnknown,
                               true);
  }
  if (!IsConst(right)) {
    REPLY_Errorf(kIllegalValue, left->attrib->name.c_str());
    return 0;
  }
  return FilterWithConstant(g, *left, ValueOfConstant(*right), op);
}

[[nodiscard]] int ReduceLike(WHEREGEN* g) {
  if (g->stack->count < 2) return Fail(kLikeMissing);
  POPPED popped;
  EXPRNODE* right = popped.Take(g->stack);
  EXPRNODE* left = popped.Take(g->stack);
  if (IsAttr(left) && IsAttr(right)) return Fail(kLikeString);
  if (left->kind == EXPR_UPPER || right->kind == EXPR_UPPER) return Fail(kNonLocal);
  if (!IsAttr(left)) std::swap(left, right);
  if (!IsAttr(left) || right->kind != DBTK_STRINGVAL) return Fail(kLikeString);
  const DBATTRIB& a = *left->attrib;
  if (a.type != DBTYPE_CHARACTER) {
    REPLY_Errorf(kIllegalValue, a.name.c_str());
    return 0;
  }
  if (int(right->text.size()) > a.size - 1) {
    REPLY_Errorf(kStringTooLong, right->text.c_str(), int(right->text.size()), a.name.c_str(),
                 a.size - 1);
    return 0;
  }
  FILTERRUN run;
  StartFilter(g, *left, 0, &run);
  ROWLIST_Filter(&run.filter, DBTK_LIKE,
                 reinterpret_cast<const unsigned char*>(right->text.c_str()), &run.set);
  FinishFilter(g, &run);
  return 1;
}

// ---------------------------------------------------------------------------
// IN and BETWEEN

// The IN operands: the left attribute and the values, last value first.
[[nodiscard]] int PopInOperands(WHEREGEN* g, POPPED* popped, EXPRNODE** left,
                                std::vector<EXPRNODE*>* values) {
  PTRSTACK* s = g->stack;
  if (s->count < 3) return Fail(kInMissing);
  auto* count_node = static_cast<const EXPRNODE*>(PTRSTACK_Top(*s));
  if (count_node->kind != DBTK_INTVAL || count_node->ival <= 0) return Fail(kInCount);
  const int n = count_node->ival;
  if (n > s->count - 2) return Fail(kInMissing);
  auto* l = static_cast<const EXPRNODE*>(PTRSTACK_Get(*s, s->count - 2 - n));
  if (l->kind == EXPR_UPPER) return Fail(kNonLocal);
  if (l->kind != DBTK_IDENT) return Fail(kInLeft);
  popped->Take(s);
  for (int i = 0; i < n; ++i) values->push_back(popped->Take(s));
  *left = popped->Take(s);
  return 1;
}

[[nodiscard]] int ReduceIn(WHEREGEN* g) {
  POPPED popped;
  EXPRNODE* left;
  std::vector<EXPRNODE*> values;
  if (!PopInOperands(g, &popped, &left, &values)) return 0;
  for (EXPRNODE* v : values) {
    if (!IsSubselect(v)) continue;
    if (values.size() > 1) return Fail(kInSubselectArgs);
    if (v->result.columns != 1) return Fail(kInSubselectColumns);
    return FilterWithSubselect(g, *left, v->result, DBTK_EQ, kInInvalid, kInInvalid, false);
  }
  FILTERRUN run;
  StartFilter(g, *left, 0, &run);
  for (EXPRNODE* v : values) {
    std::vector<unsigned char> constant;
    if (!IsConst(v)) {
      AbandonFilter(&run);
      return Fail(kInInvalid);
    }
    if (!WHERE_Convert(ValueOfConstant(*v), *left->attrib, 1, &constant)) {
      AbandonFilter(&run);
      return 0;
    }
    ROWLIST_Filter(&run.filter, DBTK_EQ, constant.data(), &run.set);
  }
  FinishFilter(g, &run);
  return 1;
}

// Checks and converts the two BETWEEN bounds for `attrib`.
[[nodiscard]] int BetweenBounds(const EXPRNODE& lo_node, const EXPRNODE& hi_node,
                                const DBATTRIB& attrib, std::vector<unsigned char>* lo,
                                std::vector<unsigned char>* hi) {
  QVALUE low = ValueOfConstant(lo_node);
  QVALUE high = ValueOfConstant(hi_node);
  if (low.kind == DBTK_INTVAL && high.kind == DBTK_FLOATVAL) {
    low.kind = DBTK_FLOATVAL;
    low.fval = low.ival;
  } else if (low.kind == DBTK_FLOATVAL && high.kind == DBTK_INTVAL) {
    high.kind = DBTK_FLOATVAL;
    high.fval = high.ival;
  }
  if (low.kind != high.kind) return Fail(kBetweenIncompatible);
  if (!IsConst(&lo_node)) return Fail(kBetweenInvalid);
  if (low.kind == DBTK_STRINGVAL && attrib.type == DBTYPE_BINARY) {
    REPLY_Errorf(kIllegalValue, attrib.name.c_str());
    return 0;
  }
  return WHERE_Convert(low, attrib, 0, lo) && WHERE_Convert(high, attrib, 0, hi);
}

[[nodiscard]] int ReduceBetween(WHEREGEN* g) {
  if (g->stack->count < 3) return Fail(kBetweenMissing);
  POPPED popped;
  EXPRNODE* high = popped.Take(g->stack);
  EXPRNODE* low = popped.Take(g->stack);
  EXPRNODE* attr = popped.Take(g->stack);
  if (attr->kind == EXPR_UPPER || low->kind == EXPR_UPPER || high->kind == EXPR_UPPER)
    return Fail(kNonLocal);
  if (attr->kind != DBTK_IDENT || !IsConst(low) || !IsConst(high)) return Fail(kBetweenConstants);
  std::vector<unsigned char> lo, hi;
  if (!BetweenBounds(*low, *high, *attr->attrib, &lo, &hi)) return 0;
  FILTERRUN run;
  StartFilter(g, *attr, 0, &run);
  ROWLIST_Between(&run.filter, lo.data(), hi.data(), &run.set);
  FinishFilter(g, &run);
  return 1;
}

// ---------------------------------------------------------------------------
// AND, OR, NOT, EXISTS

void MergeAnd(WHEREGEN* g, EXPRNODE* left, const EXPRNODE& right) {
  for (int t = 0; t < DB_MAXROWLISTTABLES; ++t) {
    if (!right.restricted[size_t(t)]) continue;
    if (!left->restricted[size_t(t)]) {
      left->restricted[size_t(t)] = 1;
      left->rows[size_t(t)] = right.rows[size_t(t)];
      continue;
    }
    DBTABLE* table = g->scope->tables[size_t(t)];
    const std::vector<int32_t>& a = left->rows[size_t(t)];
    const std::vector<int32_t>& b = right.rows[size_t(t)];
    std::vector<int32_t> result;
    if (a.size() <= b.size()) {
      ROWLIST_Intersect(table, a, b, &result);
    } else {
      ROWLIST_Intersect(table, b, a, &result);
    }
    left->rows[size_t(t)] = std::move(result);
  }
}

// OR merges only where the merge is exact: when one side restricts nothing
// (true), or both restrict the same single table. Returns 0 otherwise.
[[nodiscard]] bool MergeOr(WHEREGEN* g, EXPRNODE* left, const EXPRNODE& right) {
  int lt = -1, rt = -1;
  const int ln = RestrictedCount(*left, &lt);
  const int rn = RestrictedCount(right, &rt);
  if (ln == 0 || rn == 0) {
    left->restricted.fill(0);
    for (auto& rows : left->rows) rows.clear();
    return true;
  }
  if (ln != 1 || rn != 1 || lt != rt) return false;
  DBTABLE* table = g->scope->tables[size_t(lt)];
  const std::vector<int32_t>& a = left->rows[size_t(lt)];
  const std::vector<int32_t>& b = right.rows[size_t(lt)];
  std::vector<int32_t> result;
  if (a.size() >= b.size()) {
    ROWLIST_Union(table, a, b, &result);
  } else {
    ROWLIST_Union(table, b, a, &result);
  }
  left->rows[size_t(lt)] = std::move(result);
  return true;
}

// A list [-1] inside a row list is expanded before set operations.
void ExpandRestricted(WHEREGEN* g, EXPRNODE* node) {
  for (int t = 0; t < DB_MAXROWLISTTABLES; ++t) {
    if (node->restricted[size_t(t)] && size_t(t) < g->scope->tables.size())
      EXPR_ExpandList(g->scope->tables[size_t(t)], g->stmt->timestamp, &node->rows[size_t(t)]);
  }
}

[[nodiscard]] int ReduceAndOr(WHEREGEN* g, unsigned char op) {
  if (g->stack->count < 2) return Fail(kOperandsMissing);
  POPPED popped;
  EXPRNODE* right = popped.Take(g->stack);
  EXPRNODE* left = popped.Take(g->stack);
  if (IsRowList(left) && IsRowList(right)) {
    ExpandRestricted(g, left);
    ExpandRestricted(g, right);
    bool merged = true;
    if (op == DBTK_AND) {
      MergeAnd(g, left, *right);
    } else {
      merged = MergeOr(g, left, *right);
    }
    if (merged) {
      left->from_exists = 0;
      popped.PushBack(g->stack, left);
      return 1;
    }
  }
  popped.PushBack(g->stack, left);
  popped.PushBack(g->stack, right);
  PTRSTACK_Push(g->stack, EXPR_NewNode(op));
  return 1;
}

// NOT of a row list that restricts at most one table is its complement
// within the candidates; NOT of one that restricts nothing (true) is false,
// which a row list says by restricting the first table to no rows.
[[nodiscard]] int ReduceNot(WHEREGEN* g) {
  if (g->stack->count < 1) return Fail(kNotMissing);
  POPPED popped;
  EXPRNODE* operand = popped.Take(g->stack);
  int t = -1;
  const int n = IsRowList(operand) ? RestrictedCount(*operand, &t) : -1;
  if (n == 0) {
    operand->restricted[0] = 1;
    operand->rows[0].clear();
  } else if (n == 1) {
    std::vector<int32_t>& candidates = g->scope->candidates[size_t(t)];
    DBTABLE* table = g->scope->tables[size_t(t)];
    EXPR_ExpandList(table, g->stmt->timestamp, &candidates);
    ExpandRestricted(g, operand);
    std::vector<int32_t> result;
    ROWLIST_Minus(table, candidates, operand->rows[size_t(t)], &result);
    operand->rows[size_t(t)] = std::move(result);
  }
  popped.PushBack(g->stack, operand);
  if (n < 0 || n > 1) PTRSTACK_Push(g->stack, EXPR_NewNode(DBTK_NOT));
  if (n >= 0) operand->from_exists = 0;
  return 1;
}

[[nodiscard]] int ReduceExists(WHEREGEN* g) {
  if (g->stack->count < 1) return Fail(kExistsMissing);
  auto* top = static_cast<EXPRNODE*>(PTRSTACK_Top(*g->stack));
  if (!IsRowList(top) || !top->from_exists) return Fail(kExistsError);
  return 1;
}

// Converts a text to the row form of a date, time or timestamp attribute.
[[nodiscard]] int ConvertDateText(const std::string& text, const DBATTRIB& a, unsigned char* out) {
  if (DATES_ToRow(a.type, text, out)) return 1;
  const char* message = a.type == DBTYPE_DATE   ? kIllegalDate
                        : a.type == DBTYPE_TIME ? kIllegalTime
                                                : kIllegalDati;
  REPLY_Errorf(message, text.c_str(), a.name.c_str());
  return 0;
}

[[nodiscard]] int ConvertText(const std::string& text, const DBATTRIB& a, int text_binary,
                              unsigned char* out) {
  switch (a.type) {
    case DBTYPE_CHARACTER:
      if (int(text.size()) > a.size - 1) {
        REPLY_Errorf(kStringTooLong, text.c_str(), int(text.size()), a.name.c_str(), a.size - 1);
        return 0;
      }
      std::memcpy(out, text.c_str(), text.size() + 1);
      return 1;
    case DBTYPE_BINARY:
      if (!text_binary) break;
      if (BINNOT_ToField(text, a.size, out)) return 1;
      REPLY_Errorf(kBinaryInvalid, text.c_str(), a.name.c_str(), a.size - 2);
      return 0;
    case DBTYPE_DATE:
    case DBTYPE_TIME:
    case DBTYPE_TIMESTAMP: return ConvertDateText(text, a, out);
    default: break;
  }
  REPLY_Errorf(kIllegalValue, a.name.c_str());
  return 0;
}

[[nodiscard]] int ConvertNumber(const QVALUE& v, const DBATTRIB& a, unsigned char* out) {
  if (v.kind == DBTK_INTVAL && a.type == DBTYPE_SMALLINT) {
    if (v.ival < -32768 || v.ival > 32767) {
      REPLY_Errorf(kIllegalSmallint, v.ival, a.name.c_str());
      return 0;
    }
    const auto s = static_cast<int16_t>(v.ival);
    std::memcpy(out, &s, sizeof s);
    return 1;
  }
  if (v.kind == DBTK_INTVAL && a.type == DBTYPE_INTEGER) {
    std::memcpy(out, &v.ival, sizeof v.ival);
    return 1;
  }
  if (a.type == DBTYPE_FLOAT) {
    const double d = v.kind == DBTK_INTVAL ? double(v.ival) : v.fval;
    std::memcpy(out, &d, sizeof d);
    return 1;
  }
  REPLY_Errorf(kIllegalValue, a.name.c_str());
  return 0;
}

}  // namespace

int WHERE_Convert(const QVALUE& value, const DBATTRIB& attrib, int text_binary,
                  std::vector<unsigned char>* out) {
  // Room for the field, and for a text constant with its NUL.
  out->assign(size_t(std::max<int>(attrib.size, int(value.text.size()) + 1)) + 16, 0);
  switch (value.kind) {
    case DBTK_STRINGVAL: return ConvertText(value.text, attrib, text_binary, out->data());
    case DBTK_INTVAL:
    case DBTK_FLOATVAL: return ConvertNumber(value, attrib, out->data());
    default: break;
  }
  if (value.kind == attrib.type) {
    std::memcpy(out->data(), value.raw, size_t(attrib.size));
    return 1;
  }
  REPLY_Errorf(kIllegalValue, attrib.name.c_str());
  return 0;
}

int WHERE_Reduce(WHEREGEN* g, unsigned char op) {
  switch (op) {
    case DBTK_LIKE: return ReduceLike(g);
    case DBTK_IN: return ReduceIn(g);
    case DBTK_BETWEEN: return ReduceBetween(g);
    case DBTK_AND:
    case DBTK_OR: return ReduceAndOr(g, op);
    case DBTK_NOT: return ReduceNot(g);
    case DBTK_EXISTS: return ReduceExists(g);
    default: return ReduceCompare(g, op);
  }
}
