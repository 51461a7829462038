// rowindex.h: keeping a table's indexes in step with its rows.
// Owns nothing: the unique hash indexes and the attributes' ordered lists
// belong to the table (catalog.h), the rows to its row pool. The indexes
// always hold the current version of every row (the one the latest state
// sees); whoever changes rows moves them in and out through these calls.
#pragma once

#include <span>

#include "engine/catalog/catalog.h"
#include "engine/catalog/limits.h"

// The accessor through which the table's indexes reach its rows.
IDXROWS ROWIDX_Rows(DBTABLE* table);

// 1 when no other row in the unique indexes carries the key of `row`.
[[nodiscard]] int ROWIDX_UniqueOk(DBTABLE* table, int row);

// Adds `row` to every unique index, resizing them (and refilling them with
// the rows visible at `timestamp`) when one outgrows its buckets.
void ROWIDX_AddUnique(DBTABLE* table, int row, int timestamp);
// The same for the rows of one bulk insert, with one resize check after
// the last (IDXHASH_AddRows).
void ROWIDX_AddUniqueRows(DBTABLE* table, std::span<const int> rows, int timestamp);

// Puts `row` back into every unique index without the resize check: for
// restoring an earlier state, which the indexes held before.
void ROWIDX_RestoreUnique(DBTABLE* table, int row);

// Removes `row` from every unique index; a row missing from one ends the
// process through the fatal exit (the rows and indexes disagree).
void ROWIDX_RemoveUnique(DBTABLE* table, int row);

// Inserts `row` into, or removes it from, the ordered lists of `attribs`
// (see ROWIDX_MAXRESTRICT), by the row's current bytes. Removing a row that
// a list does not hold changes nothing.
void ROWIDX_AddLists(DBTABLE* table, int row, std::span<DBATTRIB* const> attribs);
void ROWIDX_RemoveLists(DBTABLE* table, int row, std::span<DBATTRIB* const> attribs);

// Refills every ordered list of the table with the rows visible at
// `timestamp`.
void ROWIDX_RebuildLists(DBTABLE* table, int timestamp);
