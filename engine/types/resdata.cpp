// resdata.cpp: result data sets and their arena.
#include "engine/types/resdata.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/types/alloc.h"
#include "engine/types/values.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kHeaderInconsistent[] = "(RESDATA_Header_Data) Inkonsistent header definition\n";
constexpr char kFillInconsistent[] = "(RESDATA_Fill) Inkonsistent binary definition\n";
constexpr char kXYFillInvalid[] = "(RESDATA_XY_Fill) Invalid Row/Column\n";
constexpr char kXYFillInconsistent[] = "(RESDATA_XY_Fill) Inkonsistent binary definition\n";
constexpr char kFillBinaryTooLong[] = "(RESDATA_Fill_Binary) String too long ('%s[...]')\n";
constexpr char kFillBinaryInconsistent[] = "(RESDATA_Fill_Binary) Inkonsistent binary definition\n";
constexpr char kXYBinaryInvalid[] = "(RESDATA_XY_Fill_Binary) Invalid Row/Column\n";
constexpr char kXYBinaryInconsistent[] =
    "(RESDATA_XY_Fill_Binary) Inkonsistent binary definition\n";
constexpr char kXYBinaryTooLong[] = "(RESDATA_XY_Fill_Binary) String too long\n";
constexpr char kDelRowInvalid[] = "(RESDATA) Invalid row-parameter in RESDATA_DelRow\n";

constexpr int64_t kHeaderCostPerColumn = 5;  // name pointer and type byte
constexpr int64_t kRowTableCostPerRow = 8;   // row pointer and order entry
constexpr int64_t kCellCost = 4;             // one cell pointer of a row array

// The bytes all charged sets hold together (resdata.h). One engine thread
// charges and frees sets; the client's sets are never charged.
int64_t& Ledger() {
  static int64_t held = 0;
  return held;
}

// Brings the set's part of the ledger in line with its estimate.
void Sync(RESDATA* set) {
  if (!set->charge.on) return;
  Ledger() += set->estimate - set->charge.bytes;
  set->charge.bytes = set->estimate;
}

// Library misuse with these messages ends the process at once: nothing
// is saved, since the data being saved could be what went wrong.
[[noreturn]] void Quit(const char* message) {
  DBreport("%s", message);
  PLATFORM_QuickExit(1);
}

std::unique_ptr<unsigned char[]> NewBlock(int32_t size) {
  return ALLOC_Make(
      [size] { return std::make_unique_for_overwrite<unsigned char[]>(size_t(size)); });
}

void AddBlock(RESDATA* set, int32_t size) {
  set->blocks.push_back(NewBlock(size));
  set->block_sizes.push_back(size);
  set->estimate += size;
  ++set->block_count;
  Sync(set);
}

// Moves on to the next block for a value of n bytes. A block kept from
// before a reset that is too small for the value is replaced: writing the
// value into it would run past its end.
void NextBlock(RESDATA* set, int32_t n) {
  ++set->current_block;
  set->used = 0;
  const int32_t size = std::max(n, RESDATA_BLOCKSIZE);
  if (set->current_block == set->block_count) {
    AddBlock(set, size);
    return;
  }
  int32_t& old_size = set->block_sizes[set->current_block];
  if (old_size < n) {
    set->blocks[set->current_block] = NewBlock(size);
    set->estimate += size - old_size;
    old_size = size;
    Sync(set);
  }
}

// n bytes from the arena. The test is "at least": a value that would fill
// the current block exactly goes to the next one.
unsigned char* Carve(RESDATA* set, int32_t n) {
  if (set->used + int64_t(n) >= set->block_sizes[set->current_block]) NextBlock(set, n);
  unsigned char* p = set->blocks[set->current_block].get() + set->used;
  set->used += n;
  return p;
}

const unsigned char* CopyIn(RESDATA* set, const void* bytes, int32_t n) {
  unsigned char* p = Carve(set, n);
  if (n > 0) std::memcpy(p, bytes, size_t(n));
  return p;
}

