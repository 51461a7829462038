// qtokens.cpp: the token cursor.
#include "engine/statements/qtokens.h"

#include "engine/types/token_reader.h"

void QTOKENS_Next(QTOKENS* tok) {
  tok->pos = TOKEN_Kind(tok->msg, tok->length, tok->pos, &tok->kind);
}
