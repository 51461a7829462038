// rowlist.cpp: the row filter and the set operations on row lists.
#include "engine/statements/rowlist.h"

#include <algorithm>
#include <cstring>

#include "engine/types/alloc.h"
#include "engine/types/values.h"

namespace {

// Rows a set holds before it keeps a map by slot instead of searching.
constexpr size_t kSearchedRows = 32;

const unsigned char* FieldOf(DBTABLE* table, const DBATTRIB& attrib, int row) {
  return ROWPOOL_Data(table->rows, row) + attrib.offset;
}

// Counts a row found by testing; 0 once the filter must stop.
[[nodiscard]] bool CountRow(ROWFILTER* f) {
  if (!f->counted) return true;
  if (++*f->counter > f->stmt->filter_row_max) {
    f->stopped = 1;
    return false;
  }
  return true;
}

// The unique index made of `attrib` alone, or null.
DBINDEX* SoleUniqueIndex(DBTABLE* table, const DBATTRIB* attrib) {
  for (std::unique_ptr<DBINDEX>& index : table->unique_store) {
    if (index && index->attribs.size() == 1 && index->attribs[0] == attrib) return index.get();
  }
  return nullptr;
}

// The '=' lookup through a unique index: at most one row.
[[nodiscard]] bool HashLookup(ROWFILTER* f, const unsigned char* constant, ROWSET* out) {
  const DBATTRIB& a = *f->attrib;
  if (a.type == DBTYPE_BINARY) return false;
  DBINDEX* index = SoleUniqueIndex(f->table, f->attrib);
  if (index == nullptr) return false;
  const uint32_t hash = IDXHASH_FieldHash(0, a.type, a.size, constant);
  const int32_t* bucket;
  int count;
  IDXHASH_Lookup(index->unique.hash, hash, &bucket, &count);
  for (int i = 0; i < count; ++i) {
    const unsigned char* field = FieldOf(f->table, a, bucket[i]);
    const bool equal = a.type == DBTYPE_CHARACTER
                           ? CmpString(reinterpret_cast<const char*>(field),
                                       reinterpret_cast<const char*>(constant)) == 0
                           : std::memcmp(field, constant, size_t(a.size)) == 0;
    if (equal) {
      ROWLIST_Add(out, bucket[i]);
      break;
    }
  }
  return true;
}

// The ordered-list search for '=' and the ranges.
[[nodiscard]] bool ListSearch(ROWFILTER* f, int op, const unsigned char* constant, ROWSET* out) {
  if (f->counted || !f->attrib->list) return false;
  std::vector<int> rows;
  if (!IDXLIST_Search(*f->attrib->list, op, constant, &rows)) return false;
  for (int row : rows) ROWLIST_Add(out, row);
  return true;
}

// Tests every row visible at the statement timestamp, in table order.
// Rows are large (a chunk row is some 4 KB), so each test reads a line of
// memory no cache holds; the lines of the rows a few places down the list
// are asked for ahead, and the tests no longer wait for each in turn.
template <typename Test>
void Scan(ROWFILTER* f, Test test, ROWSET* out) {
  constexpr int kAhead = 8;
  const ROWPOOL& pool = f->table->rows;
  const int offset = f->attrib->offset;
  int ahead = pool.head;
  for (int k = 0; k < kAhead && ahead >= 0; ++k) {
    __builtin_prefetch(pool.row_data[size_t(ahead)] + offset);
    ahead = pool.slots[size_t(ahead)].next;
  }
  int cursor = pool.head;
  for (int row = ROWPOOL_NextFrom(pool, f->stmt->timestamp, &cursor); row >= 0;
       row = ROWPOOL_NextFrom(pool, f->stmt->timestamp, &cursor)) {
    // The look-ahead keeps to the live list; the walk may skip more of it
    // (rows not visible at the timestamp), which only wastes a prefetch.
    if (ahead >= 0) {
      __builtin_prefetch(pool.row_data[size_t(ahead)] + offset);
      ahead = pool.slots[size_t(ahead)].next;
    }
    if (!test(FieldOf(f->table, *f->attrib, row))) continue;
    if (!CountRow(f)) return;
    ROWLIST_Add(out, row);
  }
}

// Tests the candidates in their order; returns at an entry -1 with *whole
// set, leaving the rest of the list alone.
template <typename Test>
void TestCandidates(ROWFILTER* f, Test test, ROWSET* out, bool* whole) {
  *whole = false;
  for (int32_t row : *f->candidates) {
    if (row < 0) {
      *whole = true;
      return;
    }
    if (!test(FieldOf(f->table, *f->attrib, row))) continue;
    if (!CountRow(f)) return;
    ROWLIST_Add(out, row);
  }
}

bool IsRangeOrEqual(int op) {
  return op == DBTK_LT || op == DBTK_LE || op == DBTK_GT || op == DBTK_GE || op == DBTK_EQ;
}

}  // namespace

