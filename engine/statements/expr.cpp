// expr.cpp: the node pool, scopes and candidate lists.
#include "engine/statements/expr.h"

#include <cstdint>
#include <cstring>

#include "engine/types/alloc.h"

namespace {

// Puts a node back into the state of a fresh one. The row lists keep their
// storage, so a reused node does not allocate for lists of similar size.
void ClearNode(EXPRNODE* node) {
  node->kind = 0;
  node->attrib = nullptr;
  node->table = -1;
  node->upper = nullptr;
  node->text.clear();
  node->ival = 0;
  node->fval = 0;
  // Most nodes never restricted a table: the flags are looked at eight at
  // a time, since a walk byte by byte over every table's flag, for each of
  // the many nodes a statement frees, cost more than the statement's own
  // work on a short IN list.
  static_assert(DB_MAXROWLISTTABLES % sizeof(uint64_t) == 0);
  for (int t = 0; t < DB_MAXROWLISTTABLES; t += int(sizeof(uint64_t))) {
    uint64_t flags = 0;
    std::memcpy(&flags, node->restricted.data() + t, sizeof flags);
    if (flags == 0) continue;
    for (int k = t; k < t + int(sizeof(uint64_t)); ++k) {
      if (node->restricted[size_t(k)]) node->rows[size_t(k)].clear();
    }
  }
  node->restricted.fill(0);
  node->has_result = 0;
  node->from_exists = 0;
  node->member.clear();
}

void GrowPool(EXPRPOOL* pool) {
  const int step = pool->nodes.empty() ? EXPR_POOLFIRST : EXPR_POOLGROW;
  for (int i = 0; i < step; ++i) {
    try {
      pool->nodes.push_back(std::make_unique<EXPRNODE>());
    } catch (const std::bad_alloc&) {
      ALLOC_Fail();
    }
    pool->free.push_back(pool->nodes.back().get());
  }
}

}  // namespace

EXPRPOOL& EXPR_Pool() {
  static EXPRPOOL pool;
  return pool;
}

void EXPR_ResetForTest() {
  EXPRPOOL& pool = EXPR_Pool();
  for (auto& node : pool.nodes) RESDATA_Free(&node->result);
  pool = EXPRPOOL{};
}

EXPRNODE* EXPR_NewNode(unsigned char kind) {
  EXPRPOOL& pool = EXPR_Pool();
  if (pool.free.empty()) GrowPool(&pool);
  EXPRNODE* node = pool.free.back();
  pool.free.pop_back();
  node->kind = kind;
  return node;
}

void EXPR_FreeNode(EXPRNODE* node) {
  if (node == nullptr) return;
  ClearNode(node);
  if (node->result.block_count >= 0 && node->result.estimate > EXPR_KEEPRESULTBYTES) {
    RESDATA_Free(&node->result);
  }
  RESDATA_Discharge(&node->result);
  EXPR_Pool().free.push_back(node);
}

void EXPR_FreeList(PTRSTACK* expr) {
  for (int i = 0; i < expr->count; ++i) {
    EXPR_FreeNode(static_cast<EXPRNODE*>(PTRSTACK_Get(*expr, i)));
  }
  PTRSTACK_Clear(expr);
}

void EXPR_InitScope(QUERYSCOPE* scope, int level) {
  scope->tables.clear();
  scope->table_pos.clear();
  NAMELIST_Free(&scope->identifiers);
  scope->candidates.clear();
  scope->upper_count = 0;
  scope->pinned.clear();
  scope->reread = 0;
  if (scope->expr.capacity == 0) PTRSTACK_Init(&scope->expr);
  scope->level = level;
  scope->truncated = 0;
}

void EXPR_AddScopeTable(QUERYSCOPE* scope, DBTABLE* table, int table_pos, const char* identifier) {
  scope->tables.push_back(table);
  scope->table_pos.push_back(table_pos);
  NAMELIST_Add(&scope->identifiers,
               identifier != nullptr && identifier[0] != '\0' ? identifier : nullptr);
}

void EXPR_StartCandidates(QUERYSCOPE* scope) {
  ALLOC_Resize(&scope->candidates, scope->tables.size());
  for (std::vector<int32_t>& list : scope->candidates) list.assign(1, -1);
  scope->pinned.assign(scope->tables.size(), -1);
}

void EXPR_FreeScope(QUERYSCOPE* scope) {
  EXPR_FreeList(&scope->expr);
  PTRSTACK_Free(&scope->expr);
}

void EXPR_ExpandList(DBTABLE* table, int timestamp, std::vector<int32_t>* list) {
  if (list->size() != 1 || (*list)[0] != -1) return;
  list->clear();
  int cursor = table->rows.head;
  for (int row = ROWPOOL_NextFrom(table->rows, timestamp, &cursor); row >= 0;
       row = ROWPOOL_NextFrom(table->rows, timestamp, &cursor)) {
    list->push_back(row);
  }
}
