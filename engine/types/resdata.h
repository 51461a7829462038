// resdata.h: the result data set (RESDATA), the in-memory table holding the
// answer of a query: header columns (name, type byte, size) and rows of
// cells.
// Owns its header and row arrays and an arena of large blocks from which
// every cell and column name is carved; cells are never freed one by one.
//
// Cell forms (a null cell pointer is a cell without value):
//
//   | Column type | Typed cell (binary set)                | Text set  |
//   |-------------|----------------------------------------|-----------|
//   | CHARACTER   | the text and its NUL                   | text, NUL |
//   | BINARY      | int16 length, then that many bytes     | text, NUL |
//   | other       | the value's row form (values.h)        | text, NUL |
//
// Cells lie in the arena without alignment: read numbers with memcpy.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Arena blocks of a full set: a select stops filling one there and marks
// its result cut short, as at the memory limit. The arena itself grows on
// as long as memory lasts (a client copy of such a result may pack its
// cells into a few more blocks).
inline constexpr int RESDATA_MAXBLOCKS = 1000;
inline constexpr int RESDATA_FIRSTBLOCK = 50000;         // bytes of the first arena block
inline constexpr int RESDATA_BLOCKSIZE = 200000;         // least bytes of every later block
inline constexpr int RESDATA_FIRSTCOLUMNS = 20;          // header room of a new set
inline constexpr int RESDATA_GROWCOLUMNS = 200;          // a full header grows by this
inline constexpr int RESDATA_FIRSTROWS = 50;             // row room of a new set
inline constexpr int RESDATA_GROWROWS = 5000;            // a full row table grows by this
inline constexpr int64_t RESDATA_INITESTIMATE = 200500;  // memory estimate of a new set
inline constexpr int64_t RESDATA_COLUMNGROWCOST = 1800;  // estimate added per header growth
inline constexpr int64_t RESDATA_ROWGROWCOST = 1250;     // estimate added per row-table growth

// The part of the result memory ledger a set holds (RESDATA_Charge): how
// many bytes of its estimate count in RESDATA_Charged(). It travels with
// the set when the set is moved and is given back when the set is freed,
// re-initialised or destroyed, so no path can leave bytes counted that no
// set holds any more.
struct RESCHARGE {
  bool on = false;    // the set's estimate counts in the ledger
  int64_t bytes = 0;  // what it counts there now
  RESCHARGE() = default;
  RESCHARGE(RESCHARGE&& other) noexcept;
  RESCHARGE& operator=(RESCHARGE&& other) noexcept;
  RESCHARGE(const RESCHARGE&) = delete;
  RESCHARGE& operator=(const RESCHARGE&) = delete;
  ~RESCHARGE();
};

// The cells of one row: `width` cell pointers from index `first` of the
// set's cell pool. Rows live side by side in that pool, so a set of many
// rows costs no allocation per row and a scan reads memory in order.
struct RESROW {
  int32_t first = 0;
  int32_t width = 0;
  void clear() { width = 0; }  // the row holds no cells any more
};

struct RESDATA {
  int borrowed = 0;  // set: freeing does nothing (the storage belongs to another set)
  int32_t reserved = 0;
  int binary = 0;         // cells hold typed values (set by the first binary fill)
  int named_header = 0;   // a header column with a name was added
  int fill_position = 0;  // column of the next sequential fill
  int rows = 0;           // complete rows
  int columns = 0;
  int column_capacity = -1;
  std::vector<const char*> column_names;  // null for a nameless column
  std::vector<unsigned char> column_types;
  std::vector<int32_t> column_sizes;
  // One entry per row slot; the row being built is at index `rows`.
  std::vector<RESROW> row_table;
  std::vector<const unsigned char*> cell_pool;  // cells of all rows
  int32_t cells_used = 0;                       // entries of cell_pool in use
  // Row numbers in delivery order (set by the query, sorted by ORDER BY).
  std::vector<int32_t> row_order;
  int row_capacity = -1;
  // Text forms of typed cells, rows x columns, made on first XY text.
  std::vector<std::vector<const char*>> overlay;
  int truncated = 0;  // a limit ended the result early
  int32_t spare = 0;
  // Arena.
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  std::vector<int32_t> block_sizes;
  int current_block = 0;
  int32_t used = 0;      // bytes used in the current block
  int block_count = -1;  // blocks allocated; -1 after RESDATA_Free
  int64_t estimate = 0;  // running estimate of the set's memory in bytes
  int text_cells = 0;    // cells were filled from text since the last reset
  RESCHARGE charge;      // its part of the ledger; none unless charged
};