std::vector<unsigned char> ROWLIST_Membership(DBTABLE* table, const std::vector<int32_t>& list) {
  std::vector<unsigned char> in;
  ALLOC_Resize(&in, table->rows.slots.size());
  for (int32_t row : list) {
    if (row >= 0 && size_t(row) < in.size()) in[size_t(row)] = 1;
  }
  return in;
}

bool ROWLIST_In(const std::vector<unsigned char>& member, int32_t row) {
  return row >= 0 && size_t(row) < member.size() && member[size_t(row)];
}

void ROWLIST_StartSet(ROWSET* set, DBTABLE* table, std::vector<int32_t>* list) {
  set->list = list;
  list->clear();
  set->seen.clear();
  set->slot_count = int32_t(table->rows.slots.size());
}

void ROWLIST_Add(ROWSET* set, int32_t row) {
  if (row < 0 || row >= set->slot_count) return;
  std::vector<int32_t>& list = *set->list;
  if (set->seen.empty()) {
    if (list.size() < kSearchedRows) {
      if (std::find(list.begin(), list.end(), row) == list.end()) list.push_back(row);
      return;
    }
    ALLOC_Resize(&set->seen, size_t(set->slot_count));
    for (int32_t kept : list) set->seen[size_t(kept)] = 1;
  }
  if (set->seen[size_t(row)]) return;
  set->seen[size_t(row)] = 1;
  list.push_back(row);
}

void ROWLIST_Filter(ROWFILTER* f, int op, const unsigned char* constant, ROWSET* out) {
  const int type = f->attrib->type;
  auto test = [&](const unsigned char* v) { return CmpValues(op, type, v, constant) != 0; };
  bool whole;
  TestCandidates(f, test, out, &whole);
  if (!whole || f->stopped) return;
  if (op == DBTK_EQ && HashLookup(f, constant, out)) return;
  if (IsRangeOrEqual(op) && ListSearch(f, op, constant, out)) return;
  Scan(f, test, out);
}

void ROWLIST_Between(ROWFILTER* f, const unsigned char* low, const unsigned char* high,
                     ROWSET* out) {
  const int type = f->attrib->type;
  auto test = [&](const unsigned char* v) {
    return CmpValues(DBTK_GE, type, v, low) != 0 && CmpValues(DBTK_LE, type, v, high) != 0;
  };
  bool whole;
  TestCandidates(f, test, out, &whole);
  if (!whole || f->stopped) return;
  if (!f->counted && f->attrib->list) {
    std::vector<int> rows;
    if (IDXLIST_Between(*f->attrib->list, low, high, &rows)) {
      for (int row : rows) ROWLIST_Add(out, row);
      return;
    }
  }
  Scan(f, test, out);
}

void ROWLIST_Intersect(DBTABLE* table, const std::vector<int32_t>& a, const std::vector<int32_t>& b,
                       std::vector<int32_t>* out) {
  const std::vector<unsigned char> in_b = ROWLIST_Membership(table, b);
  std::vector<int32_t> result;
  for (int32_t row : a) {
    if (ROWLIST_In(in_b, row)) result.push_back(row);
  }
  *out = std::move(result);
}

void ROWLIST_Union(DBTABLE* table, const std::vector<int32_t>& a, const std::vector<int32_t>& b,
                   std::vector<int32_t>* out) {
  const std::vector<unsigned char> in_a = ROWLIST_Membership(table, a);
  std::vector<int32_t> result = a;
  for (int32_t row : b) {
    if (!ROWLIST_In(in_a, row)) result.push_back(row);
  }
  *out = std::move(result);
}

void ROWLIST_Minus(DBTABLE* table, const std::vector<int32_t>& all, const std::vector<int32_t>& b,
                   std::vector<int32_t>* out) {
  const std::vector<unsigned char> in_b = ROWLIST_Membership(table, b);
  std::vector<int32_t> result;
  for (int32_t row : all) {
    if (!ROWLIST_In(in_b, row)) result.push_back(row);
  }
  *out = std::move(result);
}
