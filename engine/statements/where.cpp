// where.cpp: the parsing loop of Gen_ValExpr (operands, attributes,
// subselects) and the row choice of UPDATE and DELETE.
#include "engine/statements/where.h"

#include "engine/statements/eval.h"
#include "engine/statements/select.h"
#include "engine/statements/where_internal.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"

namespace {

constexpr char kWhere[] = "(WHERE)";
constexpr char kAttribIdentMissing[] = "(WHERE) attrib-identifier missing";
constexpr char kIdentNotFound[] = "(WHERE) Table-identifier '%s' does not exist";
constexpr char kTableNotFound[] = "(WHERE) Table not found";
constexpr char kNoSuchAttrib[] = "(WHERE) Table '%s' does not contain attribute '%s'";
constexpr char kTooManyUpper[] = "(WHERE) Too many attrib-references to upper selects (max = %d)\n";
constexpr char kAttribNotFound[] = "(WHERE) Attribute '%s' not found";
constexpr char kNestingTooDeep[] = "(WHERE) Subselect-nesting too deep";
constexpr char kEvalFailed[] = "(%s) Error in evaluation of WHERE-expression";

bool IsSectionEnd(unsigned char kind) {
  return kind == DBTK_WHERE || kind == DBTK_END || kind == DBTK_NONE;
}

bool IsOperator(unsigned char kind) {
  switch (kind) {
    case DBTK_LT:
    case DBTK_GT:
    case DBTK_LE:
    case DBTK_GE:
    case DBTK_EQ:
    case DBTK_NE:
    case DBTK_LIKE:
    case DBTK_IN:
    case DBTK_BETWEEN:
    case DBTK_EXISTS:
    case DBTK_NOT:
    case DBTK_AND:
    case DBTK_OR: return true;
    default: return false;
  }
}

void Push(WHEREGEN* g, EXPRNODE* node) { PTRSTACK_Push(g->stack, node); }

void PushAttrib(WHEREGEN* g, DBATTRIB* attrib, int table) {
  EXPRNODE* node = EXPR_NewNode(DBTK_IDENT);
  node->attrib = attrib;
  node->table = table;
  Push(g, node);
}

// The upper-reference record of scope `s` for table `t` of the enclosing
// select at `level`; a new one when none matches.
[[nodiscard]] int ScopeRef(QUERYSTMT* stmt, QUERYSCOPE* s, int level, int t, UPPERREF** out) {
  for (int i = 0; i < s->upper_count; ++i) {
    if (s->uppers[i].level == level && s->uppers[i].table_number == t) {
      *out = &s->uppers[i];
      return 1;
    }
  }
  if (s->upper_count == DB_MAXUPPERREFS) {
    REPLY_Errorf(kTooManyUpper, DB_MAXUPPERREFS);
    return 0;
  }
  QUERYSCOPE* outer = stmt->contexts[size_t(level)];
  UPPERREF& ref = s->uppers[s->upper_count++];
  ref = UPPERREF{stmt->db, outer->tables[size_t(t)], &outer->candidates[size_t(t)], t, -1, level};
  *out = &ref;
  return 1;
}

// The current select's record for table `t` at `level`. The selects in
// between depend on that table's row too: each gets a record of its own
// and reads its WHERE section anew per row (EXISTS, eval.h).
[[nodiscard]] int UpperRef(WHEREGEN* g, int level, int t, UPPERREF** out) {
  for (int k = level + 1; k < g->scope->level; ++k) {
    QUERYSCOPE* between = g->stmt->contexts[size_t(k)];
    UPPERREF* ignored;
    if (!ScopeRef(g->stmt, between, level, t, &ignored)) return 0;
    between->reread = 1;
  }
  return ScopeRef(g->stmt, g->scope, level, t, out);
}

// Finds identifier `ident` in the current select, then in the enclosing
// selects from the innermost outward. *level is -1 for the current select.
[[nodiscard]] int FindIdentifier(WHEREGEN* g, const std::string& ident, int* level, int* t) {
  *t = ident.empty() ? -1 : NAMELIST_Find(g->scope->identifiers, ident.c_str());
  *level = -1;
  if (*t >= 0) return 1;
  // An empty identifier would match the tables that have none.
  for (int i = int(g->stmt->contexts.size()) - 1; i >= 0 && !ident.empty(); --i) {
    *t = NAMELIST_Find(g->stmt->contexts[size_t(i)]->identifiers, ident.c_str());
    if (*t >= 0) {
      *level = i;
      return 1;
    }
  }
  REPLY_Errorf(kIdentNotFound, ident.c_str());
  return 0;
}

// 'D': identifier.attribute, local or of an enclosing select.
[[nodiscard]] int Qualified(WHEREGEN* g) {
  QTOKENS* tok = g->tok;
  std::string ident, name, detail;
  int pos = TOKEN_ExpectText(tok->msg, tok->length, tok->pos, DBTK_IDENT, &ident, &detail);
  if (pos != TOKEN_FAILED)
    pos = TOKEN_ExpectText(tok->msg, tok->length, pos, DBTK_IDENT, &name, &detail);
  if (pos == TOKEN_FAILED) {
    REPLY_ErrorDetail(kWhere, detail);
    return 0;
  }
  tok->pos = pos;
  int level, t;
  if (!FindIdentifier(g, ident, &level, &t)) return 0;
  QUERYSCOPE* owner = level < 0 ? g->scope : g->stmt->contexts[size_t(level)];
  DBTABLE* table = owner->tables[size_t(t)];
  if (table == nullptr) {
    REPLY_Error(kTableNotFound);
    return 0;
  }
  DBATTRIB* attrib;
  int attrib_pos;
  if (!CATALOG_FindAttrib(table, name, &attrib, &attrib_pos)) {
    REPLY_Errorf(kNoSuchAttrib, table->name.c_str(), name.c_str());
    return 0;
  }
  if (level < 0) {
    PushAttrib(g, attrib, t);
    return 1;
  }
  UPPERREF* ref;
  if (!UpperRef(g, level, t, &ref)) return 0;
  EXPRNODE* node = EXPR_NewNode(EXPR_UPPER);
  node->attrib = attrib;
  node->upper = ref;
  Push(g, node);
  return 1;
}

// 'a': the first FROM table of the current select that has the name.
[[nodiscard]] int Unqualified(WHEREGEN* g) {
  QTOKENS* tok = g->tok;
  std::string name, detail;
  const int pos = TOKEN_Text(tok->msg, tok->length, tok->pos, &name, &detail);
  if (pos == TOKEN_FAILED) {
    REPLY_ErrorDetail(kAttribIdentMissing, detail);
    return 0;
  }
  tok->pos = pos;
  for (size_t t = 0; t < g->scope->tables.size(); ++t) {
    DBATTRIB* attrib;
    int attrib_pos;
    if (CATALOG_FindAttrib(g->scope->tables[t], name, &attrib, &attrib_pos)) {
      PushAttrib(g, attrib, int(t));
      return 1;
    }
  }
  REPLY_Errorf(kAttribNotFound, name.c_str());
  return 0;
}

// 'f', 'd', 'e'.
[[nodiscard]] int Constant(WHEREGEN* g) {
  QTOKENS* tok = g->tok;
  EXPRNODE* node = EXPR_NewNode(tok->kind);
  std::string detail;
  int pos;
  if (tok->kind == DBTK_STRINGVAL) {
    pos = TOKEN_Text(tok->msg, tok->length, tok->pos, &node->text, &detail);
  } else if (tok->kind == DBTK_INTVAL) {
    pos = TOKEN_Int32(tok->msg, tok->length, tok->pos, &node->ival, &detail);
  } else {
    pos = TOKEN_Double(tok->msg, tok->length, tok->pos, &node->fval, &detail);
  }
  if (pos == TOKEN_FAILED) {
    EXPR_FreeNode(node);
    REPLY_ErrorDetail(kWhere, detail);
    return 0;
  }
  tok->pos = pos;
  Push(g, node);
  return 1;
}

// 'u' and '=': a subselect run with the current select on the context
// stack. The token after its body becomes current.
[[nodiscard]] int Subselect(WHEREGEN* g, bool exists) {
  if (int(g->stmt->contexts.size()) >= DB_MAXSUBSELECTDEPTH) {
    REPLY_Error(kNestingTooDeep);
    return 0;
  }
  EXPRNODE* node = EXPR_NewNode(DBTK_RowList);
  g->stmt->contexts.push_back(g->scope);
  int ok;
  if (exists) {
    node->from_exists = 1;
    ok = EVAL_Exists(g->stmt, g->scope, g->tok, node);
  } else {
    node->has_result = 1;
    if (node->result.block_count < 0) RESDATA_Init(&node->result);
    ok = SELECT_Body(g->stmt, g->tok, &node->result);
    if (ok && node->result.truncated) g->scope->truncated = 1;
  }
  g->stmt->contexts.pop_back();
  if (!ok) {
    EXPR_FreeNode(node);
    return 0;
  }
  Push(g, node);
  return 1;
}

// Handles the current token and leaves the next one current.
[[nodiscard]] int Step(WHEREGEN* g) {
  QTOKENS* tok = g->tok;
  const unsigned char kind = tok->kind;
  int ok = 1;
  if (kind == DBTK_DOT) {
    ok = Qualified(g);
  } else if (kind == DBTK_IDENT) {
    ok = Unqualified(g);
  } else if (kind == DBTK_STRINGVAL || kind == DBTK_INTVAL || kind == DBTK_FLOATVAL) {
    ok = Constant(g);
  } else if (kind == DBTK_SELECT || kind == DBTK_SELECT_EXISTS) {
    return Subselect(g, kind == DBTK_SELECT_EXISTS);
  } else if (IsOperator(kind)) {
    QTOKENS_Next(tok);
    g->and_next = tok->kind == DBTK_AND;
    return WHERE_Reduce(g, kind);
  }
  // Any other token is read and ignored.
  if (ok) QTOKENS_Next(tok);
  return ok;
}

// Appends the rows of the single table of `scope` that the expression
// chooses, each once.
[[nodiscard]] int ChooseRows(QUERYSTMT* stmt, QUERYSCOPE* scope, const char* statement,
                             std::vector<int32_t>* out) {
  DBTABLE* table = scope->tables[0];
  const PTRSTACK& expr = scope->expr;
  EXPRNODE* narrowing = nullptr;
  if (!EVAL_Narrowing(expr, &narrowing)) return 0;
  std::vector<int32_t>* list = EVAL_WorkingList(scope, narrowing, 0);
  EXPR_ExpandList(table, stmt->timestamp, list);
  if (expr.count <= 1) {
    *out = *list;
    return 1;
  }
  out->clear();
  int position = 0;
  for (; position < int(list->size()); ++position) {
    if (INTERRUPT_Requested()) return INTERRUPT_Fail();
    int error = 0;
    const int holds = Eval_ValExpr(stmt, scope, narrowing, &position, &error);
    if (error) {
      REPLY_Errorf(kEvalFailed, statement);
      return 0;
    }
    if (holds) out->push_back((*list)[size_t(position)]);
  }
  return 1;
}

}  // namespace

