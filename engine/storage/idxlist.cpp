// idxlist.cpp: the ordered list of a non-unique index.
#include "engine/storage/idxlist.h"

#include <algorithm>

#include "engine/types/alloc.h"
#include "engine/types/tokens.h"
#include "engine/types/values.h"

namespace {
// Empty blocks of every ordered list wait here for reuse.
struct IdxListState {
  std::vector<std::unique_ptr<IDXBLOCK>> pool;
  int pool_capacity = 0;
};

IdxListState& State() {
  static IdxListState state;
  return state;
}

std::unique_ptr<IDXBLOCK> TakeBlock() {
  IdxListState& state = State();
  if (!state.pool.empty()) {
    std::unique_ptr<IDXBLOCK> block = std::move(state.pool.back());
    state.pool.pop_back();
    return block;
  }
  return ALLOC_Make([] { return std::make_unique<IDXBLOCK>(); });
}

void ReturnBlock(std::unique_ptr<IDXBLOCK> block) {
  IdxListState& state = State();
  if (int(state.pool.size()) >= state.pool_capacity) {
    state.pool_capacity =
        state.pool_capacity == 0 ? IDXLIST_FIRSTPOOL : state.pool_capacity + IDXLIST_GROWPOOL;
    ALLOC_Reserve(&state.pool, state.pool_capacity);
  }
  block->count = 0;
  state.pool.push_back(std::move(block));
}

void PlaceBlock(IDXLIST* list, int at, std::unique_ptr<IDXBLOCK> block) {
  if (int(list->blocks.size()) >= list->block_capacity) {
    list->block_capacity += IDXLIST_GROWBLOCKS;
    ALLOC_Reserve(&list->blocks, list->block_capacity);
  }
  list->blocks.insert(list->blocks.begin() + at, std::move(block));
}

const unsigned char* ValueOf(const IDXLIST& list, int row) {
  return list.rows.row_data(list.rows.ctx, row) + list.offset;
}

// Order of `value` against the value of `row`: -1, 0 or 1.
int CmpRow(const IDXLIST& list, const void* value, int row) {
  return CmpData(list.type, value, ValueOf(list, row));
}

const IDXBLOCK& Block(const IDXLIST& list, int b) { return *list.blocks[b]; }
int FirstRow(const IDXLIST& list, int b) { return Block(list, b).rows[0]; }
int LastRow(const IDXLIST& list, int b) { return Block(list, b).rows[Block(list, b).count - 1]; }

// The block where the rows of `value` begin: the first block whose last
// value is not below it, else the last block. Short lists are scanned;
// longer ones searched by halves, which finds the same block.
int FindBlock(const IDXLIST& list, const void* value) {
  const int n = int(list.blocks.size());
  if (n < IDXLIST_LINEARBLOCKS) {
    for (int b = 0; b < n; ++b) {
      if (CmpRow(list, value, LastRow(list, b)) <= 0) return b;
    }
    return n - 1;
  }
  if (CmpRow(list, value, FirstRow(list, 0)) < 0) return 0;
  if (CmpRow(list, value, LastRow(list, n - 1)) > 0) return n - 1;
  int lo = 0;
  int hi = n - 1;
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (CmpRow(list, value, LastRow(list, mid)) <= 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The first position of block `b` whose value is not below `value` (the
// count when there is none).
int Position(const IDXLIST& list, int b, const void* value) {
  const IDXBLOCK& block = Block(list, b);
  if (block.count <= IDXLIST_LINEARROWS) {
    int k = 0;
    while (k < block.count && CmpRow(list, value, block.rows[k]) > 0) ++k;
    return k;
  }
  if (CmpRow(list, value, block.rows[0]) <= 0) return 0;
  if (CmpRow(list, value, block.rows[block.count - 1]) > 0) return block.count;
  int lo = 0;
  int hi = block.count - 1;
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (CmpRow(list, value, block.rows[mid]) <= 0) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// A full block `b` receives `row` at position k: the half that the new row
// joins moves to a new block, so at most half a block is copied.
void SplitInsert(IDXLIST* list, int b, int k, int row) {
  IDXBLOCK& full = *list->blocks[b];
  std::unique_ptr<IDXBLOCK> fresh = TakeBlock();
  int at = b;
  if (k == 0 || k == IDXLIST_BLOCKROWS) {
    fresh->rows[0] = row;
    fresh->count = 1;
    at = k == 0 ? b : b + 1;
  } else if (k < IDXLIST_BLOCKROWS / 2) {
    std::copy_n(full.rows.begin(), k, fresh->rows.begin());
    fresh->rows[k] = row;
    fresh->count = k + 1;
    std::copy(full.rows.begin() + k, full.rows.end(), full.rows.begin());
    full.count = IDXLIST_BLOCKROWS - k;
  } else {
    fresh->rows[0] = row;
    std::copy(full.rows.begin() + k, full.rows.end(), fresh->rows.begin() + 1);
    fresh->count = IDXLIST_BLOCKROWS - k + 1;
    full.count = k;
    at = b + 1;
  }
  PlaceBlock(list, at, std::move(fresh));
}

void RemoveAt(IDXLIST* list, int b, int i) {
  IDXBLOCK& block = *list->blocks[b];
  if (block.count == 1) {
    std::unique_ptr<IDXBLOCK> empty = std::move(list->blocks[b]);
    list->blocks.erase(list->blocks.begin() + b);
    ReturnBlock(std::move(empty));
    return;
  }
  std::copy(block.rows.begin() + i + 1, block.rows.begin() + block.count, block.rows.begin() + i);
  --block.count;
}

// 1 when the value of `row` satisfies `row op value`.
bool Satisfies(const IDXLIST& list, int op, int row, const void* value) {
  const int c = CmpData(list.type, ValueOf(list, row), value);
  switch (op) {
    case DBTK_LT: return c < 0;
    case DBTK_LE: return c <= 0;
    case DBTK_GT: return c > 0;
    case DBTK_GE: return c >= 0;
    default: return c == 0;
  }
}

// A position in the list: block and entry.
struct Cursor {
  int b;
  int i;
};

// Moves `at` forward to the next entry that exists (the count of blocks
// when there is none).
void Settle(const IDXLIST& list, Cursor* at) {
  while (at->b < int(list.blocks.size()) && at->i >= Block(list, at->b).count) {
    ++at->b;
    at->i = 0;
  }
}

// Appends entries from `at` forward while `keep` holds.
template <typename Keep>
void AppendForward(const IDXLIST& list, Cursor at, Keep keep, std::vector<int>* out) {
  for (Settle(list, &at); at.b < int(list.blocks.size()); ++at.i, Settle(list, &at)) {
    const int row = Block(list, at.b).rows[at.i];
    if (!keep(row)) return;
    out->push_back(row);
  }
}

// '<' and '<=': rows equal to the value first (for '<='), then everything
// below it from the right, which gives a descending value order.
void SearchBelow(const IDXLIST& list, int op, const void* value, Cursor at, std::vector<int>* out) {
  const IDXBLOCK& block = Block(list, at.b);
  int j = at.i == block.count ? block.count - 1 : at.i;
  while (j >= 0 && !Satisfies(list, op, block.rows[j], value)) --j;
  if (op == DBTK_LE) {
    AppendForward(
        list, Cursor{at.b, j + 1}, [&](int row) { return Satisfies(list, op, row, value); }, out);
  }
  for (int i = j; i >= 0; --i) out->push_back(block.rows[i]);
  for (int b = at.b - 1; b >= 0; --b) {
    const IDXBLOCK& earlier = Block(list, b);
    for (int i = earlier.count - 1; i >= 0; --i) out->push_back(earlier.rows[i]);
  }
}

// '>' and '>=': skip the rows that do not satisfy the operator (they may run
// on into the next blocks), then take everything after them.
void SearchAbove(const IDXLIST& list, int op, const void* value, Cursor at, std::vector<int>* out) {
  for (Settle(list, &at); at.b < int(list.blocks.size()); ++at.i, Settle(list, &at)) {
    if (Satisfies(list, op, Block(list, at.b).rows[at.i], value)) break;
  }
  AppendForward(
      list, at, [](int) { return true; }, out);
}
}  // namespace

void IDXLIST_Init(IDXLIST* list, const IDXROWS& rows, int type, int offset) {
  IDXLIST_Clear(list);
  list->block_capacity = IDXLIST_FIRSTBLOCKS;
  ALLOC_Reserve(&list->blocks, IDXLIST_FIRSTBLOCKS);
  list->type = static_cast<unsigned char>(type);
  list->offset = offset;
  list->rows = rows;
}

void IDXLIST_Clear(IDXLIST* list) {
  for (auto& block : list->blocks) ReturnBlock(std::move(block));
  list->blocks.clear();
}

void IDXLIST_Insert(IDXLIST* list, const void* value, int row) {
  if (list->blocks.empty()) {
    std::unique_ptr<IDXBLOCK> block = TakeBlock();
    block->rows[0] = row;
    block->count = 1;
    PlaceBlock(list, 0, std::move(block));
    return;
  }
  const int b = FindBlock(*list, value);
  const int k = Position(*list, b, value);
  IDXBLOCK& block = *list->blocks[b];
  if (block.count == IDXLIST_BLOCKROWS) {
    SplitInsert(list, b, k, row);
    return;
  }
  std::copy_backward(block.rows.begin() + k, block.rows.begin() + block.count,
                     block.rows.begin() + block.count + 1);
  block.rows[k] = row;
  ++block.count;
}

int IDXLIST_Delete(IDXLIST* list, const void* value, int row) {
  if (list->blocks.empty()) return 0;
  // The row is searched from the value's block to the end rather than only
  // among equal values, so a row is found even where the tolerant FLOAT
  // order left it slightly off its place.
  for (int b = FindBlock(*list, value); b < int(list->blocks.size()); ++b) {
    const IDXBLOCK& block = *list->blocks[b];
    for (int i = 0; i < block.count; ++i) {
      if (block.rows[i] == row) {
        RemoveAt(list, b, i);
        return 1;
      }
    }
  }
  return 0;
}

void IDXLIST_Rebuild(IDXLIST* list, int timestamp) {
  IDXLIST_Clear(list);
  std::vector<int32_t> rows;
  const IDXROWS& source = list->rows;
  int cursor = source.first(source.ctx);
  for (int row = source.next(source.ctx, timestamp, &cursor); row >= 0;
       row = source.next(source.ctx, timestamp, &cursor)) {
    rows.push_back(row);
  }
  // Inserting one row at a time puts each row before the rows equal to it;
  // a stable sort of the reversed walk gives the same sequence at once.
  std::reverse(rows.begin(), rows.end());
  std::stable_sort(rows.begin(), rows.end(), [list](int32_t a, int32_t b) {
    return CmpData(list->type, ValueOf(*list, a), ValueOf(*list, b)) < 0;
  });
  IDXLIST_Append(list, rows.data(), int(rows.size()));
}

void IDXLIST_Append(IDXLIST* list, const int32_t* rows, int n) {
  for (int done = 0; done < n;) {
    std::unique_ptr<IDXBLOCK> block = TakeBlock();
    const int take = std::min(n - done, IDXLIST_LOADROWS);
    std::copy_n(rows + done, take, block->rows.begin());
    block->count = take;
    done += take;
    PlaceBlock(list, int(list->blocks.size()), std::move(block));
  }
}

int IDXLIST_Search(const IDXLIST& list, int op, const void* value, std::vector<int>* out) {
  if (list.blocks.empty()) return 0;
  if (op != DBTK_LT && op != DBTK_LE && op != DBTK_GT && op != DBTK_GE && op != DBTK_EQ) return 0;
  const int b = FindBlock(list, value);
  const Cursor at{b, Position(list, b, value)};
  if (op == DBTK_LT || op == DBTK_LE) {
    SearchBelow(list, op, value, at, out);
  } else if (op == DBTK_GT || op == DBTK_GE) {
    SearchAbove(list, op, value, at, out);
  } else {
    AppendForward(
        list, at, [&](int row) { return Satisfies(list, op, row, value); }, out);
  }
  return 1;
}

int IDXLIST_Between(const IDXLIST& list, const void* low, const void* high, std::vector<int>* out) {
  if (list.blocks.empty()) return 0;
  const int b = FindBlock(list, low);
  const Cursor at{b, Position(list, b, low)};
  AppendForward(
      list, at, [&](int row) { return CmpData(list.type, ValueOf(list, row), high) <= 0; }, out);
  return 1;
}

int IDXLIST_Count(const IDXLIST& list) {
  int n = 0;
  for (const auto& block : list.blocks) n += block->count;
  return n;
}

void IDXLIST_Rows(const IDXLIST& list, std::vector<int>* out) {
  for (const auto& block : list.blocks)
    out->insert(out->end(), block->rows.begin(), block->rows.begin() + block->count);
}

int IDXLIST_PoolSize() { return int(State().pool.size()); }

void IDXLIST_ResetForTest() { State() = IdxListState{}; }
