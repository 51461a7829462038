// rowlist.h: the row filter, which settles a condition between one
// attribute and a constant while a WHERE section is read, and the set
// operations on the row lists it produces.
// Owns nothing: lists belong to their nodes or scopes, rows to the tables.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/statements/expr.h"

// A list under construction that holds each row at most once.
struct ROWSET {
  std::vector<int32_t>* list = nullptr;
  // By row slot: already in the list. Made only once the list grows past a
  // few rows (until then the list itself is searched), so that a lookup of
  // one row does not clear a map of the whole table.
  std::vector<unsigned char> seen;
  int32_t slot_count = 0;  // the table's slots when the set started
};

// Starts a set on `list` (emptied) for rows of `table`.
void ROWLIST_StartSet(ROWSET* set, DBTABLE* table, std::vector<int32_t>* list);
// Appends `row` unless the set holds it already.
void ROWLIST_Add(ROWSET* set, int32_t row);

// One filter: the rows of `table` among `candidates` whose value of
// `attrib` satisfies a condition.
struct ROWFILTER {
  QUERYSTMT* stmt = nullptr;
  DBTABLE* table = nullptr;
  DBATTRIB* attrib = nullptr;
  const std::vector<int32_t>* candidates = nullptr;
  // Fed by a subselect: the ordered-list path is not taken, and rows found
  // by testing count in *counter; once it passes stmt->filter_row_max the
  // filter stops and sets `stopped`.
  int counted = 0;
  int* counter = nullptr;
  int stopped = 0;
};

// Appends the rows whose value v satisfies `v op constant` (the constant in
// the attribute's row form; for LIKE the pattern text). The candidate
// order is kept; an entry -1 stands for the whole table, which is searched
// through the unique hash index (for '='), the ordered list (for '=' and
// ranges) or else a scan of the rows visible at the statement timestamp.
void ROWLIST_Filter(ROWFILTER* filter, int op, const unsigned char* constant, ROWSET* out);

// Appends the rows with low <= v <= high, trying the ordered list for the
// whole table.
void ROWLIST_Between(ROWFILTER* filter, const unsigned char* low, const unsigned char* high,
                     ROWSET* out);

// A byte per row slot of `table`: 1 for the rows of `list` (entries that
// are no slot of the table, such as -1, are left out).
std::vector<unsigned char> ROWLIST_Membership(DBTABLE* table, const std::vector<int32_t>& list);
// 1 when `row` is marked in a ROWLIST_Membership result.
bool ROWLIST_In(const std::vector<unsigned char>& member, int32_t row);

// Rows of `a` that are also in `b`, in the order of `a`.
void ROWLIST_Intersect(DBTABLE* table, const std::vector<int32_t>& a, const std::vector<int32_t>& b,
                       std::vector<int32_t>* out);
// `a` followed by the rows of `b` that `a` lacks.
void ROWLIST_Union(DBTABLE* table, const std::vector<int32_t>& a, const std::vector<int32_t>& b,
                   std::vector<int32_t>* out);
// Rows of `all` that are not in `b`, in the order of `all`.
void ROWLIST_Minus(DBTABLE* table, const std::vector<int32_t>& all, const std::vector<int32_t>& b,
                   std::vector<int32_t>* out);
