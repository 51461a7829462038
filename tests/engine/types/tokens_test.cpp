// Tests of the token display names used by the syntax messages.
#include "engine/types/tokens.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DBTK, NamesEveryKindAsTheMessagesShowIt) {
  struct Case {
    int kind;
    const char* name;
  };
  const Case kCases[] = {
      {DBTK_FOR, "FOR"},
      {DBTK_NONE, "<unknown token>"},
      {DBTK_CHARACTER, "CHARACTER"},
      {DBTK_TIMESTAMP, "TIMESTAMP"},
      {DBTK_SELECT_EXISTS, "SELECT EXISTS"},
      {DBTK_DOT, "DOT"},
      {DBTK_COMMA, "COMMA"},
      {DBTK_ORDER_BY, "<unknown token>"},
      {DBTK_NE, "<>"},
      {DBTK_STAR, "*"},
      {DBTK_IDENT, "<identifier value>"},
      {DBTK_ERROR, "Fehlermeldung"},
      {DBTK_SMALLINTVAL, "<smallint value>"},
      {DBTK_RowList, "<result value>"},
      {DBTK_BOOLVAL, "<bool value>"},
      {DBTK_ON, "<unknown token>"},
      {DBTK_CREATE_UNIQUE_INDEX, "CREATE UNIQUE INDEX"},
      {DBTK_END, ";"},
      {DBTK_BINARY, "<unknown token>"},
      {DBTK_FETCH, "FETCH"},
      {DBTK_STOP, "<unknown token>"},
      {DBTK_TABLES, "TABLES"},
      {'g', "<unknown token>"},
      {'#', "<unknown token>"},
      {0, "<unknown token>"},
      {255, "<unknown token>"},
      {256 + 'a', "<unknown token>"},
      {-1000, "<unknown token>"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.kind);
    EXPECT_STREQ(DBTK_Name(c.kind), c.name);
  }
}

// Kinds above 127 often travel in plain chars; the name must not depend on
// the signedness of the variable that carried the byte.
TEST(DBTK, NamesHighKindsFromSignedChars) {
  for (unsigned char kind : {DBTK_FETCH, DBTK_SECURE, DBTK_STATIC, DBTK_INDICES, DBTK_DATABASES,
                             DBTK_TABLES}) {
    signed char as_signed = static_cast<signed char>(kind);
    EXPECT_STREQ(DBTK_Name(as_signed), DBTK_Name(kind));
    EXPECT_NE(std::string(DBTK_Name(kind)), "<unknown token>");
  }
}

}  // namespace
