// Tests of the SQL lexer: keywords, names, strings, numbers and refusals.
#include "client/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/types/tokens.h"

namespace {

// Lexes `sql` and renders each token as its kind byte, followed by "(text)"
// when it has a text (strings always), blank-separated; ends with "-" at the end of the text
// or "FAIL(reason)" at a failure.
std::string Lex(std::string sql, int* pos_after = nullptr) {
  LEXER lexer;
  LEX_Start(&lexer, sql.data(), nullptr);
  std::vector<char> text(LEX_TEXTSIZE);
  std::string out;
  for (int guard = 0; guard < 100; ++guard) {
    int kind = 0;
    int ok = LEX_Next(&lexer, &kind, text.data());
    if (!out.empty()) out += ' ';
    if (!ok) {
      EXPECT_EQ(kind, DBTK_NONE);
      out += "FAIL(" + std::string(text.data()) + ")";
      break;
    }
    out += static_cast<char>(kind);
    if (text[0] != '\0' || kind == DBTK_STRINGVAL) out += "(" + std::string(text.data()) + ")";
    if (kind == DBTK_NONE) break;
  }
  if (pos_after != nullptr) *pos_after = lexer.pos;
  return out;
}

TEST(LEX, CutsTextIntoTokens) {
  struct Case {
    const char* sql;
    const char* tokens;
  };
  const Case kCases[] = {
      {"select * from kaspo", "u W v a(KASPO) -"},
      {"END ;", "x x -"},
      {"( ) * , . ; = < <= <> > >=", "A B W E D x R N P S O Q -"},
      {"a<=b<>c>=d", "a(A) P a(B) S a(C) Q a(D) -"},
      {"CREATE   UNIQUE \t\n INDEX i", "n a(I) -"},
      {"create table create index Create Database", "l m k -"},
      {"drop table drop index drop database", "p q o -"},
      {"delete   from insert into order\tby", "t r H -"},
      {"on binary stop", "j \xA6 \xD6 -"},
      {"TIMESTAMP TIME times", "6 5 a(TIMES) -"},
      {"DATABASES DATABASE_X database1", "\xF6 a(DATABASE_X) a(DATABASE1) -"},
      {"a1_b grant by into unique group x_",
       "a(A1_B) a(GRANT) a(BY) a(INTO) a(UNIQUE) a(GROUP) a(X_) -"},
      {"'it\\'s' 'a\\\\b' '' 'Mixed Case;' '\\q'", "f(it's) f(a\\b) f() f(Mixed Case;) f(q) -"},
      {"'abc", "f(abc) -"},
      {"42 4.5 1E5 1e5 1.5e-3 2E+8 7.", "d(42) e(4.5) e(1E5) e(1E5) e(1.5E-3) e(2E+8) e(7.) -"},
      {"2147483647 2147483648 9999999999 -2147483648 -2147483649 0000000042",
       "d(2147483647) e(2147483648) e(9999999999) d(-2147483648) e(-2147483649) d(0000000042) -"},
      {"-7 - \t 7 12.5.3 42abc", "d(-7) d(-7) e(12.5) D d(3) d(42) a(ABC) -"},
      {"1e", "-"},
      {"1.5E+", "-"},
      {"x # y", "a(X) -"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(Lex(c.sql), c.tokens);
  }
}

TEST(LEX, RefusesUnfinishedKeywordsBrokenStringsAndLongTexts) {
  struct Case {
    std::string sql;
    std::string tokens;
  };
  const std::string too_long_string = "FAIL(Syntax error: string too long (max = 10000))";
  const std::string too_long_number = "FAIL(Syntax error: number too long (max = 10000))";
  const Case kCases[] = {
      {"CREATE VIEW v", "FAIL(CREATE)"},
      {"x ORDER X", "a(X) FAIL(ORDER)"},
      {"create unique key", "FAIL(CREATE UNIQUE)"},
      {"create unique", "FAIL(CREATE UNIQUE)"},
      {"DROP", "FAIL(DROP)"},
      {"delete x", "FAIL(DELETE)"},
      {"insert t", "FAIL(INSERT)"},
      {"create tables", "FAIL(CREATE)"},
      {"order by1", "FAIL(ORDER)"},
      {std::string(31, 'q'), "a(" + std::string(31, 'Q') + ") -"},
      {std::string(32, 'n'), "FAIL(Syntax error: name too long (" + std::string(32, 'N') + "...))"},
      {std::string(60, 'n'), "FAIL(Syntax error: name too long (" + std::string(32, 'N') + "...))"},
      {"'abc\\", "FAIL(Syntax error: unexpected end of string (abc))"},
      {"'" + std::string(10000, 's') + "'", too_long_string},
      {"'" + std::string(9999, 's') + "\\s'", too_long_string},
      {std::string(10000, '1'), too_long_number},
      {"-" + std::string(9999, '1'), too_long_number},
      {"1." + std::string(12000, '5'), too_long_number},
      {"1E" + std::string(9998, '2'), too_long_number},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql.substr(0, 40));
    EXPECT_EQ(Lex(c.sql), c.tokens);
  }
  // The longest string and number still fit the text buffer.
  EXPECT_EQ(Lex("'" + std::string(9999, 's') + "'"), "f(" + std::string(9999, 's') + ") -");
  EXPECT_EQ(Lex(std::string(9999, '9')), "e(" + std::string(9999, '9') + ") -");
  // A reason that quotes a long string is cut to the text buffer.
  std::string reason = Lex("'" + std::string(9990, 'u') + "\\");
  EXPECT_EQ(reason.size(), std::string("FAIL()").size() + LEX_TEXTSIZE - 1);
  EXPECT_EQ(reason.rfind("FAIL(Syntax error: unexpected end of string (uuu", 0), 0u);
}

// Where a '-' token leaves the position decides what the parser sees next.
TEST(LEX, NothingRecognisableLeavesThePositionOrConsumesTheMinus) {
  struct Case {
    const char* sql;
    int pos_after;
  };
  const Case kCases[] = {
      {"#", 0}, {"  #", 2}, {"", 0},    {"\xE4x", 0}, {"- x", 2},
      {"-", 1}, {"!", 0},   {"\"q", 0}, {"1e x", 2},  {"1.5E+;", 5},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    int pos = -1;
    EXPECT_EQ(Lex(c.sql, &pos), "-");
    EXPECT_EQ(pos, c.pos_after);
  }
}

TEST(LEX, UpperCasesOnlyTheLeadingLetterRunInPlace) {
  std::string sql = "select a1_b from tab where x = 'abc'";
  LEXER lexer;
  LEX_Start(&lexer, sql.data(), nullptr);
  std::vector<char> text(LEX_TEXTSIZE);
  int kind = 0;
  while (LEX_Next(&lexer, &kind, text.data()) && kind != DBTK_NONE) {
  }
  EXPECT_EQ(sql, "SELECT A1_b FROM TAB WHERE X = 'abc'");
}

// Syntax messages name kinds by the display table; every keyword kind must
// read back from its own display name.
TEST(LEX, DisplayNamesOfKeywordKindsLexToTheirKind) {
  const unsigned char kKinds[] = {
      DBTK_FOR,
      DBTK_DECLARE,
      DBTK_ALL,
      DBTK_CLOSE,
      DBTK_ABORT,
      DBTK_BEGIN,
      DBTK_COMMIT,
      DBTK_CHARACTER,
      DBTK_SMALLINT,
      DBTK_INTEGER,
      DBTK_FLOAT,
      DBTK_DATE,
      DBTK_TIME,
      DBTK_TIMESTAMP,
      DBTK_DISTINCT,
      DBTK_SHOW,
      DBTK_INDEX,
      DBTK_TABLE,
      DBTK_LPAREN,
      DBTK_RPAREN,
      DBTK_COUNT,
      DBTK_NULL,
      DBTK_MIN,
      DBTK_MAX,
      DBTK_EXISTS,
      DBTK_IN,
      DBTK_LT,
      DBTK_GT,
      DBTK_LE,
      DBTK_GE,
      DBTK_EQ,
      DBTK_NE,
      DBTK_NOT,
      DBTK_SET,
      DBTK_LIKE,
      DBTK_STAR,
      DBTK_VALUES,
      DBTK_BETWEEN,
      DBTK_CURSOR,
      DBTK_ASC,
      DBTK_DESC,
      DBTK_CREATE_DATABASE,
      DBTK_CREATE_TABLE,
      DBTK_CREATE_INDEX,
      DBTK_CREATE_UNIQUE_INDEX,
      DBTK_DROP_DATABASE,
      DBTK_DROP_TABLE,
      DBTK_DROP_INDEX,
      DBTK_INSERT_INTO,
      DBTK_UPDATE,
      DBTK_DELETE_FROM,
      DBTK_SELECT,
      DBTK_FROM,
      DBTK_WHERE,
      DBTK_END,
      DBTK_AND,
      DBTK_OR,
      DBTK_SAVE,
      DBTK_DATABASE,
      DBTK_FETCH,
      DBTK_SECURE,
      DBTK_STATIC,
      DBTK_INDICES,
      DBTK_DATABASES,
      DBTK_TABLES,
  };
  for (unsigned char kind : kKinds) {
    SCOPED_TRACE(DBTK_Name(kind));
    EXPECT_EQ(Lex(DBTK_Name(kind)), std::string(1, static_cast<char>(kind)) + " -");
  }
}

}  // namespace
