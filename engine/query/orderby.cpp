// orderby.cpp: ORDER BY keys and the sort of a result's row order.
#include "engine/query/orderby.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/types/values.h"
#include "engine/types/wire.h"

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

// A merge sort: O(n log n) comparisons whatever the input, and safe with
// the FLOAT tolerance, whose equality is not transitive.
void MergeSort(const RESDATA& result, const std::vector<SORTKEY>& keys,
               std::vector<int32_t>* order) {
  const size_t n = order->size();
  std::vector<int32_t> buffer(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n);
      const size_t hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        buffer[k++] =
            CompareRows(result, keys, (*order)[j], (*order)[i]) < 0 ? (*order)[j++] : (*order)[i++];
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
  std::vector<int32_t> order(result->row_order.begin(), result->row_order.begin() + result->rows);
  MergeSort(*result, keys, &order);
  std::copy(order.begin(), order.end(), result->row_order.begin());
  return 1;
}

int ORDERBY_Skip(QTOKENS* tok) {
  std::vector<SORTKEY> keys;
  return ReadKeys(tok, &keys);
}
