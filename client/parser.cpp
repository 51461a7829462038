// parser.cpp: the statement parser, a recursive descent that writes the
// command message while it reads.
#include "client/parser.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "client/lexer.h"
#include "client/message.h"
#include "engine/types/tokens.h"

namespace {

constexpr char kNotKnown1[] = "(DBexec) Syntax error: SQL-command ";
constexpr char kNotKnown2[] = " not known";
constexpr char kEndOfFile1[] = "Unexpected end of file at '";
constexpr char kEndOfFile2[] = "'";
constexpr char kEndForm1[] = "Unexpected end of query (expected ";
constexpr char kEndForm2[] = ")";
constexpr char kSyntax1[] = "Syntax error: ";
constexpr char kExpected2[] = " expected (found ";
constexpr char kExpected3[] = ")";
constexpr char kFound2[] = " expected (found '";
constexpr char kFound3[] = "')";
constexpr char kInsertCount[] = "(INSERT) attributes (%d) do not match values (%d)";
constexpr char kNegativeMax[] = "MAX: negative result row maximum";
constexpr char kBadLength[] = "Syntax error: length 1..%d expected (found %d)";

// Largest CHARACTER or BINARY length: a BINARY value carries its length in
// a signed 16-bit field, and a cell's length on the wire is 16 bits.
constexpr int kMaxColumnLength = 32767;

// The parse of one statement, with the lexer that reads it.
struct PARSER {
  LEXER lexer;
  int kind = DBTK_NONE;  // the current token
  // Its text. Left uninitialised: the lexer writes every token's text, and
  // clearing 10,000 bytes for each statement cost more than parsing it.
  std::array<char, LEX_TEXTSIZE> text;
  std::string* error = nullptr;  // may be null: the message is discarded
};

const char* Text(const PARSER* p) { return p->text.data(); }

std::string Name(int kind) { return DBTK_Name(kind); }

int Fail(PARSER* p, const std::string& message) {
  if (p->error) *p->error = message;
  return 0;
}

// Reads the next token where any token would do.
[[nodiscard]] int Next(PARSER* p, const char* what) {
  if (LEX_Next(&p->lexer, &p->kind, p->text.data())) return 1;
  return Fail(p, std::string(kEndForm1) + what + kEndForm2);
}

// Reads the next token, which must be of `kind`.
[[nodiscard]] int Expect(PARSER* p, int kind) {
  if (!LEX_Next(&p->lexer, &p->kind, p->text.data()))
    return Fail(p, std::string(kEndOfFile1) + Text(p) + kEndOfFile2);
  if (p->kind == kind) return 1;
  return Fail(p, kSyntax1 + Name(kind) + kExpected2 + Name(p->kind) + kExpected3);
}

// Refuses the current token where `what` was due.
int Found(PARSER* p, const char* what) {
  return Fail(p, kSyntax1 + std::string(what) + kFound2 + Name(p->kind) + kFound3);
}

void WriteText(unsigned char kind, const PARSER* p) { DBquery_addtokstring(kind, Text(p)); }

// Reads a name and writes it as an 'a' token.
[[nodiscard]] int NameToken(PARSER* p) {
  if (!Expect(p, DBTK_IDENT)) return 0;
  WriteText(DBTK_IDENT, p);
  return 1;
}

bool IsLiteral(int kind) {
  return kind == DBTK_STRINGVAL || kind == DBTK_INTVAL || kind == DBTK_FLOATVAL;
}

// The lexer gives 'd' only to texts that fit 32 bits.
int32_t IntValue(const PARSER* p) {
  return static_cast<int32_t>(std::strtol(Text(p), nullptr, 10));
}

void WriteLiteral(const PARSER* p) {
  if (p->kind == DBTK_STRINGVAL) {
    WriteText(DBTK_STRINGVAL, p);
  } else if (p->kind == DBTK_INTVAL) {
    DBquery_addtokint(DBTK_INTVAL, IntValue(p));
  } else {
    DBquery_addtokfloat(DBTK_FLOATVAL, std::strtod(Text(p), nullptr));
  }
}

// A literal is due as the current token.
[[nodiscard]] int Literal(PARSER* p, const char* what) {
  if (!IsLiteral(p->kind)) return Found(p, what);
  WriteLiteral(p);
  return 1;
}

[[nodiscard]] int SelectBody(PARSER* p);
[[nodiscard]] int Condition(PARSER* p);

// ---------------------------------------------------------------------------
// WHERE conditions, written in postfix

// operand: col | t.col | literal. Leaves the token after it current.
[[nodiscard]] int Operand(PARSER* p) {
  if (IsLiteral(p->kind)) {
    WriteLiteral(p);
    return Next(p, "query-end");
  }
  if (p->kind != DBTK_IDENT) return Found(p, "expr-value");
  const std::string first = Text(p);
  if (!Next(p, "query-end")) return 0;
  if (p->kind != DBTK_DOT) {
    DBquery_addtokstring(DBTK_IDENT, first.c_str());
    return 1;
  }
  if (!Expect(p, DBTK_IDENT)) return 0;
  DBquery_addtok(DBTK_DOT);
  DBquery_addtokstring(DBTK_IDENT, first.c_str());
  WriteText(DBTK_IDENT, p);
  return Next(p, "query-end");
}

// "( SELECT body )" after the "(" was read: writes 'u' body, reads past ")".
[[nodiscard]] int Subselect(PARSER* p) {
  if (!Expect(p, DBTK_SELECT)) return 0;
  DBquery_addtok(DBTK_SELECT);
  if (!SelectBody(p)) return 0;
  if (p->kind != DBTK_RPAREN) return Found(p, "')'");
  return Next(p, "query-end");
}

[[nodiscard]] int Comparison(PARSER* p) {
  const int op = p->kind;
  if (!Next(p, "value")) return 0;
  if (p->kind == DBTK_LPAREN) {
    if (!Subselect(p)) return 0;
  } else if (!Operand(p)) {
    return 0;
  }
  DBquery_addtok(static_cast<unsigned char>(op));
  return 1;
}

// IN ( SELECT body ) or IN ( v {, v} ).
[[nodiscard]] int InList(PARSER* p) {
  if (!Expect(p, DBTK_LPAREN)) return 0;
  if (!Next(p, "const value")) return 0;
  int count = 0;
  if (p->kind == DBTK_SELECT) {
    DBquery_addtok(DBTK_SELECT);
    if (!SelectBody(p)) return 0;
    count = 1;
  } else {
    for (;;) {
      if (!Literal(p, "expr-value")) return 0;
      ++count;
      if (!Next(p, "')'")) return 0;
      if (p->kind != DBTK_COMMA) break;
      if (!Next(p, "const value")) return 0;
    }
  }
  if (p->kind != DBTK_RPAREN) return Found(p, "')'");
  DBquery_addtokint(DBTK_INTVAL, count);
  DBquery_addtok(DBTK_IN);
  return Next(p, "query-end");
}

[[nodiscard]] int Between(PARSER* p) {
  if (!Next(p, "const value") || !Literal(p, "expr-value")) return 0;
  if (!Next(p, "'AND'")) return 0;
  if (p->kind != DBTK_AND) return Found(p, "'AND'");
  if (!Next(p, "const value") || !Literal(p, "expr-value")) return 0;
  DBquery_addtok(DBTK_BETWEEN);
  return Next(p, "query-end");
}

[[nodiscard]] int Predicate(PARSER* p) {
  if (!Operand(p)) return 0;
  switch (p->kind) {
    case DBTK_LT:
    case DBTK_GT:
    case DBTK_LE:
    case DBTK_GE:
    case DBTK_EQ:
    case DBTK_NE:
    case DBTK_LIKE: return Comparison(p);
    case DBTK_IN: return InList(p);
    case DBTK_BETWEEN: return Between(p);
    default: return 1;  // the operand stands alone
  }
}

// "( condition )", or a bare select body in its place.
[[nodiscard]] int Parenthesised(PARSER* p) {
  if (!Next(p, "expression")) return 0;
  if (p->kind == DBTK_SELECT) {
    if (!SelectBody(p)) return 0;
  } else if (!Condition(p)) {
    return 0;
  }
  if (p->kind != DBTK_RPAREN) return Found(p, "')'");
  return Next(p, "query-end");
}

[[nodiscard]] int Exists(PARSER* p) {
  if (!Expect(p, DBTK_LPAREN) || !Expect(p, DBTK_SELECT)) return 0;
  DBquery_addtok(DBTK_SELECT_EXISTS);
  if (!SelectBody(p)) return 0;
  DBquery_addtok(DBTK_EXISTS);
  if (p->kind != DBTK_RPAREN) return Found(p, "')'");
  return Next(p, "query-end");
}

[[nodiscard]] int Element(PARSER* p) {
  const bool negated = p->kind == DBTK_NOT;
  if (negated && !Next(p, "element")) return 0;
  int ok;
  if (p->kind == DBTK_LPAREN) {
    ok = Parenthesised(p);
  } else if (p->kind == DBTK_EXISTS) {
    ok = Exists(p);
  } else if (p->kind == DBTK_IDENT || IsLiteral(p->kind)) {
    ok = Predicate(p);
  } else {
    ok = Found(p, "expr-element");
  }
  if (ok && negated) DBquery_addtok(DBTK_NOT);
  return ok;
}

[[nodiscard]] int Term(PARSER* p) {
  if (!Element(p)) return 0;
  while (p->kind == DBTK_AND) {
    if (!Next(p, "element") || !Element(p)) return 0;
    DBquery_addtok(DBTK_AND);
  }
  return 1;
}

int Condition(PARSER* p) {
  if (!Term(p)) return 0;
  while (p->kind == DBTK_OR) {
    if (!Next(p, "expression") || !Term(p)) return 0;
    DBquery_addtok(DBTK_OR);
  }
  return 1;
}

// The current token is WHERE.
[[nodiscard]] int Where(PARSER* p) {
  DBquery_addtok(DBTK_WHERE);
  if (!Next(p, "expression") || !Condition(p)) return 0;
  DBquery_addtok(DBTK_WHERE);
  return 1;
}

// ---------------------------------------------------------------------------
// Select body

// MIN(col) or MIN(t.col); the current token is MIN or MAX.
[[nodiscard]] int MinMax(PARSER* p) {
  const unsigned char fn = static_cast<unsigned char>(p->kind);
  if (!Expect(p, DBTK_LPAREN) || !Expect(p, DBTK_IDENT)) return 0;
  const std::string first = Text(p);
  if (!Next(p, "')'")) return 0;
  DBquery_addtok(fn);
  if (p->kind == DBTK_DOT) {
    if (!Expect(p, DBTK_IDENT)) return 0;
    DBquery_addtokstring(DBTK_STRINGVAL, first.c_str());
    WriteText(DBTK_IDENT, p);
    if (!Next(p, "')'")) return 0;
  } else {
    DBquery_addtokstring(DBTK_IDENT, first.c_str());
  }
  if (p->kind != DBTK_RPAREN) return Found(p, "')'");
  return Next(p, "FROM");
}

// col, t.col or t.*; the current token is the name.
[[nodiscard]] int ColumnItem(PARSER* p) {
  const std::string first = Text(p);
  if (!Next(p, "FROM")) return 0;
  if (p->kind != DBTK_DOT) {
    DBquery_addtokstring(DBTK_IDENT, first.c_str());
    return 1;
  }
  if (!Next(p, "attrib-name")) return 0;
  if (p->kind != DBTK_STAR && p->kind != DBTK_IDENT) return Found(p, "attrib-name");
  DBquery_addtokstring(DBTK_STRINGVAL, first.c_str());
  if (p->kind == DBTK_STAR) {
    DBquery_addtok(DBTK_STAR);
  } else {
    WriteText(DBTK_IDENT, p);
  }
  return Next(p, "FROM");
}

// One item; leaves the token after it current.
[[nodiscard]] int Item(PARSER* p) {
  switch (p->kind) {
    case DBTK_STAR: DBquery_addtok(DBTK_STAR); return Next(p, "FROM");
    case DBTK_COUNT:
      if (!Expect(p, DBTK_LPAREN) || !Expect(p, DBTK_STAR) || !Expect(p, DBTK_RPAREN)) return 0;
      DBquery_addtok(DBTK_COUNT);
      return Next(p, "FROM");
    case DBTK_MIN:
    case DBTK_MAX: return MinMax(p);
    case DBTK_IDENT: return ColumnItem(p);
    default: return Found(p, "attrib-name");
  }
}

[[nodiscard]] int Items(PARSER* p) {
  if (!Next(p, "attrib-list")) return 0;
  if (p->kind == DBTK_DISTINCT) {
    DBquery_addtok(DBTK_DISTINCT);
    if (!Next(p, "attrib-list")) return 0;
  }
  for (;;) {
    if (!Item(p)) return 0;
    if (p->kind != DBTK_COMMA) return 1;
    if (!Next(p, "attrib-list")) return 0;
  }
}

[[nodiscard]] int Tables(PARSER* p) {
  for (;;) {
    if (!Next(p, "table-list")) return 0;
    if (p->kind != DBTK_IDENT) return Found(p, "table-name");
    WriteText(DBTK_IDENT, p);
    if (!Next(p, "query-end")) return 0;
    if (p->kind == DBTK_IDENT) {
      WriteText(DBTK_STRINGVAL, p);
      if (!Next(p, "query-end")) return 0;
    }
    if (p->kind != DBTK_COMMA) return 1;
  }
}

// ORDER BY; the current token is ORDER BY.
[[nodiscard]] int OrderBy(PARSER* p) {
  DBquery_addtok(DBTK_ORDER_BY);
  for (;;) {
    if (!Next(p, "attrib-name")) return 0;
    if (p->kind != DBTK_IDENT) return Found(p, "attrib-name");
    if (!Operand(p)) return 0;
    if (p->kind == DBTK_ASC && !Next(p, "query-end")) return 0;
    if (p->kind == DBTK_DESC) {
      DBquery_addtok(DBTK_DESC);
      if (!Next(p, "query-end")) return 0;
    }
    if (p->kind != DBTK_COMMA) break;
  }
  DBquery_addtok(DBTK_ORDER_BY);
  return 1;
}

// The select body after SELECT; ends at the first token it does not take,
// which the caller checks.
int SelectBody(PARSER* p) {
  if (!Items(p)) return 0;
  if (p->kind != DBTK_FROM) return Found(p, "FROM");
  DBquery_addtok(DBTK_FROM);
  if (!Tables(p)) return 0;
  if (p->kind == DBTK_WHERE && !Where(p)) return 0;
  if (p->kind == DBTK_ORDER_BY && !OrderBy(p)) return 0;
  return 1;
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Statements. Each starts with its first token consumed and leaves current
// the token that must end the statement.

void Cmd(char letter) { DBquery_addcmd(letter); }

[[nodiscard]] int CreateDatabase(PARSER* p) {
  Cmd('3');
  return NameToken(p) && Next(p, "query-end");
}

[[nodiscard]] int DropDatabase(PARSER* p) {
  Cmd('4');
  return Next(p, "query-end");
}

[[nodiscard]] int NameStatement(PARSER* p, char letter) {
  Cmd(letter);
  return NameToken(p) && Next(p, "query-end");
}

bool IsType(int kind) {
  return (kind >= DBTK_CHARACTER && kind <= DBTK_TIMESTAMP) || kind == DBTK_BINARY;
}

// "( n )" after CHARACTER or BINARY.
[[nodiscard]] int ColumnLength(PARSER* p) {
  if (!Expect(p, DBTK_LPAREN) || !Expect(p, DBTK_INTVAL)) return 0;
  const int32_t n = IntValue(p);
  // A length below 1 or beyond the 16-bit length fields makes rows the
  // engine cannot hold, so it is refused here.
  if (n < 1 || n > kMaxColumnLength) {
    char buf[sizeof kBadLength + 32];
    std::snprintf(buf, sizeof buf, kBadLength, kMaxColumnLength, n);
    return Fail(p, buf);
  }
  DBquery_addtokint(DBTK_INTVAL, n);
  return Expect(p, DBTK_RPAREN);
}

// One "col type [NOT NULL]"; leaves the token after it current.
[[nodiscard]] int ColumnDefinition(PARSER* p) {
  if (!Next(p, "attribute")) return 0;
  if (p->kind != DBTK_IDENT) return Found(p, "attrib-name");
  WriteText(DBTK_IDENT, p);
  if (!Next(p, "datatype")) return 0;
  if (!IsType(p->kind)) return Found(p, "datatype");
  const int type = p->kind;
  DBquery_addtok(static_cast<unsigned char>(type));
  if ((type == DBTK_CHARACTER || type == DBTK_BINARY) && !ColumnLength(p)) return 0;
  if (!Next(p, "')'")) return 0;
  if (p->kind != DBTK_NOT) return 1;
  if (!Expect(p, DBTK_NULL)) return 0;
  DBquery_addtok(DBTK_NULL);
  return Next(p, "')'");
}

[[nodiscard]] int CreateTable(PARSER* p) {
  Cmd('5');
  if (!NameToken(p) || !Expect(p, DBTK_LPAREN)) return 0;
  for (;;) {
    if (!ColumnDefinition(p)) return 0;
    if (p->kind == DBTK_RPAREN) return Next(p, "query-end");
    if (p->kind != DBTK_COMMA) return Found(p, "')'");
  }
}

// "( col {, col} )" of CREATE INDEX; counts the columns into *count.
[[nodiscard]] int ColumnList(PARSER* p, int* count) {
  *count = 0;
  for (;;) {
    if (!Next(p, "attribute")) return 0;
    if (p->kind != DBTK_IDENT) return Found(p, "attrib-name");
    WriteText(DBTK_IDENT, p);
    ++*count;
    if (!Next(p, "')'")) return 0;
    if (p->kind == DBTK_RPAREN) return 1;
    if (p->kind != DBTK_COMMA) return Found(p, "')'");
  }
}

[[nodiscard]] int CreateIndex(PARSER* p, char letter) {
  Cmd(letter);
  int count;
  if (!NameToken(p) || !Expect(p, DBTK_ON) || !NameToken(p) || !Expect(p, DBTK_LPAREN) ||
      !ColumnList(p, &count))
    return 0;
  return Next(p, "query-end");
}

// "( v {, v} )" of INSERT, after VALUES; counts the values into *count.
[[nodiscard]] int ValueList(PARSER* p, int* count) {
  if (!Expect(p, DBTK_LPAREN)) return 0;
  *count = 0;
  for (;;) {
    if (!Next(p, "<value>") || !Literal(p, "<value>")) return 0;
    ++*count;
    if (!Next(p, "')'")) return 0;
    if (p->kind == DBTK_RPAREN) return 1;
    if (p->kind != DBTK_COMMA) return Found(p, "')'");
  }
}

[[nodiscard]] int Insert(PARSER* p) {
  Cmd('E');
  if (!NameToken(p) || !Next(p, "VALUES")) return 0;
  int columns = 0;
  if (p->kind == DBTK_LPAREN) {
    if (!ColumnList(p, &columns) || !Next(p, "VALUES")) return 0;
  }
  if (p->kind != DBTK_VALUES) {
    return Fail(p, kSyntax1 + Name(DBTK_VALUES) + kExpected2 + Name(p->kind) + kExpected3);
  }
  DBquery_addtok(DBTK_VALUES);
  int values;
  if (!ValueList(p, &values)) return 0;
  if (columns > 0 && columns != values) {
    char buf[sizeof kInsertCount + 32];
    std::snprintf(buf, sizeof buf, kInsertCount, columns, values);
    return Fail(p, buf);
  }
  return Next(p, "query-end");
}

[[nodiscard]] int Delete(PARSER* p) {
  Cmd('G');
  if (!NameToken(p) || !Next(p, "WHERE")) return 0;
  return p->kind != DBTK_WHERE || Where(p);
}

[[nodiscard]] int Update(PARSER* p) {
  Cmd('I');
  if (!NameToken(p) || !Expect(p, DBTK_SET)) return 0;
  do {
    if (!Next(p, "attribute")) return 0;
    if (p->kind != DBTK_IDENT) return Found(p, "attrib-name");
    WriteText(DBTK_IDENT, p);
    if (!Expect(p, DBTK_EQ)) return 0;
    if (!Next(p, "<value>") || !Literal(p, "<value>")) return 0;
    if (!Next(p, "WHERE")) return 0;
  } while (p->kind == DBTK_COMMA);
  if (p->kind == DBTK_WHERE && !Where(p)) return 0;
  if (p->kind != DBTK_END) return Found(p, "';'");
  return 1;
}

[[nodiscard]] int Declare(PARSER* p) {
  Cmd('N');
  return NameToken(p) && Expect(p, DBTK_CURSOR) && Expect(p, DBTK_FOR) && Expect(p, DBTK_SELECT) &&
         SelectBody(p);
}

[[nodiscard]] int Select(PARSER* p) {
  Cmd('C');
  return SelectBody(p);
}

// FETCH ALL IN k, or FETCH w k with any single token w.
[[nodiscard]] int Fetch(PARSER* p) {
  Cmd('O');
  if (!Next(p, "IN")) return 0;
  if (p->kind == DBTK_ALL) {
    DBquery_addtok(DBTK_ALL);
    if (!Expect(p, DBTK_IN)) return 0;
  }
  return NameToken(p) && Next(p, "query-end");
}

[[nodiscard]] int Set(PARSER* p) {
  if (!Next(p, "TABLE")) return 0;
  if (p->kind == DBTK_DATABASE) {
    if (!Expect(p, DBTK_IDENT)) return 0;
    Cmd('X');
    WriteText(DBTK_IDENT, p);
    return Next(p, "query-end");
  }
  if (p->kind != DBTK_TABLE) return Found(p, "TABLE");
  if (!Expect(p, DBTK_IDENT)) return 0;
  const std::string table = Text(p);
  if (!Next(p, "STATIC")) return 0;
  if (p->kind != DBTK_STATIC && p->kind != DBTK_SECURE) return Found(p, "STATIC");
  Cmd(p->kind == DBTK_STATIC ? 'Q' : 'U');
  DBquery_addtokstring(DBTK_IDENT, table.c_str());
  return Next(p, "query-end");
}

[[nodiscard]] int Save(PARSER* p) {
  if (!Expect(p, DBTK_DATABASE)) return 0;
  Cmd('R');
  return Next(p, "query-end");
}

// SHOW INDICES [ON TABLE t]; the current token is INDICES.
[[nodiscard]] int ShowIndices(PARSER* p) {
  if (!Next(p, "query-end")) return 0;
  if (p->kind != DBTK_ON) {
    DBquery_addtok(DBTK_INDICES);
    return 1;
  }
  if (!Expect(p, DBTK_TABLE)) return 0;
  DBquery_addtok(DBTK_TABLE);
  DBquery_addtok(DBTK_INDICES);
  return NameToken(p) && Next(p, "query-end");
}

[[nodiscard]] int Show(PARSER* p) {
  Cmd('S');
  if (!Next(p, "SHOW")) return 0;
  switch (p->kind) {
    case DBTK_DATABASES:
    case DBTK_TABLES:
      DBquery_addtok(static_cast<unsigned char>(p->kind));
      return Next(p, "query-end");
    case DBTK_INDICES: return ShowIndices(p);
    case DBTK_TABLE:
    case DBTK_INDEX:
      DBquery_addtok(static_cast<unsigned char>(p->kind));
      return NameToken(p) && Next(p, "query-end");
    default: return Found(p, "SHOW");
  }
}

[[nodiscard]] int Max(PARSER* p) {
  Cmd('T');
  if (!Next(p, "<max-results>")) return 0;
  if (p->kind != DBTK_INTVAL) {
    DBquery_addtok(DBTK_NULL);
    return 1;
  }
  const int32_t n = IntValue(p);
  if (n < 0) return Found(p, kNegativeMax);
  DBquery_addtokint(DBTK_INTVAL, n);
  return Next(p, "query-end");
}

[[nodiscard]] int Simple(PARSER* p, char letter) {
  Cmd(letter);
  return Next(p, "query-end");
}

// Runs the statement that `kind` starts. *known is false when it starts
// none; *writes_end tells whether the message ends with 'x'.
[[nodiscard]] int Statement(PARSER* p, bool* known, bool* writes_end) {
  *known = true;
  *writes_end = false;
  switch (p->kind) {
    case DBTK_CREATE_DATABASE: return CreateDatabase(p);
    case DBTK_DROP_DATABASE: return DropDatabase(p);
    case DBTK_DROP_TABLE: return NameStatement(p, '6');
    case DBTK_DROP_INDEX: return NameStatement(p, '9');
    case DBTK_CLOSE: return NameStatement(p, 'P');
    case DBTK_BEGIN: return Simple(p, 'J');
    case DBTK_COMMIT:
    case DBTK_END: return Simple(p, 'K');
    case DBTK_ABORT: return Simple(p, 'M');
    case DBTK_STOP: return Simple(p, 'V');
    case DBTK_FETCH: return Fetch(p);
    case DBTK_SET: return Set(p);
    case DBTK_SAVE: return Save(p);
    case DBTK_SHOW: return Show(p);
    case DBTK_MAX: return Max(p);
    default: break;
  }
  *writes_end = true;
  switch (p->kind) {
    case DBTK_CREATE_TABLE: return CreateTable(p);
    case DBTK_CREATE_INDEX: return CreateIndex(p, '7');
    case DBTK_CREATE_UNIQUE_INDEX: return CreateIndex(p, '8');
    case DBTK_SELECT: return Select(p);
    case DBTK_INSERT_INTO: return Insert(p);
    case DBTK_DELETE_FROM: return Delete(p);
    case DBTK_UPDATE: return Update(p);
    case DBTK_DECLARE: return Declare(p);
    default: break;
  }
  *known = false;
  return 0;
}

// The text's first word, as the lexer left it (upper-cased in place).
std::string FirstWord(const char* sql) {
  const char* start = sql;
  while (*start && std::isspace(static_cast<unsigned char>(*start))) ++start;
  const char* end = start;
  while (*end && !std::isspace(static_cast<unsigned char>(*end))) ++end;
  return std::string(start, end);
}

void Start(PARSER* p, char* text, std::string* error) {
  p->text[0] = '\0';
  p->error = error;
  LEX_Start(&p->lexer, text, nullptr);
}

}  // namespace

int PARSE_Statement(char* sql, std::string* error) {
  PARSER p;
  Start(&p, sql, error);
  if (!Next(&p, "SQL-command")) return 0;
  bool known, writes_end;
  if (!Statement(&p, &known, &writes_end)) {
    if (known) return 0;
    return Fail(&p, kNotKnown1 + FirstWord(sql) + kNotKnown2);
  }
  // Text after the first end of statement is never read.
  if (p.kind != DBTK_END) return Found(&p, "end of SQL-command");
  if (writes_end) DBquery_addtok(DBTK_END);
  return 1;
}

int DBquery_addwhere(char* text, std::string* error) {
  PARSER p;
  Start(&p, text, error);
  if (!Expect(&p, DBTK_WHERE)) return 0;
  return Where(&p);
}