const char* CopyText(RESDATA* set, const char* text) {
  return reinterpret_cast<const char*>(CopyIn(set, text, int32_t(std::strlen(text) + 1)));
}

// A set freed or never initialised becomes a fresh one on first use.
void EnsureReady(RESDATA* set) {
  if (set->block_count < 0) RESDATA_Init(set);
}

bool InSet(const RESDATA& set, int row, int column) {
  return row >= 0 && row < set.rows && column >= 0 && column < set.columns;
}

// Room for `width` cells at the end of the cell pool, all without value.
int32_t TakeCells(RESDATA* set, int32_t width) {
  const int32_t first = set->cells_used;
  const size_t needed = size_t(first) + size_t(width);
  if (needed > set->cell_pool.size()) {
    ALLOC_Resize(&set->cell_pool, std::max(needed, 2 * set->cell_pool.size()));
  }
  std::fill_n(set->cell_pool.begin() + first, width, nullptr);
  set->cells_used += width;
  return first;
}

// The cell pointer of (row, column); a row filled before a header column
// was added is widened first (moved to the end of the pool).
const unsigned char*& CellSlot(RESDATA* set, int row, int column) {
  RESROW& cells = set->row_table[row];
  if (cells.width <= column) {
    const int32_t first = TakeCells(set, set->columns);
    std::copy_n(set->cell_pool.begin() + cells.first, cells.width, set->cell_pool.begin() + first);
    cells.first = first;
    cells.width = set->columns;
  }
  return set->cell_pool[size_t(cells.first + column)];
}

void StartRow(RESDATA* set) {
  if (set->rows >= set->row_capacity) {
    set->row_capacity += RESDATA_GROWROWS;
    ALLOC_Resize(&set->row_table, set->row_capacity);
    ALLOC_Resize(&set->row_order, set->row_capacity);
    set->estimate += RESDATA_ROWGROWCOST;
  }
  set->row_table[set->rows] = RESROW{TakeCells(set, set->columns), set->columns};
  set->estimate += kCellCost * set->columns;
  Sync(set);
}

// Where the next sequential cell goes, or null in a set without columns.
const unsigned char** NextCell(RESDATA* set) {
  EnsureReady(set);
  if (set->columns == 0) return nullptr;
  if (set->fill_position >= set->columns) set->fill_position = 0;
  if (set->fill_position == 0) StartRow(set);
  return &CellSlot(set, set->rows, set->fill_position);
}

void Advance(RESDATA* set) {
  if (++set->fill_position == set->columns) {
    ++set->rows;
    set->fill_position = 0;
  }
}

// Copies a typed value of a column of `type` into the arena. A text without
// its NUL within `length` bytes is reported and ends the process: the
// message of a sequential fill shows the text, that of an XY fill does not.
const unsigned char* CopyTyped(RESDATA* set, int type, const void* value, int length,
                               bool sequential) {
  const auto* bytes = static_cast<const unsigned char*>(value);
  const int32_t n = std::max(length, 0);
  if (type == DBTYPE_CHARACTER) {
    const void* nul = n > 0 ? std::memchr(bytes, 0, size_t(n)) : nullptr;
    if (nul == nullptr && sequential) {
      DBreport(kFillBinaryTooLong,
               std::string(reinterpret_cast<const char*>(bytes), size_t(n)).c_str());
      PLATFORM_QuickExit(1);
    }
    if (nul == nullptr) Quit(kXYBinaryTooLong);
    return CopyIn(set, bytes, int32_t(static_cast<const unsigned char*>(nul) - bytes + 1));
  }
  if (type == DBTYPE_BINARY) {
    // The value's own length decides, but never beyond the bytes given:
    // a damaged length must not make the copy read past the value.
    int16_t own = 0;
    if (n >= 2) std::memcpy(&own, bytes, sizeof own);
    const int16_t kept = static_cast<int16_t>(std::clamp<int32_t>(own, 0, std::max(n - 2, 0)));
    unsigned char* p = Carve(set, kept + 2);
    std::memcpy(p, &kept, sizeof kept);
    if (kept > 0) std::memcpy(p + 2, bytes + 2, size_t(kept));
    return p;
  }
  return CopyIn(set, bytes, n);
}
}  // namespace

