// lexer.cpp: cuts SQL text into tokens for the statement parser.
#include "client/lexer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/types/tokens.h"

namespace {

constexpr char kNameTooLong[] = "Syntax error: name too long (%s...)";
constexpr char kStringUnfinished[] = "Syntax error: unexpected end of string (%s)";
constexpr char kStringTooLong[] = "Syntax error: string too long (max = %d)";
constexpr char kNumberTooLong[] = "Syntax error: number too long (max = %d)";

// Characters an identifier reads before it is refused: one more than a
// name may have, so that the refusal can show what was read.
constexpr int kNameReadMax = LEX_NAMEMAX + 1;
// Characters a string or number may hold: the caller's buffer less its NUL.
constexpr int kTextMax = LEX_TEXTSIZE - 1;

// Which second words a keyword expects; kNone for a one-word keyword.
enum class Second { kNone, kCreate, kDrop, kDelete, kInsert, kOrder };

struct Keyword {
  const char* word;
  unsigned char kind;
  Second second;
};

// Tried in this order among the keywords of the same first letter. Since a
// keyword must be followed by neither letter, digit nor "_", at most one
// entry can match a word; the order only keeps the table readable.
// clang-format off
constexpr Keyword kKeywords[] = {
    {"AND", DBTK_AND, Second::kNone},         {"ABORT", DBTK_ABORT, Second::kNone},
    {"ALL", DBTK_ALL, Second::kNone},         {"ASC", DBTK_ASC, Second::kNone},
    {"BEGIN", DBTK_BEGIN, Second::kNone},     {"BETWEEN", DBTK_BETWEEN, Second::kNone},
    {"BINARY", DBTK_BINARY, Second::kNone},   {"CHARACTER", DBTK_CHARACTER, Second::kNone},
    {"CREATE", DBTK_NONE, Second::kCreate},   {"COUNT", DBTK_COUNT, Second::kNone},
    {"COMMIT", DBTK_COMMIT, Second::kNone},   {"CURSOR", DBTK_CURSOR, Second::kNone},
    {"CLOSE", DBTK_CLOSE, Second::kNone},     {"DATE", DBTK_DATE, Second::kNone},
    {"DROP", DBTK_NONE, Second::kDrop},       {"DELETE", DBTK_NONE, Second::kDelete},
    {"DECLARE", DBTK_DECLARE, Second::kNone}, {"DESC", DBTK_DESC, Second::kNone},
    {"DATABASE", DBTK_DATABASE, Second::kNone}, {"DATABASES", DBTK_DATABASES, Second::kNone},
    {"DISTINCT", DBTK_DISTINCT, Second::kNone}, {"END", DBTK_END, Second::kNone},
    {"EXISTS", DBTK_EXISTS, Second::kNone},   {"FROM", DBTK_FROM, Second::kNone},
    {"FLOAT", DBTK_FLOAT, Second::kNone},     {"FOR", DBTK_FOR, Second::kNone},
    {"FETCH", DBTK_FETCH, Second::kNone},     {"INSERT", DBTK_NONE, Second::kInsert},
    {"INTEGER", DBTK_INTEGER, Second::kNone}, {"IN", DBTK_IN, Second::kNone},
    {"INDEX", DBTK_INDEX, Second::kNone},     {"INDICES", DBTK_INDICES, Second::kNone},
    {"LIKE", DBTK_LIKE, Second::kNone},       {"MIN", DBTK_MIN, Second::kNone},
    {"MAX", DBTK_MAX, Second::kNone},         {"NOT", DBTK_NOT, Second::kNone},
    {"NULL", DBTK_NULL, Second::kNone},       {"ORDER", DBTK_NONE, Second::kOrder},
    {"OR", DBTK_OR, Second::kNone},           {"ON", DBTK_ON, Second::kNone},
    {"SMALLINT", DBTK_SMALLINT, Second::kNone}, {"SELECT", DBTK_SELECT, Second::kNone},
    {"SET", DBTK_SET, Second::kNone},         {"STATIC", DBTK_STATIC, Second::kNone},
    {"SAVE", DBTK_SAVE, Second::kNone},       {"SHOW", DBTK_SHOW, Second::kNone},
    {"SECURE", DBTK_SECURE, Second::kNone},   {"STOP", DBTK_STOP, Second::kNone},
    {"TIME", DBTK_TIME, Second::kNone},       {"TABLE", DBTK_TABLE, Second::kNone},
    {"TIMESTAMP", DBTK_TIMESTAMP, Second::kNone}, {"TABLES", DBTK_TABLES, Second::kNone},
    {"UPDATE", DBTK_UPDATE, Second::kNone},   {"VALUES", DBTK_VALUES, Second::kNone},
    {"WHERE", DBTK_WHERE, Second::kNone},
};
// clang-format on

struct SecondWord {
  Second first;
  const char* word;
  unsigned char kind;
};

// CREATE UNIQUE is handled apart: it needs a third word.
constexpr SecondWord kSecondWords[] = {
    {Second::kCreate, "TABLE", DBTK_CREATE_TABLE},
    {Second::kCreate, "INDEX", DBTK_CREATE_INDEX},
    {Second::kCreate, "DATABASE", DBTK_CREATE_DATABASE},
    {Second::kDrop, "TABLE", DBTK_DROP_TABLE},
    {Second::kDrop, "INDEX", DBTK_DROP_INDEX},
    {Second::kDrop, "DATABASE", DBTK_DROP_DATABASE},
    {Second::kDelete, "FROM", DBTK_DELETE_FROM},
    {Second::kInsert, "INTO", DBTK_INSERT_INTO},
    {Second::kOrder, "BY", DBTK_ORDER_BY},
};

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsWordChar(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
char Upper(unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

unsigned char At(const LEXER* lexer, int offset) {
  return static_cast<unsigned char>(lexer->text[lexer->pos + offset]);
}

void SkipSpace(LEXER* lexer) {
  while (IsSpace(At(lexer, 0))) ++lexer->pos;
}

// Upper-cases, in the text itself, the run of letters at the position.
void UpperLetterRun(LEXER* lexer) {
  for (char* c = lexer->text + lexer->pos; IsLetter(static_cast<unsigned char>(*c)); ++c) {
    *c = Upper(static_cast<unsigned char>(*c));
  }
}

// Consumes `word` when the text continues with it and the word ends there.
bool TakeWord(LEXER* lexer, const char* word) {
  size_t len = std::strlen(word);
  const char* at = lexer->text + lexer->pos;
  if (std::strncmp(at, word, len) != 0) return false;
  if (IsWordChar(static_cast<unsigned char>(at[len]))) return false;
  lexer->pos += static_cast<int>(len);
  return true;
}

int Fail(int* out_kind, char* out_text, const char* reason) {
  *out_kind = DBTK_NONE;
  std::snprintf(out_text, LEX_TEXTSIZE, "%s", reason);
  return 0;
}

// After CREATE UNIQUE only INDEX may follow.
int ReadUniqueIndex(LEXER* lexer, int* out_kind, char* out_text) {
  SkipSpace(lexer);
  UpperLetterRun(lexer);
  if (!TakeWord(lexer, "INDEX")) return Fail(out_kind, out_text, "CREATE UNIQUE");
  *out_kind = DBTK_CREATE_UNIQUE_INDEX;
  return 1;
}

// A first word of a two-word keyword is never an identifier: without a
// fitting second word the call fails with the first word as reason.
int ReadSecondWord(LEXER* lexer, const Keyword& first, int* out_kind, char* out_text) {
  SkipSpace(lexer);
  UpperLetterRun(lexer);
  if (first.second == Second::kCreate && TakeWord(lexer, "UNIQUE")) {
    return ReadUniqueIndex(lexer, out_kind, out_text);
  }
  for (const SecondWord& second : kSecondWords) {
    if (second.first == first.second && TakeWord(lexer, second.word)) {
      *out_kind = second.kind;
      return 1;
    }
  }
  return Fail(out_kind, out_text, first.word);
}

int ReadIdentifier(LEXER* lexer, int* out_kind, char* out_text) {
  int count = 0;
  while (count < kNameReadMax && IsWordChar(At(lexer, 0))) {
    out_text[count++] = Upper(At(lexer, 0));
    ++lexer->pos;
  }
  out_text[count] = '\0';
  if (count == kNameReadMax) {
    char name[kNameReadMax + 1];
    std::memcpy(name, out_text, sizeof name);
    *out_kind = DBTK_NONE;
    std::snprintf(out_text, LEX_TEXTSIZE, kNameTooLong, name);
    return 0;
  }
  *out_kind = DBTK_IDENT;
  return 1;
}

int ReadWord(LEXER* lexer, int* out_kind, char* out_text) {
  UpperLetterRun(lexer);
  char first = lexer->text[lexer->pos];
  for (const Keyword& keyword : kKeywords) {
    if (keyword.word[0] != first || !TakeWord(lexer, keyword.word)) continue;
    if (keyword.second != Second::kNone) return ReadSecondWord(lexer, keyword, out_kind, out_text);
    *out_kind = keyword.kind;
    return 1;
  }
  return ReadIdentifier(lexer, out_kind, out_text);
}

// A backslash keeps the next character whatever it is; the string ends at
// its closing quote or, without one, at the end of the text.
int ReadString(LEXER* lexer, int* out_kind, char* out_text) {
  ++lexer->pos;  // the opening quote
  int count = 0;
  for (;;) {
    unsigned char c = At(lexer, 0);
    if (c == '\0' || c == '\'') break;
    if (c == '\\') {
      if (At(lexer, 1) == '\0') {
        out_text[count] = '\0';
        char reason[LEX_TEXTSIZE];
        std::snprintf(reason, sizeof reason, kStringUnfinished, out_text);
        return Fail(out_kind, out_text, reason);
      }
      c = At(lexer, 1);
      ++lexer->pos;
    }
    if (count == kTextMax) {
      char reason[64];
      std::snprintf(reason, sizeof reason, kStringTooLong, LEX_TEXTSIZE);
      return Fail(out_kind, out_text, reason);
    }
    out_text[count++] = static_cast<char>(c);
    ++lexer->pos;
  }
  if (At(lexer, 0) == '\'') ++lexer->pos;
  out_text[count] = '\0';
  *out_kind = DBTK_STRINGVAL;
  return 1;
}

// The characters of a number being read, bounded by the caller's buffer.
struct NumberText {
  char* text;
  int count;
  bool overflow;
};

void Append(NumberText* number, unsigned char c) {
  if (number->count == kTextMax) {
    number->overflow = true;
    return;
  }
  number->text[number->count++] = static_cast<char>(c);
}

void AppendDigits(LEXER* lexer, NumberText* number) {
  while (IsDigit(At(lexer, 0))) {
    Append(number, At(lexer, 0));
    ++lexer->pos;
  }
}

// An exponent mark has been seen: copies "E", a sign and the digits. A
// missing digit makes the number malformed (false); what was read stays
// consumed.
bool ReadExponent(LEXER* lexer, NumberText* number) {
  Append(number, 'E');
  ++lexer->pos;
  if (At(lexer, 0) == '+' || At(lexer, 0) == '-') {
    Append(number, At(lexer, 0));
    ++lexer->pos;
  }
  if (!IsDigit(At(lexer, 0))) return false;
  AppendDigits(lexer, number);
  return true;
}

// An integer literal outside the 32-bit range is a float literal.
bool FitsInt32(const char* digits) {
  double value = std::strtod(digits, nullptr);
  return value >= -2147483648.0 && value <= 2147483647.0;
}

// "-", blanks and digits: the blanks are dropped from the text. Without a
// digit nothing is a number; the minus and blanks stay consumed.
int ReadNumber(LEXER* lexer, int* out_kind, char* out_text) {
  NumberText number{out_text, 0, false};
  if (At(lexer, 0) != '-' && !IsDigit(At(lexer, 0))) return 1;  // position stays
  if (At(lexer, 0) == '-') {
    ++lexer->pos;
    SkipSpace(lexer);
    if (!IsDigit(At(lexer, 0))) return 1;
    Append(&number, '-');
  }
  AppendDigits(lexer, &number);
  int kind = DBTK_INTVAL;
  if (At(lexer, 0) == '.') {
    Append(&number, '.');
    ++lexer->pos;
    AppendDigits(lexer, &number);
    kind = DBTK_FLOATVAL;
  }
  if (At(lexer, 0) == 'e' || At(lexer, 0) == 'E') {
    kind = ReadExponent(lexer, &number) ? DBTK_FLOATVAL : DBTK_NONE;
  }
  if (number.overflow) {
    char reason[64];
    std::snprintf(reason, sizeof reason, kNumberTooLong, LEX_TEXTSIZE);
    return Fail(out_kind, out_text, reason);
  }
  number.text[number.count] = '\0';
  if (kind == DBTK_NONE) number.text[0] = '\0';
  if (kind == DBTK_INTVAL && !FitsInt32(number.text)) kind = DBTK_FLOATVAL;
  *out_kind = kind;
  return 1;
}

// Single characters and the two-character comparisons; 0 for any other.
// The byte after the first is read only for "<" and ">", which are not the
// end of the text.
int Punctuation(LEXER* lexer) {
  switch (At(lexer, 0)) {
    case '(': return DBTK_LPAREN;
    case ')': return DBTK_RPAREN;
    case '*': return DBTK_STAR;
    case ',': return DBTK_COMMA;
    case '.': return DBTK_DOT;
    case ';': return DBTK_END;
    case '=': return DBTK_EQ;
    case '<': return At(lexer, 1) == '=' ? DBTK_LE : (At(lexer, 1) == '>' ? DBTK_NE : DBTK_LT);
    case '>': return At(lexer, 1) == '=' ? DBTK_GE : DBTK_GT;
    default: return 0;
  }
}

}  // namespace

void LEX_Start(LEXER* lexer, char* text, char* errbuf) {
  lexer->text = text;
  lexer->pos = 0;
  lexer->errbuf = errbuf;
}

int LEX_Next(LEXER* lexer, int* out_kind, char* out_text) {
  *out_kind = DBTK_NONE;
  out_text[0] = '\0';
  SkipSpace(lexer);
  unsigned char c = At(lexer, 0);
  if (IsLetter(c)) return ReadWord(lexer, out_kind, out_text);
  if (c == '\'') return ReadString(lexer, out_kind, out_text);
  int kind = Punctuation(lexer);
  if (kind == 0) return ReadNumber(lexer, out_kind, out_text);
  *out_kind = kind;
  lexer->pos += (kind == DBTK_LE || kind == DBTK_NE || kind == DBTK_GE) ? 2 : 1;
  return 1;
}
