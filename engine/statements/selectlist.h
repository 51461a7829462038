// selectlist.h: reading and resolving the select list and FROM list of a
// select body, shared by the select executor and EXISTS evaluation.
// Owns nothing beyond the lists it fills.
#pragma once

#include <vector>

#include "engine/statements/expr.h"
#include "engine/statements/qtokens.h"

// Function codes of select items.
inline constexpr int SELECT_NOFUNCTION = -1;
inline constexpr int SELECT_COUNT = DBTK_COUNT;  // 67: COUNT(*)
inline constexpr int SELECT_MIN = DBTK_MIN;      // 73
inline constexpr int SELECT_MAX = DBTK_MAX;      // 74

// The select items as three parallel lists, one entry per item:
//   *            (-1, -1, -1)        identifier.*   (-1, t, -1)
//   COUNT(*)     (-1, -1, 67)        attribute      (a, t, -1)
//   MIN/MAX      (a, t, 73 or 74)
// with a the attribute's position in its table and t the table number.
struct SELECTITEMS {
  int distinct = 0;
  std::vector<int> attrib;
  std::vector<int> table;
  std::vector<int> function;
  std::vector<DBATTRIB*> attribs;  // the attribute of each item, or null
};

// Reads the body's select list and FROM list from the first token at
// tok->pos, resolves tables and items, and puts the FROM tables with their
// identifiers into `scope`. The token after the FROM list is current
// afterwards. On failure the error reply has been written.
[[nodiscard]] int SELECT_ReadLists(QUERYSTMT* stmt, QTOKENS* tok, SELECTITEMS* items,
                                   QUERYSCOPE* scope);

// 1 when every item is COUNT(*).
[[nodiscard]] int SELECT_OnlyCounts(const SELECTITEMS& items);
