// token_reader.h: reading the tokens of a command message (TOKEN), in
// the command message format of wire.h.
// Owns nothing: the message belongs to the caller.
//
// Each step takes the current offset into the message and returns the next
// offset, or TOKEN_FAILED with the reason in *detail. The detail is empty
// when the message simply ended where a token was due; a handler then joins
// its own message, "\n" and the detail (REPLY_ErrorDetail).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int TOKEN_FAILED = -1;
// Offset of the first token: tokens follow the command letter.
inline constexpr int TOKEN_FIRST = 1;

// Expects the kind byte `kind` at `offset`.
// At the end of the message: TOKEN_FAILED with an empty detail.
// Another kind: "Syntax error: %s expected (found %s)" with display names.
[[nodiscard]] int TOKEN_Expect(const unsigned char* msg, int length, int offset, unsigned char kind,
                               std::string* detail);

// Reads the payload of an 'a', 'f' or 'b' token (u16 L, then L bytes) into
// *text, without its terminating zero. A payload that is cut short fails
// with "Syntax error: <name> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Text(const unsigned char* msg, int length, int offset, std::string* text,
                             std::string* detail);

// TOKEN_Expect followed by TOKEN_Text: the usual way to read a name.
[[nodiscard]] int TOKEN_ExpectText(const unsigned char* msg, int length, int offset,
                                   unsigned char kind, std::string* text, std::string* detail);

// Reads the name token ('a') at *offset into *name and moves *offset past
// it. On failure writes the error reply "<missing>\n<detail>"
// (REPLY_ErrorDetail) and returns 0.
[[nodiscard]] int TOKEN_ReadName(const unsigned char* msg, int length, int* offset,
                                 std::string_view missing, std::string* name);

// Reads an i32 payload. Fewer than four bytes left fails with
// "Syntax error: <integer value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Int32(const unsigned char* msg, int length, int offset, int32_t* value,
                              std::string* detail);

// Reads an i16 payload ('c'). Fewer than two bytes left fails with
// "Syntax error: <smallint value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Int16(const unsigned char* msg, int length, int offset, int16_t* value,
                              std::string* detail);

// Reads a double payload ('e'). Fewer than eight bytes left fails with
// "Syntax error: <float value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Double(const unsigned char* msg, int length, int offset, double* value,
                               std::string* detail);

// Reads the payload of a typed value of a binary message (u16 L, L bytes):
// *bytes points into the message, *size is L. A payload that is cut short
// fails with "Syntax error: <value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Data(const unsigned char* msg, int length, int offset,
                             const unsigned char** bytes, int* size, std::string* detail);

// Reads one kind byte. At the end of the message the kind read is 'x' (end
// of statement) and the offset stays; this step never fails.
int TOKEN_Kind(const unsigned char* msg, int length, int offset, unsigned char* kind);
