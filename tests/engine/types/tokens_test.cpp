// Tests of the token display names used by the syntax messages.
#include "engine/types/tokens.h"

#include <gtest/gtest.h>

namespace {

TEST(DBTK, NamesKindsAsTheMessagesShowThem) {
  struct Case {
    int kind;
    const char* name;
  };
  const Case kCases[] = {
      {DBTK_NONE, "<unknown token>"},
      {DBTK_SELECT_EXISTS, "SELECT EXISTS"},
      {DBTK_DOT, "DOT"},
      {DBTK_ORDER_BY, "<unknown token>"},
      {DBTK_NE, "<>"},
      {DBTK_IDENT, "<identifier value>"},
      {DBTK_ERROR, "Fehlermeldung"},
      {DBTK_SMALLINTVAL, "<smallint value>"},
      {DBTK_RowList, "<result value>"},
      {DBTK_BOOLVAL, "<bool value>"},
      {DBTK_ON, "<unknown token>"},
      {DBTK_END, ";"},
      {DBTK_BINARY, "<unknown token>"},
      {DBTK_STOP, "<unknown token>"},
      {DBTK_TABLES, "TABLES"},
      {'g', "<unknown token>"},
      {0, "<unknown token>"},
      {256 + 'a', "<unknown token>"},
      // Kinds above 127 read through a plain char arrive negative.
      {static_cast<signed char>(DBTK_FETCH), "FETCH"},
      {static_cast<signed char>(DBTK_DATABASES), "DATABASES"},
      {-1000, "<unknown token>"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.kind);
    EXPECT_STREQ(DBTK_Name(c.kind), c.name);
  }
}

}  // namespace
