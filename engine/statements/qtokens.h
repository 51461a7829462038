// qtokens.h: the token cursor over a command message (QTOKENS) with which
// the statement handlers walk the sections they share (WHERE, select
// lists, ORDER BY).
// Owns nothing: the message belongs to the caller.
#pragma once

// Where a handler stands in its command message: `kind` is the current
// token's kind byte, already read; `pos` is the offset just after it, where
// the token's payload (if any) begins.
struct QTOKENS {
  const unsigned char* msg = nullptr;
  int length = 0;
  int pos = 0;
  unsigned char kind = 0;
};

// Reads the next kind byte into tok->kind (at the end of the message 'x').
void QTOKENS_Next(QTOKENS* tok);
