// orderby.cpp: ORDER BY keys and the sort of a result's row order.
#include "engine/statements/orderby.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "engine/types/values.h"

namespace {

constexpr char kOrderBy[] = "(ORDER BY)";
constexpr char kIdentMissing[] = "(ORDER BY) attrib-identifier missing";
constexpr char kNotFound[] = "(ORDER BY) Attribute '%s' not found";

struct SORTKEY {
  std::string ident;  // empty: the key named the column alone
  std::string name;
  int direction = 1;  // 1 ascending, -1 descending
  int column = -1;
};

bool IsSectionEnd(unsigned char kind) {
  return kind == DBTK_ORDER_BY || kind == DBTK_END || kind == DBTK_NONE;
}

// Reads an 'a' token at tok->pos (kind byte included) into *text.
[[nodiscard]] int ReadName(QTOKENS* tok, std::string* text) {
  std::string detail;
  int pos = TOKEN_Expect(tok->msg, tok->length, tok->pos, DBTK_IDENT, &detail);
  if (pos == TOKEN_FAILED) {
    REPLY_ErrorDetail(kOrderBy, detail);
    return 0;
  }
  pos = TOKEN_Text(tok->msg, tok->length, pos, text, &detail);
  if (pos == TOKEN_FAILED) {
    REPLY_ErrorDetail(kIdentMissing, detail);
    return 0;
  }
  tok->pos = pos;
  return 1;
}

// One key; the current token is its first token.
[[nodiscard]] int ReadKey(QTOKENS* tok, SORTKEY* key) {
  if (tok->kind == DBTK_IDENT) {
    std::string detail;
    const int pos = TOKEN_Text(tok->msg, tok->length, tok->pos, &key->name, &detail);
    if (pos == TOKEN_FAILED) {
      REPLY_ErrorDetail(kIdentMissing, detail);
      return 0;
    }
    tok->pos = pos;
  } else if (tok->kind == DBTK_DOT) {
    if (!ReadName(tok, &key->ident) || !ReadName(tok, &key->name)) return 0;
  } else {
    // The client never writes anything else here; refuse it plainly.
    const unsigned char found = tok->kind;
    std::string detail;
    (void)TOKEN_Expect(&found, 1, 0, DBTK_IDENT, &detail);
    REPLY_ErrorDetail(kOrderBy, detail);
    return 0;
  }
  QTOKENS_Next(tok);
  if (tok->kind == DBTK_DESC) {
    key->direction = -1;
    QTOKENS_Next(tok);
  }
  return 1;
}

[[nodiscard]] int ReadKeys(QTOKENS* tok, std::vector<SORTKEY>* keys) {
  QTOKENS_Next(tok);
  for (;;) {
    SORTKEY key;
    if (!ReadKey(tok, &key)) return 0;
    keys->push_back(std::move(key));
    if (IsSectionEnd(tok->kind)) {
      QTOKENS_Next(tok);
      return 1;
    }
  }
}

int FindColumn(const RESDATA& result, const std::string& name) {
  for (int c = 0; c < result.columns; ++c) {
    const char* column = result.column_names[size_t(c)];
    if (column != nullptr && name == column) return c;
  }
  return -1;
}

[[nodiscard]] int Resolve(const RESDATA& result, SORTKEY* key) {
  key->column = -1;
  if (!key->ident.empty()) key->column = FindColumn(result, key->ident + "." + key->name);
  if (key->column < 0) key->column = FindColumn(result, key->name);
  if (key->column >= 0) return 1;
  REPLY_Errorf(kNotFound, key->name.c_str());
  return 0;
}

// Key order of two result rows: < 0 when row a comes first.
int CompareRows(const RESDATA& result, const std::vector<SORTKEY>& keys, int a, int b) {
  for (const SORTKEY& key : keys) {
    const unsigned char* x = RESDATA_Cell(result, a, key.column);
    const unsigned char* y = RESDATA_Cell(result, b, key.column);
    int c;
    if (x == nullptr || y == nullptr) {
      c = (x != nullptr) - (y != nullptr);  // a cell without value sorts first
    } else {
      c = CmpData(result.column_types[size_t(key.column)], x, y);
    }
    if (c != 0) return c * key.direction;
  }
  return 0;
}

// One entry of the order being sorted: the row and, when the first key is
// a CHARACTER column with a value in this row, the first bytes of its text
// (byte i at bits 8i..8i+7, zeros after the text's end). The bytes travel
// with the entry, so most comparisons are decided without reading cells
// scattered over the result.
struct SORTITEM {
  uint64_t prefix = 0;
  int32_t row = 0;
  int32_t has_prefix = 0;
};

constexpr int kPrefixBytes = 8;

SORTITEM MakeItem(const RESDATA& result, const SORTKEY& first, bool text_key, int32_t row) {
  SORTITEM item;
  item.row = row;
  const unsigned char* cell = text_key ? RESDATA_Cell(result, row, first.column) : nullptr;
  if (cell == nullptr) return item;
  for (int i = 0; i < kPrefixBytes && cell[i] != 0; ++i) {
    item.prefix |= uint64_t(cell[i]) << (8 * i);
  }
  item.has_prefix = 1;
  return item;
}

// The same answer as CompareRows. Texts compare at their first differing
// byte; when that byte lies within the prefixes and is not the end of
// either text, the prefixes alone give CmpString's answer (bytes before it
// are equal and not the end, or the texts would not differ there).
int CompareItems(const RESDATA& result, const std::vector<SORTKEY>& keys, const SORTITEM& a,
                 const SORTITEM& b) {
  if (a.has_prefix && b.has_prefix) {
    const uint64_t differ = a.prefix ^ b.prefix;
    if (differ != 0) {
      const int shift = std::countr_zero(differ) & ~7;
      const auto x = static_cast<signed char>(a.prefix >> shift);
      const auto y = static_cast<signed char>(b.prefix >> shift);
      if (x != 0 && y != 0) return (x < y ? -1 : 1) * keys[0].direction;
    }
  }
  return CompareRows(result, keys, a.row, b.row);
}

// A merge sort: O(n log n) comparisons whatever the input, and safe with
// the FLOAT tolerance, whose equality is not transitive.
void MergeSort(const RESDATA& result, const std::vector<SORTKEY>& keys,
               std::vector<SORTITEM>* order) {
  const size_t n = order->size();
  std::vector<SORTITEM> buffer(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n);
      const size_t hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        buffer[k++] = CompareItems(result, keys, (*order)[j], (*order)[i]) < 0 ? (*order)[j++]
                                                                               : (*order)[i++];
      }
      while (i < mid) buffer[k++] = (*order)[i++];
      while (j < hi) buffer[k++] = (*order)[j++];
    }
    order->swap(buffer);
  }
}

}  // namespace

int ORDERBY_Sort(QTOKENS* tok, RESDATA* result) {
  std::vector<SORTKEY> keys;
  if (!ReadKeys(tok, &keys)) return 0;
  for (SORTKEY& key : keys) {
    if (!Resolve(*result, &key)) return 0;
  }
  if (result->rows < 2) return 1;
  const bool text_key = result->column_types[size_t(keys[0].column)] == DBTYPE_CHARACTER;
  std::vector<SORTITEM> order;
  order.reserve(size_t(result->rows));
  for (int i = 0; i < result->rows; ++i) {
    order.push_back(MakeItem(*result, keys[0], text_key, result->row_order[size_t(i)]));
  }
  MergeSort(*result, keys, &order);
  for (int i = 0; i < result->rows; ++i) result->row_order[size_t(i)] = order[size_t(i)].row;
  return 1;
}

int ORDERBY_Skip(QTOKENS* tok) {
  std::vector<SORTKEY> keys;
  return ReadKeys(tok, &keys);
}
