// lexer.h: the SQL lexer (LEX) of the client side.
// A LEXER is the state of one read, owned by the parse that reads: the
// text being read (a modifiable copy owned by the caller), the read
// position and the error buffer of the running statement. The lexer
// upper-cases letters of the text in place and never writes the error
// buffer itself; it only carries it for the parser.
#pragma once

#include "engine/types/tokens.h"

// Size of the caller's token text buffer. Strings and numbers hold at most
// LEX_TEXTSIZE - 1 characters; longer ones are refused with a syntax error.
inline constexpr int LEX_TEXTSIZE = 10000;
// Names hold at most LEX_NAMEMAX characters; one more is refused. The
// engine keeps names of the same length (tokens.h).
inline constexpr int LEX_NAMEMAX = DBTK_NAMEMAX;

struct LEXER {
  char* text = nullptr;    // the SQL text, NUL-terminated, changed in place
  int pos = 0;             // next byte to read; only moves forward
  char* errbuf = nullptr;  // error buffer of the running statement
};

// Starts reading `text` from its first byte; `errbuf` may be null.
void LEX_Start(LEXER* lexer, char* text, char* errbuf);

// Reads the next token. On success *out_kind is the token kind (DBTK_NONE
// '-' for the end of the text, an unknown character or a malformed number)
// and `out_text` holds the identifier (upper case), the string contents or
// the number's characters, and is empty for other kinds.
// On failure *out_kind is DBTK_NONE and `out_text` holds the reason:
// "Syntax error: name too long (%s...)", "Syntax error: unexpected end of
// string (%s)", "Syntax error: string too long (max = %d)", "Syntax error:
// number too long (max = %d)" or the words of an unfinished two-word keyword
// ("CREATE", "CREATE UNIQUE", "DROP", "DELETE", "INSERT", "ORDER").
// REQUIRES: `out_text` has room for LEX_TEXTSIZE bytes.
[[nodiscard]] int LEX_Next(LEXER* lexer, int* out_kind, char* out_text);