int Gen_ValExpr(QUERYSTMT* stmt, QUERYSCOPE* scope, QTOKENS* tok) {
  WHEREGEN g{stmt, scope, tok, &scope->expr, 0};
  QTOKENS_Next(tok);
  for (;;) {
    if (!Step(&g)) return 0;
    if (IsSectionEnd(tok->kind)) {
      QTOKENS_Next(tok);
      return 1;
    }
  }
}

int WHERE_TableRows(DBCONN* conn, DBDATABASE* db, int table_pos, int timestamp,
                    const char* statement, QTOKENS* tok, std::vector<int32_t>* out_rows,
                    int* out_truncated) {
  QUERYSTMT stmt;
  stmt.conn = conn;
  stmt.db = db;
  stmt.timestamp = timestamp;
  QUERYSCOPE scope;
  EXPR_InitScope(&scope, 0);
  EXPR_AddScopeTable(&scope, CATALOG_Table(db, table_pos), table_pos, nullptr);
  EXPR_StartCandidates(&scope);
  *out_truncated = 0;
  int ok = 1;
  if (tok->kind == DBTK_WHERE) ok = Gen_ValExpr(&stmt, &scope, tok);
  if (ok) ok = ChooseRows(&stmt, &scope, statement, out_rows);
  *out_truncated = scope.truncated;
  EXPR_FreeScope(&scope);
  return ok;
}