void RESDATA_Init(RESDATA* set) {
  *set = RESDATA{};
  set->block_count = 0;
  AddBlock(set, RESDATA_FIRSTBLOCK);
  set->column_capacity = RESDATA_FIRSTCOLUMNS;
  ALLOC_Resize(&set->column_names, RESDATA_FIRSTCOLUMNS);
  ALLOC_Resize(&set->column_types, RESDATA_FIRSTCOLUMNS);
  ALLOC_Resize(&set->column_sizes, RESDATA_FIRSTCOLUMNS);
  set->row_capacity = RESDATA_FIRSTROWS;
  ALLOC_Resize(&set->row_table, RESDATA_FIRSTROWS);
  ALLOC_Resize(&set->row_order, RESDATA_FIRSTROWS);
  set->estimate = RESDATA_INITESTIMATE;
}

void RESDATA_Empty(RESDATA* set) {
  set->rows = 0;
  set->columns = 0;
  set->fill_position = 0;
  set->truncated = 0;
}

void RESDATA_Reset(RESDATA* set) {
  EnsureReady(set);
  for (RESROW& cells : set->row_table) cells.clear();
  set->cells_used = 0;
  set->overlay.clear();
  set->binary = 0;
  set->named_header = 0;
  set->text_cells = 0;
  set->fill_position = 0;
  set->rows = 0;
  set->columns = 0;
  set->truncated = 0;
  set->current_block = 0;
  set->used = 0;
  set->estimate =
      kHeaderCostPerColumn * set->column_capacity + kRowTableCostPerRow * set->row_capacity;
  for (int32_t size : set->block_sizes) set->estimate += size;
  Sync(set);
}

void RESDATA_Free(RESDATA* set) {
  if (set->borrowed) return;
  // The fresh set's empty charge takes the old one's bytes out of the
  // ledger.
  *set = RESDATA{};
}

void RESDATA_Header_Data(RESDATA* set, const char* name, int type, int size) {
  EnsureReady(set);
  if (set->columns >= set->column_capacity) {
    set->column_capacity += RESDATA_GROWCOLUMNS;
    ALLOC_Resize(&set->column_names, set->column_capacity);
    ALLOC_Resize(&set->column_types, set->column_capacity);
    ALLOC_Resize(&set->column_sizes, set->column_capacity);
    set->estimate += RESDATA_COLUMNGROWCOST;
    Sync(set);
  }
  const char* copy = nullptr;
  if (name != nullptr) {
    // Named after nameless columns: the header mixes both kinds.
    if (!set->named_header && set->columns > 0) DBreport("%s", kHeaderInconsistent);
    copy = CopyText(set, name);
    set->named_header = 1;
  } else if (!set->named_header) {
    DBreport("%s", kHeaderInconsistent);
  }
  set->column_names[set->columns] = copy;
  set->column_types[set->columns] = static_cast<unsigned char>(type);
  set->column_sizes[set->columns] = size;
  ++set->columns;
}

void RESDATA_Fill(RESDATA* set, const char* text) {
  const unsigned char** cell = NextCell(set);
  if (cell == nullptr) return;
  if (set->binary) DBreport("%s", kFillInconsistent);
  set->text_cells = 1;
  *cell = text != nullptr ? reinterpret_cast<const unsigned char*>(CopyText(set, text)) : nullptr;
  Advance(set);
}

void RESDATA_Fill_Binary(RESDATA* set, const void* value, int length) {
  const unsigned char** cell = NextCell(set);
  if (cell == nullptr) return;
  if (!set->binary && set->text_cells) DBreport("%s", kFillBinaryInconsistent);
  set->binary = 1;
  // Carving may move to another block but never moves the row arrays.
  *cell = CopyTyped(set, set->column_types[set->fill_position], value, length, true);
  Advance(set);
}