// An empty set: first arena block of 50000 bytes, room for 20 columns and
// 50 rows, memory estimate 200500.
void RESDATA_Init(RESDATA* set);

// Sets rows, columns, the fill position and the truncated flag to 0 without
// releasing memory.
void RESDATA_Empty(RESDATA* set);

// Drops every row, the text overlay and the header; keeps the arena blocks
// for reuse (rewound to block 0) and recomputes the estimate as
// 5 x column room + 8 x row room + the sizes of all blocks.
void RESDATA_Reset(RESDATA* set);

// Unless borrowed, releases everything; the set is left empty with block
// count -1 and room -1. RESDATA_Init makes it usable again.
void RESDATA_Free(RESDATA* set);

// Appends a header column. A column without a name, or a named column after
// nameless ones, prints "(RESDATA_Header_Data) Inkonsistent header
// definition\n" (see the .cpp); the column is added in every case.
void RESDATA_Header_Data(RESDATA* set, const char* name, int type, int size);

// Text fill of the cell at the fill position; completes the row after the
// last column. Does nothing in a set without columns.
void RESDATA_Fill(RESDATA* set, const char* text);

// Typed fill of the cell at the fill position, by the column's type:
// CHARACTER copies the text with its NUL (at most `length` bytes; no NUL
// within them prints the too-long message and ends the process), BINARY
// copies its length word plus that many bytes, other types `length` bytes.
void RESDATA_Fill_Binary(RESDATA* set, const void* value, int length);

// Sequential fill of a cell without value.
void RESDATA_Fill_Null(RESDATA* set);

// Replace one cell of an existing row. Coordinates outside the set print
// "(RESDATA_XY_Fill) Invalid Row/Column\n" (resp. _Binary) and end the
// process with status 1.
void RESDATA_XY_Fill(RESDATA* set, int row, int column, const char* text);
void RESDATA_XY_Fill_Binary(RESDATA* set, int row, int column, const void* value, int length);

// Puts a copy of `text` into the text overlay for one cell, leaving the
// typed cell alone; returns the copy, or null for coordinates outside the
// set.
const char* RESDATA_XY_Text(RESDATA* set, int row, int column, const char* text);

// The overlay text of a cell, or null when it has none.
const char* RESDATA_OverlayText(const RESDATA& set, int row, int column);

// Removes row `row`; later rows move up by one. A row not below the row
// count prints "(RESDATA) Invalid row-parameter in RESDATA_DelRow\n" and
// changes nothing (returns 0).
int RESDATA_DelRow(RESDATA* set, int row);

// The cell at (row, column), or null for a cell without value or
// coordinates outside the set. Inline: sorting and replies call it for
// every cell.
inline const unsigned char* RESDATA_Cell(const RESDATA& set, int row, int column) {
  if (row < 0 || row >= set.rows || column < 0 || column >= set.columns) return nullptr;
  const RESROW& cells = set.row_table[size_t(row)];
  return column < cells.width ? set.cell_pool[size_t(cells.first + column)] : nullptr;
}

// 1 when the arena has RESDATA_MAXBLOCKS blocks or more in use.
[[nodiscard]] int RESDATA_Full(const RESDATA& set);

// Sets the row order to 0, 1, ..., rows - 1.
void RESDATA_NaturalOrder(RESDATA* set);

// ---------------------------------------------------------------------------
// The result memory ledger
//
// The engine's result memory limit holds for all the results and cursors
// it keeps open together, not for each alone. Every set the engine fills
// (a statement's result, a subselect's, a cursor's) is charged: from then
// on its memory estimate, as it grows and shrinks, counts in one
// process-wide sum, until the set is freed, re-initialised, destroyed or
// discharged. The client's copies of results are never charged.

// Makes the set's estimate count in the ledger (nothing when it already
// does).
void RESDATA_Charge(RESDATA* set);

// Takes the set's estimate out of the ledger again; the set keeps its
// memory (for reuse) but no longer counts.
void RESDATA_Discharge(RESDATA* set);

// The bytes all charged sets hold together.
[[nodiscard]] int64_t RESDATA_Charged();
