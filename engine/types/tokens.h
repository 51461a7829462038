// tokens.h: the token kinds shared by client and engine (DBTK).
// Owns the closed vocabulary of kind bytes and their one display-name
// table. A kind byte is the first byte of every token in a command message,
// so these values are a wire format: never renumber them.
//
// Read kinds from a message as unsigned char: several kinds lie above 127.
#pragma once

// Keywords of statements.
inline constexpr unsigned char DBTK_FOR = '!';
inline constexpr unsigned char DBTK_DECLARE = '$';
inline constexpr unsigned char DBTK_ALL = '%';
inline constexpr unsigned char DBTK_CLOSE = '&';
inline constexpr unsigned char DBTK_ABORT = '(';
inline constexpr unsigned char DBTK_BEGIN = ')';
// Nothing recognisable: the end of the text, an unknown character or a
// malformed number. Also the kind of every failed token.
inline constexpr unsigned char DBTK_NONE = '-';
inline constexpr unsigned char DBTK_COMMIT = '/';

// Type keywords. Each doubles as the type byte of its data type
// (engine/types/values.h) and as the kind of a typed value in a binary
// message.
inline constexpr unsigned char DBTK_CHARACTER = '0';
inline constexpr unsigned char DBTK_SMALLINT = '1';
inline constexpr unsigned char DBTK_INTEGER = '2';
inline constexpr unsigned char DBTK_FLOAT = '3';
inline constexpr unsigned char DBTK_DATE = '4';
inline constexpr unsigned char DBTK_TIME = '5';
inline constexpr unsigned char DBTK_TIMESTAMP = '6';
inline constexpr unsigned char DBTK_BINARY = 0xA6;

inline constexpr unsigned char DBTK_DISTINCT = '7';
inline constexpr unsigned char DBTK_SHOW = '8';
inline constexpr unsigned char DBTK_INDEX = '9';
// Written by the parser in front of the subselect of EXISTS.
inline constexpr unsigned char DBTK_SELECT_EXISTS = '=';
inline constexpr unsigned char DBTK_TABLE = '?';
inline constexpr unsigned char DBTK_LPAREN = 'A';
inline constexpr unsigned char DBTK_RPAREN = 'B';
inline constexpr unsigned char DBTK_COUNT = 'C';
inline constexpr unsigned char DBTK_DOT = 'D';
inline constexpr unsigned char DBTK_COMMA = 'E';
inline constexpr unsigned char DBTK_NULL = 'F';
inline constexpr unsigned char DBTK_ORDER_BY = 'H';
inline constexpr unsigned char DBTK_MIN = 'I';
inline constexpr unsigned char DBTK_MAX = 'J';
inline constexpr unsigned char DBTK_EXISTS = 'L';
inline constexpr unsigned char DBTK_IN = 'M';

// Comparison operators; these are also the operator codes of CmpValues.
inline constexpr unsigned char DBTK_LT = 'N';
inline constexpr unsigned char DBTK_GT = 'O';
inline constexpr unsigned char DBTK_LE = 'P';
inline constexpr unsigned char DBTK_GE = 'Q';
inline constexpr unsigned char DBTK_EQ = 'R';
inline constexpr unsigned char DBTK_NE = 'S';
inline constexpr unsigned char DBTK_LIKE = 'V';

inline constexpr unsigned char DBTK_NOT = 'T';
inline constexpr unsigned char DBTK_SET = 'U';
inline constexpr unsigned char DBTK_STAR = 'W';
inline constexpr unsigned char DBTK_VALUES = 'X';
inline constexpr unsigned char DBTK_BETWEEN = 'Y';
inline constexpr unsigned char DBTK_CURSOR = 'Z';
inline constexpr unsigned char DBTK_ASC = '[';
inline constexpr unsigned char DBTK_DESC = ']';

// Tokens with a payload (see the wire format of the request channel).
inline constexpr unsigned char DBTK_IDENT = 'a';
// Characters of a name (DBTK_IDENT): both sides hold names to it, the
// client's lexer refusing a longer one, the catalogue keeping each in
// DB_NAMESIZE bytes with its terminator.
inline constexpr int DBTK_NAMEMAX = 31;
inline constexpr unsigned char DBTK_ERROR = 'b';  // error text of a reply
inline constexpr unsigned char DBTK_SMALLINTVAL = 'c';
inline constexpr unsigned char DBTK_INTVAL = 'd';
inline constexpr unsigned char DBTK_FLOATVAL = 'e';
inline constexpr unsigned char DBTK_STRINGVAL = 'f';
// Engine-internal expression values.
inline constexpr unsigned char DBTK_RowList = 'h';
inline constexpr unsigned char DBTK_BOOLVAL = 'i';

inline constexpr unsigned char DBTK_ON = 'j';
inline constexpr unsigned char DBTK_CREATE_DATABASE = 'k';
inline constexpr unsigned char DBTK_CREATE_TABLE = 'l';
inline constexpr unsigned char DBTK_CREATE_INDEX = 'm';
inline constexpr unsigned char DBTK_CREATE_UNIQUE_INDEX = 'n';
inline constexpr unsigned char DBTK_DROP_DATABASE = 'o';
inline constexpr unsigned char DBTK_DROP_TABLE = 'p';
inline constexpr unsigned char DBTK_DROP_INDEX = 'q';
inline constexpr unsigned char DBTK_INSERT_INTO = 'r';
inline constexpr unsigned char DBTK_UPDATE = 's';
inline constexpr unsigned char DBTK_DELETE_FROM = 't';
inline constexpr unsigned char DBTK_SELECT = 'u';
inline constexpr unsigned char DBTK_FROM = 'v';
inline constexpr unsigned char DBTK_WHERE = 'w';
// End of statement: ";" and the keyword END.
inline constexpr unsigned char DBTK_END = 'x';
inline constexpr unsigned char DBTK_AND = 'y';
inline constexpr unsigned char DBTK_OR = 'z';
inline constexpr unsigned char DBTK_SAVE = '{';
inline constexpr unsigned char DBTK_DATABASE = '}';
inline constexpr unsigned char DBTK_FETCH = 0xA7;
inline constexpr unsigned char DBTK_SECURE = 0xC4;
inline constexpr unsigned char DBTK_STOP = 0xD6;
inline constexpr unsigned char DBTK_STATIC = 0xDF;
inline constexpr unsigned char DBTK_INDICES = 0xE4;
inline constexpr unsigned char DBTK_DATABASES = 0xF6;
inline constexpr unsigned char DBTK_TABLES = 0xFC;

// The name that syntax messages of both sides show for `kind`;
// "<unknown token>" for a byte that is not a kind (and for the few kinds
// whose display name is that text, such as ORDER BY and BINARY).
// `kind` may be passed as a signed or unsigned char value.
const char* DBTK_Name(int kind);