void RESDATA_Fill_Null(RESDATA* set) {
  const unsigned char** cell = NextCell(set);
  if (cell == nullptr) return;
  *cell = nullptr;
  Advance(set);
}

void RESDATA_XY_Fill(RESDATA* set, int row, int column, const char* text) {
  if (!InSet(*set, row, column)) Quit(kXYFillInvalid);
  if (set->binary) DBreport("%s", kXYFillInconsistent);
  set->text_cells = 1;
  const char* copy = text != nullptr ? CopyText(set, text) : nullptr;
  CellSlot(set, row, column) = reinterpret_cast<const unsigned char*>(copy);
}

void RESDATA_XY_Fill_Binary(RESDATA* set, int row, int column, const void* value, int length) {
  if (!InSet(*set, row, column)) Quit(kXYBinaryInvalid);
  // (0, 0) is the one cell a set of function results fills before it
  // holds any typed cell.
  if (!set->binary && (row != 0 || column != 0)) DBreport("%s", kXYBinaryInconsistent);
  set->binary = 1;
  const unsigned char* copy = CopyTyped(set, set->column_types[column], value, length, false);
  CellSlot(set, row, column) = copy;
}

const char* RESDATA_XY_Text(RESDATA* set, int row, int column, const char* text) {
  if (!InSet(*set, row, column) || text == nullptr) return nullptr;
  if (int(set->overlay.size()) < set->rows) ALLOC_Resize(&set->overlay, set->rows);
  std::vector<const char*>& cells = set->overlay[row];
  if (int(cells.size()) < set->columns) ALLOC_Resize(&cells, set->columns);
  cells[column] = CopyText(set, text);
  return cells[column];
}

const char* RESDATA_OverlayText(const RESDATA& set, int row, int column) {
  if (!InSet(set, row, column) || row >= int(set.overlay.size())) return nullptr;
  const std::vector<const char*>& cells = set.overlay[row];
  return column < int(cells.size()) ? cells[column] : nullptr;
}

int RESDATA_DelRow(RESDATA* set, int row) {
  if (row < 0 || row >= set->rows) {
    DBreport("%s", kDelRowInvalid);
    return 0;
  }
  // Erasing moves the later rows (and a row being built) up by one; the
  // table keeps its room.
  set->row_table.erase(set->row_table.begin() + row);
  set->row_table.emplace_back();
  if (row < int(set->overlay.size())) set->overlay.erase(set->overlay.begin() + row);
  set->estimate -= kCellCost * set->columns;
  Sync(set);
  --set->rows;
  return 1;
}

int RESDATA_Full(const RESDATA& set) { return set.current_block + 1 >= RESDATA_MAXBLOCKS; }

void RESDATA_NaturalOrder(RESDATA* set) {
  for (int i = 0; i < set->rows; ++i) set->row_order[i] = i;
}

// ---------------------------------------------------------------------------
// The result memory ledger

RESCHARGE::RESCHARGE(RESCHARGE&& other) noexcept : on(other.on), bytes(other.bytes) {
  other.on = false;
  other.bytes = 0;
}

RESCHARGE& RESCHARGE::operator=(RESCHARGE&& other) noexcept {
  if (this == &other) return *this;
  if (on) Ledger() -= bytes;
  on = other.on;
  bytes = other.bytes;
  other.on = false;
  other.bytes = 0;
  return *this;
}

RESCHARGE::~RESCHARGE() {
  if (on) Ledger() -= bytes;
}

void RESDATA_Charge(RESDATA* set) {
  if (set->charge.on) return;
  set->charge.on = true;
  set->charge.bytes = 0;
  Sync(set);
}

void RESDATA_Discharge(RESDATA* set) {
  if (!set->charge.on) return;
  Ledger() -= set->charge.bytes;
  set->charge.on = false;
  set->charge.bytes = 0;
}

int64_t RESDATA_Charged() { return Ledger(); }
