// Tests of the SQL lexer: keywords, names, strings, numbers and refusals.
#include "client/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/types/tokens.h"

namespace {

struct Token {
  int ok;
  int kind;
  std::string text;
};

// Lexes `sql` to its end (kind '-') or its first failure.
std::vector<Token> LexAll(std::string sql) {
  std::vector<Token> tokens;
  LEXER lexer;
  LEX_Start(&lexer, sql.data(), nullptr);
  std::vector<char> text(LEX_TEXTSIZE);
  for (int guard = 0; guard < 100; ++guard) {
    int kind = 0;
    int ok = LEX_Next(&lexer, &kind, text.data());
    tokens.push_back({ok, kind, text.data()});
    if (!ok || kind == DBTK_NONE) break;
  }
  return tokens;
}

std::string Kinds(const std::vector<Token>& tokens) {
  std::string kinds;
  for (const Token& t : tokens) kinds += static_cast<char>(t.kind);
  return kinds;
}

TEST(LEX, ReadsKeywordsOperatorsAndNames) {
  struct Case {
    const char* sql;
    std::string kinds;  // every kind until the final '-'
  };
  const Case kCases[] = {
      {"select * from kaspo", "uWva-"},
      {"END", "x-"},
      {";", "x-"},
      {"( ) * , . ; = < <= <> > >=", "ABWEDxRNPSOQ-"},
      {"a<=b<>c>=d", "aPaSaQa-"},
      {"CREATE   UNIQUE \t\n INDEX", "n-"},
      {"create table x", "la-"},
      {"Create Index", "m-"},
      {"create database", "k-"},
      {"drop table drop index drop database", "pqo-"},
      {"delete   from insert into order\tby", "trH-"},
      {"TIMESTAMP TIME", "65-"},
      {"CHARACTER SMALLINT INTEGER FLOAT DATE BINARY", "01234\xA6-"},
      {"DATABASES", "\xF6-"},
      {"fetch secure stop static indices tables", "\xA7\xC4\xD6\xDF\xE4\xFC-"},
      {"and abort all asc begin between", "y(%[)Y-"},
      {"count commit cursor close", "C/Z&-"},
      {"declare desc database distinct exists", "$]}7L-"},
      {"for float fetch in index like min max", "!3\xA7M9VIJ-"},
      {"not null or on set save show values where update", "TFzjU{8Xws-"},
      {"select x", "ua-"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    std::vector<Token> tokens = LexAll(c.sql);
    EXPECT_EQ(Kinds(tokens), c.kinds);
    for (const Token& t : tokens) EXPECT_EQ(t.ok, 1);
  }
}

TEST(LEX, WordsThatAreNotKeywordsAreUpperCasedNames) {
  struct Case {
    const char* sql;
    const char* name;
  };
  const Case kCases[] = {
      {"a1_b", "A1_B"},           {"DATABASE_X", "DATABASE_X"}, {"times", "TIMES"},
      {"grant", "GRANT"},         {"by", "BY"},                 {"into", "INTO"},
      {"unique", "UNIQUE"},       {"group", "GROUP"},           {"selects", "SELECTS"},
      {"Index1", "INDEX1"},       {"ends", "ENDS"},             {"x_", "X_"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    std::vector<Token> tokens = LexAll(c.sql);
    ASSERT_EQ(Kinds(tokens), "a-");
    EXPECT_EQ(tokens[0].text, c.name);
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

TEST(LEX, RefusesUnfinishedTwoWordKeywords) {
  struct Case {
    const char* sql;
    const char* reason;
  };
  const Case kCases[] = {
      {"CREATE VIEW v", "CREATE"},         {"ORDER X", "ORDER"},
      {"create unique key", "CREATE UNIQUE"}, {"create unique", "CREATE UNIQUE"},
      {"DROP", "DROP"},                    {"delete x", "DELETE"},
      {"insert t", "INSERT"},              {"create tables", "CREATE"},
      {"order by1", "ORDER"},              {"create", "CREATE"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    std::vector<Token> tokens = LexAll(c.sql);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(tokens[0].ok, 0);
    EXPECT_EQ(tokens[0].kind, DBTK_NONE);
    EXPECT_EQ(tokens[0].text, c.reason);
  }
}

TEST(LEX, NamesHoldAtMost31Characters) {
  const std::string name31(31, 'q');
  std::vector<Token> ok = LexAll(name31 + " x");
  ASSERT_EQ(Kinds(ok), "aa-");
  EXPECT_EQ(ok[0].text, std::string(31, 'Q'));

  for (int length : {32, 33, 60}) {
    SCOPED_TRACE(length);
    std::vector<Token> refused = LexAll(std::string(length, 'n'));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].ok, 0);
    EXPECT_EQ(refused[0].kind, DBTK_NONE);
    EXPECT_EQ(refused[0].text, "Syntax error: name too long (" + std::string(32, 'N') + "...)");
  }
}

TEST(LEX, ReadsStringsWithBackslashEscapes) {
  struct Case {
    const char* sql;
    const char* value;
  };
  const Case kCases[] = {
      {"'it\\'s'", "it's"},  {"'abc", "abc"},       {"'a\\\\b'", "a\\b"},
      {"''", ""},            {"'Mixed Case;'", "Mixed Case;"},
      {"'\\q\\\"'", "q\""},  {"'x' 'y'", "x"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    std::vector<Token> tokens = LexAll(c.sql);
    ASSERT_GE(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].kind, DBTK_STRINGVAL);
    EXPECT_EQ(tokens[0].text, c.value);
  }
  EXPECT_EQ(Kinds(LexAll("'x' 'y'")), "ff-");
}

TEST(LEX, RefusesBrokenAndOverlongStrings) {
  std::vector<Token> unfinished = LexAll("'abc\\");
  ASSERT_EQ(unfinished.size(), 1u);
  EXPECT_EQ(unfinished[0].ok, 0);
  EXPECT_EQ(unfinished[0].text, "Syntax error: unexpected end of string (abc)");

  std::vector<Token> longest = LexAll("'" + std::string(9999, 's') + "'");
  ASSERT_EQ(Kinds(longest), "f-");
  EXPECT_EQ(longest[0].text.size(), 9999u);

  for (const std::string& sql : {"'" + std::string(10000, 's') + "'",
                                 "'" + std::string(9999, 's') + "\\s'",
                                 "'" + std::string(20000, 's')}) {
    std::vector<Token> refused = LexAll(sql);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].ok, 0);
    EXPECT_EQ(refused[0].text, "Syntax error: string too long (max = 10000)");
  }

  // The reason must fit the text buffer even when it quotes a long string.
  std::vector<Token> long_unfinished = LexAll("'" + std::string(9990, 'u') + "\\");
  ASSERT_EQ(long_unfinished.size(), 1u);
  EXPECT_EQ(long_unfinished[0].ok, 0);
  EXPECT_EQ(long_unfinished[0].text.size(), static_cast<size_t>(LEX_TEXTSIZE - 1));
  EXPECT_EQ(long_unfinished[0].text.rfind("Syntax error: unexpected end of string (uuu", 0), 0u);
}

TEST(LEX, ReadsNumbers) {
  struct Case {
    const char* sql;
    std::string kinds;
    const char* text;  // text of the first token
  };
  const Case kCases[] = {
      {"42", "d-", "42"},
      {"4.5", "e-", "4.5"},
      {"1E5", "e-", "1E5"},
      {"1e5", "e-", "1E5"},
      {"1.5e-3", "e-", "1.5E-3"},
      {"2E+8", "e-", "2E+8"},
      {"7.", "e-", "7."},
      {"2147483647", "d-", "2147483647"},
      {"2147483648", "e-", "2147483648"},
      {"9999999999", "e-", "9999999999"},
      {"-2147483648", "d-", "-2147483648"},
      {"-2147483649", "e-", "-2147483649"},
      {"00000000000000000042", "d-", "00000000000000000042"},
      {"-7", "d-", "-7"},
      {"- \t 7", "d-", "-7"},
      {"12.5.3", "eDd-", "12.5"},
      {"42abc", "da-", "42"},
      {"1e", "-", ""},
      {"1.5E+", "-", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    std::vector<Token> tokens = LexAll(c.sql);
    EXPECT_EQ(Kinds(tokens), c.kinds);
    EXPECT_EQ(tokens[0].ok, 1);
    EXPECT_EQ(tokens[0].text, c.text);
  }
}

// Where a '-' token leaves the position decides what the parser sees next.
TEST(LEX, UnknownInputYieldsNoneAtTheRightPosition) {
  struct Case {
    const char* sql;
    int pos_after;
  };
  const Case kCases[] = {
      {"#", 0},      {"  #", 2},     {"", 0},       {"\xE4x", 0},
      {"- x", 2},    {"-", 1},       {"1e x", 2},   {"1.5E+;", 5},
      {"\"q\"", 0},  {"!", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sql);
    std::string sql = c.sql;
    LEXER lexer;
    LEX_Start(&lexer, sql.data(), nullptr);
    std::vector<char> text(LEX_TEXTSIZE);
    int kind = 0;
    EXPECT_EQ(LEX_Next(&lexer, &kind, text.data()), 1);
    EXPECT_EQ(kind, DBTK_NONE);
    EXPECT_EQ(lexer.pos, c.pos_after);
  }
  EXPECT_EQ(Kinds(LexAll("- x")), "-");
  std::string rest = "- x";
  LEXER lexer;
  LEX_Start(&lexer, rest.data(), nullptr);
  std::vector<char> text(LEX_TEXTSIZE);
  int kind = 0;
  ASSERT_EQ(LEX_Next(&lexer, &kind, text.data()), 1);
  ASSERT_EQ(LEX_Next(&lexer, &kind, text.data()), 1);
  EXPECT_EQ(kind, DBTK_IDENT);
  EXPECT_STREQ(text.data(), "X");
}

TEST(LEX, RefusesNumbersLongerThanTheTextBuffer) {
  std::vector<Token> longest = LexAll(std::string(9999, '9'));
  ASSERT_EQ(Kinds(longest), "e-");
  EXPECT_EQ(longest[0].text.size(), 9999u);

  for (const std::string& sql : {std::string(10000, '1'), "-" + std::string(9999, '1'),
                                 "1." + std::string(12000, '5'), "1E" + std::string(9998, '2')}) {
    std::vector<Token> refused = LexAll(sql);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].ok, 0);
    EXPECT_EQ(refused[0].kind, DBTK_NONE);
    EXPECT_EQ(refused[0].text, "Syntax error: number too long (max = 10000)");
  }
}

// Syntax messages name kinds by the display table; every keyword kind must
// read back from its own display name.
TEST(LEX, DisplayNamesOfKeywordKindsLexToTheirKind) {
  const unsigned char kKinds[] = {
      DBTK_FOR, DBTK_DECLARE, DBTK_ALL, DBTK_CLOSE, DBTK_ABORT, DBTK_BEGIN, DBTK_COMMIT,
      DBTK_CHARACTER, DBTK_SMALLINT, DBTK_INTEGER, DBTK_FLOAT, DBTK_DATE, DBTK_TIME,
      DBTK_TIMESTAMP, DBTK_DISTINCT, DBTK_SHOW, DBTK_INDEX, DBTK_TABLE, DBTK_LPAREN,
      DBTK_RPAREN, DBTK_COUNT, DBTK_NULL, DBTK_MIN, DBTK_MAX, DBTK_EXISTS, DBTK_IN, DBTK_LT,
      DBTK_GT, DBTK_LE, DBTK_GE, DBTK_EQ, DBTK_NE, DBTK_NOT, DBTK_SET, DBTK_LIKE, DBTK_STAR,
      DBTK_VALUES, DBTK_BETWEEN, DBTK_CURSOR, DBTK_ASC, DBTK_DESC, DBTK_CREATE_DATABASE,
      DBTK_CREATE_TABLE, DBTK_CREATE_INDEX, DBTK_CREATE_UNIQUE_INDEX, DBTK_DROP_DATABASE,
      DBTK_DROP_TABLE, DBTK_DROP_INDEX, DBTK_INSERT_INTO, DBTK_UPDATE, DBTK_DELETE_FROM,
      DBTK_SELECT, DBTK_FROM, DBTK_WHERE, DBTK_END, DBTK_AND, DBTK_OR, DBTK_SAVE,
      DBTK_DATABASE, DBTK_FETCH, DBTK_SECURE, DBTK_STATIC, DBTK_INDICES, DBTK_DATABASES,
      DBTK_TABLES,
  };
  for (unsigned char kind : kKinds) {
    SCOPED_TRACE(DBTK_Name(kind));
    std::vector<Token> tokens = LexAll(DBTK_Name(kind));
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].kind, kind);
  }
}

TEST(LEX, ProcessWideStateStartsAndResets) {
  std::string sql = "select";
  char errbuf[8] = "";
  LEX_Start(LEX_Get(), sql.data(), errbuf);
  std::vector<char> text(LEX_TEXTSIZE);
  int kind = 0;
  ASSERT_EQ(LEX_Next(LEX_Get(), &kind, text.data()), 1);
  EXPECT_EQ(kind, DBTK_SELECT);
  EXPECT_EQ(LEX_Get()->pos, 6);
  EXPECT_EQ(LEX_Get()->errbuf, errbuf);
  LEX_ResetForTest();
  EXPECT_EQ(LEX_Get()->text, nullptr);
  EXPECT_EQ(LEX_Get()->pos, 0);
}

}  // namespace
