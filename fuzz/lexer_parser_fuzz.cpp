// lexer_parser_fuzz.cpp: arbitrary SQL text through the lexer, the
// statement parser and the WHERE compiler of the record modules.
//
// Beyond the sanitizers, each input checks what callers rely on: the
// lexer always moves forward or stops, its token text fits the caller's
// buffer, and the parser either builds a message that starts with a
// command letter or refuses with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/lexer.h"
#include "client/message.h"
#include "client/parser.h"
#include "engine/types/tokens.h"

namespace {
// A broken promise of the front end: abort so the fuzzer keeps the input.
void Require(bool condition) {
  if (!condition) std::abort();
}

// The input as the private, NUL-terminated copy the callers hand in.
std::vector<char> Text(const uint8_t* data, size_t size, const char* prefix) {
  std::vector<char> text(prefix, prefix + std::strlen(prefix));
  text.insert(text.end(), data, data + size);
  text.push_back('\0');
  return text;
}

void LexAll(const uint8_t* data, size_t size) {
  std::vector<char> text = Text(data, size, "");
  const size_t length = std::strlen(text.data());
  std::vector<char> token(LEX_TEXTSIZE);
  LEXER lexer;
  LEX_Start(&lexer, text.data(), nullptr);
  // Every token that is not DBTK_NONE consumes at least one character.
  for (size_t steps = 0; steps <= length + 1; ++steps) {
    const int before = lexer.pos;
    int kind = 0;
    token[0] = '\0';
    const int ok = LEX_Next(&lexer, &kind, token.data());
    Require(std::memchr(token.data(), '\0', token.size()) != nullptr);
    Require(lexer.pos >= before && static_cast<size_t>(lexer.pos) <= length);
    if (!ok) {
      Require(kind == DBTK_NONE && token[0] != '\0');
      return;
    }
    if (kind == DBTK_NONE) return;
    Require(lexer.pos > before);
  }
  Require(false);  // more tokens than characters: the lexer stood still
}

void ParseStatement(const uint8_t* data, size_t size) {
  std::vector<char> text = Text(data, size, "");
  std::string error;
  DBquery_reset();
  if (PARSE_Statement(text.data(), &error)) {
    Require(error.empty() && MESSAGE_Length() > 0);
    const unsigned char letter = MESSAGE_Data()[0];
    Require(letter >= '1' && letter <= 'X');
  } else {
    Require(!error.empty());
  }
}

void CompileWhere(const uint8_t* data, size_t size) {
  std::vector<char> text = Text(data, size, "WHERE ");
  std::string error;
  DBquery_reset();
  DBquery_addcmd('G');
  if (DBquery_addwhere(text.data(), &error)) {
    // 'w' condition 'w' after the letter.
    Require(MESSAGE_Length() >= 3 && MESSAGE_Data()[1] == DBTK_WHERE &&
            MESSAGE_Data()[MESSAGE_Length() - 1] == DBTK_WHERE);
  } else {
    Require(!error.empty());
  }
  // Without an error buffer the refusal is silent, and must not crash.
  std::vector<char> again = Text(data, size, "WHERE ");
  DBquery_reset();
  (void)DBquery_addwhere(again.data(), nullptr);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LexAll(data, size);
  ParseStatement(data, size);
  CompileWhere(data, size);
  return 0;
}
