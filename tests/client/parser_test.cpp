// Golden tests of the statement parser: the exact bytes of each command
// message, and the exact text of each refusal.
#include "client/parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/message.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Builds an expected message in the notation of the parser's header.
struct Msg {
  Bytes b;
  Msg& K(unsigned char kind) { return b.push_back(kind), *this; }
  Msg& Str(unsigned char kind, const std::string& s) {
    const size_t n = s.size() + 1;
    b.insert(b.end(),
             {kind, static_cast<unsigned char>(n & 0xFF), static_cast<unsigned char>(n >> 8)});
    b.insert(b.end(), s.begin(), s.end());
    return K(0);
  }
  Msg& A(const std::string& s) { return Str('a', s); }
  Msg& F(const std::string& s) { return Str('f', s); }
  Msg& Raw(unsigned char kind, const void* v, int n) {
    const auto* p = static_cast<const unsigned char*>(v);
    return K(kind), b.insert(b.end(), p, p + n), *this;
  }
  Msg& D(int32_t v) { return Raw('d', &v, 4); }
  Msg& E(double v) { return Raw('e', &v, 8); }
};

struct Parsed {
  int ok;
  Bytes message;
  std::string error;
};

Parsed Parse(const std::string& sql) {
  DBquery_reset();
  std::vector<char> text(sql.begin(), sql.end());
  text.push_back('\0');
  Parsed out;
  out.ok = PARSE_Statement(text.data(), &out.error);
  out.message.assign(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
  return out;
}

void ExpectGolden(const std::vector<std::pair<std::string, Msg>>& cases) {
  for (const auto& [sql, want] : cases) {
    SCOPED_TRACE(sql);
    const Parsed got = Parse(sql);
    EXPECT_EQ(got.ok, 1) << got.error;
    EXPECT_EQ(got.message, want.b);
  }
}

constexpr unsigned char kBinary = 0xA6, kDatabases = 0xF6, kTables = 0xFC, kIndices = 0xE4;

TEST(PARSE, WritesEveryStatementOfTheTable) {
  ExpectGolden({
      {"CREATE DATABASE shop;", Msg().K('3').A("SHOP")},
      {"DROP DATABASE;", Msg().K('4')},
      {"create table t1 (a integer, b binary(40), c date, d time, e timestamp, f float, g "
       "smallint);",
       Msg()
           .K('5')
           .A("T1")
           .A("A")
           .K('2')
           .A("B")
           .K(kBinary)
           .D(40)
           .A("C")
           .K('4')
           .A("D")
           .K('5')
           .A("E")
           .K('6')
           .A("F")
           .K('3')
           .A("G")
           .K('1')
           .K('x')},
      {"CREATE TABLE t2 (nm CHARACTER(10) NOT NULL, qty INTEGER);",
       Msg().K('5').A("T2").A("NM").K('0').D(10).K('F').A("QTY").K('2').K('x')},
      {"DROP TABLE t1;", Msg().K('6').A("T1")},
      {"CREATE INDEX ix ON t (a, b);", Msg().K('7').A("IX").A("T").A("A").A("B").K('x')},
      {"CREATE UNIQUE INDEX ux ON t (a);", Msg().K('8').A("UX").A("T").A("A").K('x')},
      {"DROP INDEX ix;", Msg().K('9').A("IX")},
      {"INSERT INTO t VALUES ('x', 5, 2.5);", Msg().K('E').A("T").K('X').F("x").D(5).E(2.5).K('x')},
      {"INSERT INTO t (a, b) VALUES (-3, 'it\\'s');",
       Msg().K('E').A("T").A("A").A("B").K('X').D(-3).F("it's").K('x')},
      {"DELETE FROM t;", Msg().K('G').A("T").K('x')},
      {"DELETE FROM t WHERE a = 1;", Msg().K('G').A("T").K('w').A("A").D(1).K('R').K('w').K('x')},
      {"UPDATE t SET a = 1, b = 'z' WHERE c < 2.0;",
       Msg().K('I').A("T").A("A").D(1).A("B").F("z").K('w').A("C").E(2.0).K('N').K('w').K('x')},
      {"BEGIN;", Msg().K('J')},
      {"COMMIT;", Msg().K('K')},
      {"END;", Msg().K('K')},
      {"ABORT;", Msg().K('M')},
      {"DECLARE k CURSOR FOR SELECT * FROM t;", Msg().K('N').A("K").K('W').K('v').A("T").K('x')},
      {"FETCH ALL IN k;", Msg().K('O').K('%').A("K")},
      {"FETCH IN k;", Msg().K('O').A("K")},
      {"FETCH NEXT k;", Msg().K('O').A("K")},
      {"CLOSE k;", Msg().K('P').A("K")},
      {"SET TABLE t STATIC;", Msg().K('Q').A("T")},
      {"SET TABLE t SECURE;", Msg().K('U').A("T")},
      {"SET DATABASE d;", Msg().K('X').A("D")},
      {"SAVE DATABASE;", Msg().K('R')},
      {"SHOW DATABASES;", Msg().K('S').K(kDatabases)},
      {"SHOW TABLES;", Msg().K('S').K(kTables)},
      {"SHOW INDICES;", Msg().K('S').K(kIndices)},
      {"SHOW INDICES ON TABLE t;", Msg().K('S').K('?').K(kIndices).A("T")},
      {"SHOW TABLE t;", Msg().K('S').K('?').A("T")},
      {"SHOW INDEX i;", Msg().K('S').K('9').A("I")},
      {"MAX 500;", Msg().K('T').D(500)},
      {"MAX 0;", Msg().K('T').D(0)},
      {"MAX;", Msg().K('T').K('F')},
      {"STOP;", Msg().K('V')},
  });
}

TEST(PARSE, WritesSelectBodies) {
  ExpectGolden({
      {"SELECT * FROM KASPO WHERE KASPO_ID = 'A1';",
       Msg().K('C').K('W').K('v').A("KASPO").K('w').A("KASPO_ID").F("A1").K('R').K('w').K('x')},
      {"SELECT t.a, MIN(b) FROM tab t ORDER BY t.a DESC;", Msg()
                                                               .K('C')
                                                               .F("T")
                                                               .A("A")
                                                               .K('I')
                                                               .A("B")
                                                               .K('v')
                                                               .A("TAB")
                                                               .F("T")
                                                               .K('H')
                                                               .K('D')
                                                               .A("T")
                                                               .A("A")
                                                               .K(']')
                                                               .K('H')
                                                               .K('x')},
      {"SELECT DISTINCT a, COUNT(*), MAX(t.b), t.* FROM x t, y ORDER BY a ASC, c;", Msg()
                                                                                        .K('C')
                                                                                        .K('7')
                                                                                        .A("A")
                                                                                        .K('C')
                                                                                        .K('J')
                                                                                        .F("T")
                                                                                        .A("B")
                                                                                        .F("T")
                                                                                        .K('W')
                                                                                        .K('v')
                                                                                        .A("X")
                                                                                        .F("T")
                                                                                        .A("Y")
                                                                                        .K('H')
                                                                                        .A("A")
                                                                                        .A("C")
                                                                                        .K('H')
                                                                                        .K('x')},
      // Text after the first end of statement is not read.
      {"SELECT * FROM a; DROP TABLE a", Msg().K('C').K('W').K('v').A("A").K('x')},
      {"select * from kaspo end", Msg().K('C').K('W').K('v').A("KASPO").K('x')},
  });
}

TEST(PARSE, WritesConditionsInPostfix) {
  const auto Q = [](const std::string& where, Msg body) {
    Msg m = Msg().K('C').K('W').K('v').A("T").K('w');
    m.b.insert(m.b.end(), body.b.begin(), body.b.end());
    return std::pair<std::string, Msg>("SELECT * FROM t WHERE " + where + ";", m.K('w').K('x'));
  };
  ExpectGolden({
      Q("qa = 1 OR qb = 2 AND NOT qc = 3",
        Msg().A("QA").D(1).K('R').A("QB").D(2).K('R').A("QC").D(3).K('R').K('T').K('y').K('z')),
      Q("x IN (1, 2, 3)", Msg().A("X").D(1).D(2).D(3).D(3).K('M')),
      Q("(a = 1 OR b = 2) AND c = 3",
        Msg().A("A").D(1).K('R').A("B").D(2).K('R').K('z').A("C").D(3).K('R').K('y')),
      Q("a < 1 AND b > 2 AND c <= 3 OR d >= 4 OR e <> 5", Msg()
                                                              .A("A")
                                                              .D(1)
                                                              .K('N')
                                                              .A("B")
                                                              .D(2)
                                                              .K('O')
                                                              .K('y')
                                                              .A("C")
                                                              .D(3)
                                                              .K('P')
                                                              .K('y')
                                                              .A("D")
                                                              .D(4)
                                                              .K('Q')
                                                              .K('z')
                                                              .A("E")
                                                              .D(5)
                                                              .K('S')
                                                              .K('z')),
      Q("t.nm LIKE 'ab%'", Msg().K('D').A("T").A("NM").F("ab%").K('V')),
      Q("a BETWEEN 1 AND 2.5", Msg().A("A").D(1).E(2.5).K('Y')),
      Q("a IN (SELECT b FROM u)", Msg().A("A").K('u').A("B").K('v').A("U").D(1).K('M')),
      Q("a = (SELECT MAX(b) FROM u WHERE c = a)",
        Msg().A("A").K('u').K('J').A("B").K('v').A("U").K('w').A("C").A("A").K('R').K('w').K('R')),
      Q("NOT EXISTS (SELECT * FROM u)", Msg().K('=').K('W').K('v').A("U").K('L').K('T')),
      Q("flag", Msg().A("FLAG")),
      Q("'a' = b.c", Msg().F("a").K('D').A("B").A("C").K('R')),
  });
}

TEST(PARSE, RefusesWithTheDocumentedTexts) {
  const std::pair<const char*, const char*> kCases[] = {
      {";", "Syntax error: end of SQL-command expected (found '<unknown token>')"},
      {"FETCH c;", "Syntax error: <identifier value> expected (found ;)"},
      {"MAX -1;",
       "Syntax error: MAX: negative result row maximum expected (found '<integer value>')"},
      {"MAX x;", "Syntax error: end of SQL-command expected (found '<identifier value>')"},
      {"GRANT ALL;", "(DBexec) Syntax error: SQL-command GRANT not known"},
      {"#;", "(DBexec) Syntax error: SQL-command #; not known"},
      {"CREATE VIEW v;", "Unexpected end of query (expected SQL-command)"},
      {"DELETE t;", "Unexpected end of query (expected SQL-command)"},
      {"INSERT INTO t (qa, qb) VALUES (1);", "(INSERT) attributes (2) do not match values (1)"},
      {"INSERT INTO t VALUES ();", "Syntax error: <value> expected (found ')')"},
      {"INSERT INTO t VALUES (NULL);", "Syntax error: <value> expected (found 'NULL')"},
      {"INSERT INTO t SET a = 1;", "Syntax error: VALUES expected (found SET)"},
      {"DROP TABLE 5;", "Syntax error: <identifier value> expected (found <integer value>)"},
      {"SHOW FROM;", "Syntax error: SHOW expected (found 'FROM')"},
      {"SHOW INDICES ON t;", "Syntax error: TABLE expected (found <identifier value>)"},
      {"SET x;", "Syntax error: TABLE expected (found '<identifier value>')"},
      {"SET TABLE t FOR;", "Syntax error: STATIC expected (found 'FOR')"},
      {"SAVE TABLE;", "Syntax error: DATABASE expected (found TABLE)"},
      {"CREATE TABLE t (a VARCHAR(5));",
       "Syntax error: datatype expected (found '<identifier value>')"},
      {"CREATE TABLE t (a CHARACTER);", "Syntax error: ( expected (found ))"},
      {"CREATE TABLE t (a INTEGER NOT 5);", "Syntax error: NULL expected (found <integer value>)"},
      {"CREATE TABLE t (a INTEGER b INTEGER);",
       "Syntax error: ')' expected (found '<identifier value>')"},
      {"CREATE TABLE t (a CHARACTER(0));", "Syntax error: length 1..32767 expected (found 0)"},
      {"CREATE TABLE t (a BINARY(40000));", "Syntax error: length 1..32767 expected (found 40000)"},
      {"CREATE INDEX i t (a);",
       "Syntax error: <unknown token> expected (found <identifier value>)"},
      {"SELECT FROM t;", "Syntax error: attrib-name expected (found 'FROM')"},
      {"SELECT a t;", "Syntax error: FROM expected (found '<identifier value>')"},
      {"SELECT a, DISTINCT b FROM t;", "Syntax error: attrib-name expected (found 'DISTINCT')"},
      {"SELECT * FROM 5;", "Syntax error: table-name expected (found '<integer value>')"},
      {"SELECT COUNT(a) FROM t;", "Syntax error: * expected (found <identifier value>)"},
      {"SELECT * FROM t WHERE = 1;", "Syntax error: expr-element expected (found '=')"},
      {"SELECT * FROM t WHERE a = ;", "Syntax error: expr-value expected (found ';')"},
      {"SELECT * FROM t WHERE a BETWEEN 1 OR 2;", "Syntax error: 'AND' expected (found 'OR')"},
      {"SELECT * FROM t WHERE a IN (1 2);", "Syntax error: ')' expected (found '<integer value>')"},
      {"SELECT * FROM t WHERE a IN (b);",
       "Syntax error: expr-value expected (found '<identifier value>')"},
      {"SELECT * FROM t WHERE (a = 1;", "Syntax error: ')' expected (found ';')"},
      {"SELECT * FROM t ORDER a;", "Unexpected end of query (expected query-end)"},
      {"SELECT * FROM t WHERE a = 'abc\\", "Unexpected end of query (expected value)"},
      {"UPDATE t SET a = 1 b = 2;", "Syntax error: ';' expected (found '<identifier value>')"},
      {"UPDATE t SET a 1;", "Syntax error: = expected (found <integer value>)"},
      {"DROP TABLE 'abc\\",
       "Unexpected end of file at 'Syntax error: unexpected end of string (abc)'"},
  };
  for (const auto& [sql, error] : kCases) {
    SCOPED_TRACE(sql);
    const Parsed got = Parse(sql);
    EXPECT_EQ(got.ok, 0);
    EXPECT_EQ(got.error, error);
  }
  const std::string name31(31, 'Q');
  EXPECT_EQ(Parse("DROP TABLE " + name31 + ";").message, Msg().K('6').A(name31).b);
  EXPECT_EQ(Parse("DROP TABLE " + name31 + "Q;").error,
            "Unexpected end of file at 'Syntax error: name too long (" + name31 + "Q...)'");
}

TEST(PARSE, AddWhereAppendsToAMessageBeingBuilt) {
  const std::pair<const char*, Msg> kCases[] = {
      {"WHERE KASPO_ID = 'K1' AND a >= 2",
       Msg().K('w').A("KASPO_ID").F("K1").K('R').A("A").D(2).K('Q').K('y').K('w')},
      // Nothing after the condition is checked.
      {"WHERE a = 1 trailing words", Msg().K('w').A("A").D(1).K('R').K('w')},
  };
  for (const auto& [where, want] : kCases) {
    SCOPED_TRACE(where);
    DBquery_reset();
    DBquery_addcmd('G');
    std::vector<char> text(where, where + std::strlen(where) + 1);
    std::string error;
    EXPECT_EQ(DBquery_addwhere(text.data(), &error), 1) << error;
    Bytes expected = {'G'};
    expected.insert(expected.end(), want.b.begin(), want.b.end());
    EXPECT_EQ(Bytes(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length()), expected);
  }
  char no_where[] = "a = 1", bad[] = "WHERE = 1";
  std::string error;
  EXPECT_EQ(DBquery_addwhere(no_where, &error), 0);
  EXPECT_EQ(error, "Syntax error: WHERE expected (found <identifier value>)");
  EXPECT_EQ(DBquery_addwhere(bad, nullptr), 0);
}

}  // namespace
