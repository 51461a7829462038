// distinct.cpp: duplicate removal for DISTINCT.
#include "engine/statements/distinct.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/types/interrupt.h"
#include "engine/types/values.h"

namespace {

// What the result data set counts per cell of a row in its memory
// estimate; removing rows gives it back.
constexpr int64_t kCellEstimate = 4;

bool CellsEqual(int type, const unsigned char* a, const unsigned char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return CmpData(type, a, b) == 0;
}

bool RowsEqual(const RESDATA& r, int x, int y) {
  for (int c = 0; c < r.columns; ++c) {
    if (!CellsEqual(r.column_types[size_t(c)], RESDATA_Cell(r, x, c), RESDATA_Cell(r, y, c)))
      return false;
  }
  return true;
}

uint64_t Mix(uint64_t h, const void* bytes, size_t n) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
  return h;
}

// A hash that agrees with CmpData equality: texts without their trailing
// blanks, timestamps without the pad byte, BINARY by length and bytes.
uint64_t CellHash(uint64_t h, int type, const unsigned char* cell) {
  if (cell == nullptr) return Mix(h, "\xff", 1);
  switch (type) {
    case DBTYPE_CHARACTER: {
      std::string_view s(reinterpret_cast<const char*>(cell));
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      return Mix(Mix(h, s.data(), s.size()), "\0", 1);
    }
    case DBTYPE_SMALLINT: return Mix(h, cell, DB_SMALLINT_SIZE);
    case DBTYPE_INTEGER: return Mix(h, cell, DB_INTEGER_SIZE);
    case DBTYPE_DATE: return Mix(h, cell, DB_DATE_SIZE);
    case DBTYPE_TIME: return Mix(h, cell, DB_TIME_SIZE);
    case DBTYPE_TIMESTAMP: return Mix(Mix(h, cell, 7), cell + 8, 4);
    case DBTYPE_BINARY: {
      int16_t n;
      std::memcpy(&n, cell, 2);
      h = Mix(h, &n, 2);
      return n > 0 ? Mix(h, cell + 2, size_t(n)) : h;
    }
    default: return h;
  }
}

uint64_t RowHash(const RESDATA& r, int row) {
  uint64_t h = 1469598103934665603ULL;
  for (int c = 0; c < r.columns; ++c)
    h = CellHash(h, r.column_types[size_t(c)], RESDATA_Cell(r, row, c));
  return h;
}

// Equality is transitive here, so walking from the last row, a row
// survives exactly when no later survivor equals it.
std::vector<char> KeepHashed(const RESDATA& r) {
  std::vector<char> keep(size_t(r.rows), 0);
  std::unordered_multimap<uint64_t, int> later;
  later.reserve(size_t(r.rows));
  for (int row = r.rows - 1; row >= 0; --row) {
    const uint64_t h = RowHash(r, row);
    bool seen = false;
    auto range = later.equal_range(h);
    for (auto it = range.first; it != range.second && !seen; ++it)
      seen = RowsEqual(r, row, it->second);
    if (seen) continue;
    keep[size_t(row)] = 1;
    later.emplace(h, row);
  }
  return keep;
}

// Compares every pair, so it polls for a stop; an interrupted run gives
// an empty list.
std::vector<char> KeepPairwise(const RESDATA& r) {
  std::vector<char> keep(size_t(r.rows), 1);
  for (int i = 0; i < r.rows; ++i) {
    if (INTERRUPT_Requested()) return {};
    for (int j = i + 1; j < r.rows; ++j) {
      if (RowsEqual(r, i, j)) {
        keep[size_t(i)] = 0;
        break;
      }
    }
  }
  return keep;
}

// Moves the surviving rows to the front, in order, and drops the rest.
void Compact(RESDATA* r, const std::vector<char>& keep) {
  int kept = 0;
  for (int row = 0; row < r->rows; ++row) {
    if (!keep[size_t(row)]) continue;
    if (kept != row) std::swap(r->row_table[size_t(kept)], r->row_table[size_t(row)]);
    ++kept;
  }
  for (int row = kept; row < r->rows; ++row) r->row_table[size_t(row)].clear();
  r->estimate -= kCellEstimate * r->columns * (r->rows - kept);
  r->rows = kept;
}

}  // namespace

int DISTINCT_Apply(RESDATA* result) {
  if (result->rows < 2) return 1;
  bool has_float = false;
  for (int c = 0; c < result->columns; ++c) {
    if (result->column_types[size_t(c)] == DBTYPE_FLOAT) has_float = true;
  }
  const std::vector<char> keep = has_float ? KeepPairwise(*result) : KeepHashed(*result);
  if (keep.empty()) return INTERRUPT_Fail();
  Compact(result, keep);
  return 1;
}
