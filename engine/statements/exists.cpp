// exists.cpp: evaluating an EXISTS subselect while the enclosing WHERE
// section is read, into a row list of the enclosing select.
#include <vector>

#include "engine/statements/eval.h"
#include "engine/statements/orderby.h"
#include "engine/statements/rowlist.h"
#include "engine/statements/selectlist.h"
#include "engine/statements/where.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"

namespace {

// Whether the subselect finds a row for the current upper rows. A select
// of COUNT(*) items alone always returns its one row, so it always finds.
[[nodiscard]] int Found(QUERYSTMT* stmt, QUERYSCOPE* sub, bool only_counts, bool* found) {
  const PTRSTACK& expr = sub->expr;
  EXPRNODE* narrowing = nullptr;
  if (!EVAL_Narrowing(expr, &narrowing)) return 0;
  std::vector<int> lengths;
  const bool all_rows = EVAL_PrepareLists(stmt, sub, narrowing, nullptr, &lengths);
  *found = only_counts || (all_rows && expr.count <= 1);
  if (*found || expr.count <= 1 || !all_rows) return 1;
  std::vector<int> positions(lengths.size(), 0);
  do {
    if (INTERRUPT_Requested()) return INTERRUPT_Fail();
    int error = 0;
    const int holds = Eval_ValExpr(stmt, sub, narrowing, positions.data(), &error);
    if (error) {
      REPLY_Error(EVAL_SELECTFAILED);
      return 0;
    }
    if (holds) {
      *found = true;
      return 1;
    }
  } while (EVAL_Advance(&positions, lengths));
  return 1;
}

// Without references to the enclosing select the subselect is true or
// false as a whole; false restricts the enclosing select's first table to
// no rows.
void RecordWhole(EXPRNODE* node, bool found) {
  if (found) return;
  node->restricted[0] = 1;
  node->rows[0].clear();
}

// Reads the subselect's WHERE section again from `where` (its 'w'), so
// that the subselects inside it are decided for the upper rows now pinned.
[[nodiscard]] int Reread(QUERYSTMT* stmt, QUERYSCOPE* sub, const QTOKENS& where) {
  EXPR_FreeList(&sub->expr);
  EXPR_StartCandidates(sub);
  QTOKENS tok = where;
  return Gen_ValExpr(stmt, sub, &tok);
}

// Puts the references at the current combination; a direct reference
// pins its row in the enclosing select for the selects nested deeper.
void Position(QUERYSCOPE* outer, const std::vector<UPPERREF*>& refs, const std::vector<int>& bases,
              const std::vector<int>& positions) {
  for (size_t i = 0; i < refs.size(); ++i) {
    refs[i]->position = bases[i] + positions[i];
    if (refs[i]->level == outer->level)
      outer->pinned[size_t(refs[i]->table_number)] = refs[i]->position;
  }
}

void Unpin(QUERYSCOPE* outer, const std::vector<UPPERREF*>& refs) {
  for (UPPERREF* ref : refs) {
    ref->position = -1;
    if (ref->level == outer->level) outer->pinned[size_t(ref->table_number)] = -1;
  }
}

// Runs Found for every combination of upper rows (the first reference
// fastest) and lists, per table of the enclosing select, the rows for
// which the subselect found something. A reference to a select further
// out whose row an EXISTS there is deciding takes that row alone. With
// `where` (a subselect whose inner selects name tables further out) the
// WHERE section is read anew for every combination.
[[nodiscard]] int IterateUppers(QUERYSTMT* stmt, QUERYSCOPE* outer, QUERYSCOPE* sub,
                                const QTOKENS* where, bool only_counts, EXPRNODE* node) {
  std::vector<UPPERREF*> refs;
  std::vector<int> lengths, bases;
  std::vector<ROWSET> sets(outer->tables.size());
  bool any_direct = false, found_any = false, combinations = true;
  for (int i = 0; i < sub->upper_count; ++i) {
    UPPERREF* ref = &sub->uppers[size_t(i)];
    EXPR_ExpandList(ref->table, stmt->timestamp, ref->candidates);
    refs.push_back(ref);
    const int pin = ref->level == outer->level
                        ? -1
                        : stmt->contexts[size_t(ref->level)]->pinned[size_t(ref->table_number)];
    bases.push_back(pin >= 0 ? pin : 0);
    lengths.push_back(pin >= 0 ? 1 : int(ref->candidates->size()));
    if (ref->candidates->empty()) combinations = false;
    if (ref->level != outer->level) continue;
    any_direct = true;
    node->restricted[size_t(ref->table_number)] = 1;
    ROWLIST_StartSet(&sets[size_t(ref->table_number)], ref->table,
                     &node->rows[size_t(ref->table_number)]);
  }
  std::vector<int> positions(refs.size(), 0);
  int ok = 1;
  while (combinations) {
    if (INTERRUPT_Requested()) {
      ok = INTERRUPT_Fail();
      break;
    }
    Position(outer, refs, bases, positions);
    bool found = false;
    if ((where != nullptr && !Reread(stmt, sub, *where)) ||
        !Found(stmt, sub, only_counts, &found)) {
      ok = 0;
      break;
    }
    found_any = found_any || found;
    for (UPPERREF* ref : refs) {
      if (found && ref->level == outer->level)
        ROWLIST_Add(&sets[size_t(ref->table_number)], (*ref->candidates)[size_t(ref->position)]);
    }
    if (!any_direct && found_any) break;
    combinations = EVAL_Advance(&positions, lengths);
  }
  Unpin(outer, refs);
  if (ok && !any_direct) RecordWhole(node, found_any);
  return ok;
}

}  // namespace

int EVAL_Exists(QUERYSTMT* stmt, QUERYSCOPE* scope, QTOKENS* tok, EXPRNODE* node) {
  SELECTITEMS items;
  QUERYSCOPE sub;
  EXPR_InitScope(&sub, int(stmt->contexts.size()));
  int ok = SELECT_ReadLists(stmt, tok, &items, &sub);
  QTOKENS where = *tok;
  if (ok) {
    EXPR_StartCandidates(&sub);
    if (tok->kind == DBTK_WHERE) ok = Gen_ValExpr(stmt, &sub, tok);
  }
  if (ok && tok->kind == DBTK_ORDER_BY) ok = ORDERBY_Skip(tok);
  const bool only_counts = SELECT_OnlyCounts(items) != 0;
  if (ok && sub.upper_count > 0) {
    ok = IterateUppers(stmt, scope, &sub, sub.reread ? &where : nullptr, only_counts, node);
  } else if (ok) {
    bool found = false;
    ok = Found(stmt, &sub, only_counts, &found);
    if (ok) RecordWhole(node, found);
  }
  if (sub.truncated) scope->truncated = 1;
  EXPR_FreeScope(&sub);
  return ok;
}
