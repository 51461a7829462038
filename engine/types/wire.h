// wire.h: the engine side of the request channel between client and engine.
// Owns the process-wide reply buffer (one reply per command message) and
// the token-reading steps that every statement handler uses to read its
// command message. Handlers include only this header to talk to the client.
//
// All numbers on the wire are little-endian. A text on the wire is its
// bytes followed by one zero byte.
//
// Command message (built by the client, read here):
//
//   | Offset | Size | Content                                         |
//   |--------|------|-------------------------------------------------|
//   | 0      | 1    | command letter '1'..'X'                         |
//   | 1      | rest | tokens, one after the other, no separators      |
//
// The message has no length field and no terminator; its length travels
// beside it. A token is one kind byte followed by its payload:
//
//   | Kind                              | Payload                          |
//   |-----------------------------------|----------------------------------|
//   | 'a' name, 'f' string, 'b' error   | u16 L (counts the zero), L bytes |
//   | 'd' integer                       | i32                              |
//   | 'e' float                         | 64-bit IEEE double               |
//   | 'c' small integer                 | i16                              |
//   | typed value '0'..'6', 0xA6        | u16 L, then L bytes of row form  |
//   |   (binary messages only)          |   (BINARY: u16 n, n bytes, L=n+2)|
//   | every other kind                  | none                             |
//
// Reply (written here, parsed by the client):
//
//   | First byte | Meaning              | What follows                     |
//   |------------|----------------------|----------------------------------|
//   | '1'        | done                 | nothing                          |
//   | '0'        | error                | 'b', u16 L, text, zero           |
//   | '2'        | rows                 | i32 columns, i32 rows, columns x |
//   |            |                      | (u16 L, name + zero, type byte,  |
//   |            |                      | i32 size), then rows x columns x |
//   |            |                      | (u16 L, L bytes of the cell)     |
//   | '4'        | rows, not all rows   | as '2'                           |
//   |            | were evaluated       |                                  |
//   | '3'        | rows touched         | i32 count                        |
//   | '-'        | BEGIN must wait      | nothing                          |
//
// A cell holds: CHARACTER the text and its zero; BINARY the value's u16
// length n and n bytes; any other type its row form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One statement handler: runs the command message `msg` of `length` bytes
// (the command letter at offset 0) for connection `conn_id` and leaves
// exactly one reply in the reply buffer.
using SqlHandler = void (*)(int conn_id, const unsigned char* msg, int length);

// Little-endian signed 32-bit numbers, as the wire and the engine's files
// store them, byte by byte so that neither alignment nor host order matters.
inline void WIRE_PutInt32(unsigned char* out, int32_t value) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<unsigned char>(static_cast<uint32_t>(value) >> (8 * i));
  }
}
inline int32_t WIRE_GetInt32(const unsigned char* in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(in[i]) << (8 * i);
  return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------------------
// Reply buffer

// The first append allocates this much (or the appended size, if larger).
inline constexpr int WIRE_FIRSTALLOC = 100000;
// A full buffer grows by this much, or to exactly the needed size when this
// would not suffice, so that bulk replies do not reallocate per row.
inline constexpr int WIRE_GROWSTEP = 1000000;
// Longest text a 'b' or 'a'/'f' token can carry: its u16 length counts the
// terminating zero. Longer texts are cut to this many bytes.
inline constexpr int WIRE_MAXTEXT = 65534;

// A growable byte buffer with the growth rule above. The client's message
// buffer and the engine's reply buffer are each one of these.
struct WIREBUF {
  std::vector<unsigned char> bytes;  // capacity = bytes.size()
  int used = 0;                      // bytes of the message so far
};

// Appends `length` bytes, growing the buffer by the rule above.
void WIRE_Append(WIREBUF* buf, const void* bytes, int length);
// Grows the buffer by the rule above so that `length` more bytes fit after
// the used ones; the used length stays.
void WIRE_Reserve(WIREBUF* buf, int length);
// Overwrites 4 bytes at `offset` (which must lie within the used length)
// with the little-endian `value`.
void WIRE_PatchInt32(WIREBUF* buf, int offset, int32_t value);

// Empties the reply (used length 0). process_sql calls it before each
// handler; handlers do not need to.
void REPLY_Reset();

// The bytes of the current reply and their number. Valid until the next
// reply is written.
const unsigned char* REPLY_Data();
int REPLY_Length();

// Whole replies. Each of these replaces whatever the reply held so far, so
// a handler that fails half-way through writing rows still leaves exactly
// one well-formed reply.
void REPLY_Success();                   // '1'
void REPLY_Error(std::string_view text);  // '0' 'b' u16 L text 0
[[gnu::format(printf, 1, 2)]] void REPLY_Errorf(const char* format, ...);
// The usual handler failure: its own message, "\n", then the token detail
// (which may be empty, meaning the message simply ended).
void REPLY_ErrorDetail(std::string_view message, std::string_view detail);
void REPLY_Count(int32_t count);        // '3' i32
void REPLY_Wait();                      // '-'

// A row reply, written in pieces: REPLY_RowsBegin, one REPLY_Column per
// column, then REPLY_Cell for each cell row by row. `code` is '2' for a
// complete result or '4' for one that stopped at a limit. REPLY_RowsBegin
// replaces the reply; REPLY_SetRowCount patches the row count afterwards
// for a handler that counts rows while it writes them.
void REPLY_RowsBegin(char code, int32_t columns, int32_t rows);
void REPLY_SetRowCount(int32_t rows);
void REPLY_Column(std::string_view name, unsigned char type, int32_t size);
void REPLY_Cell(const void* bytes, int length);  // u16 length, bytes
void REPLY_CellText(std::string_view text);      // u16 L, text, zero

// Raw appends, for anything the pieces above do not cover.
void REPLY_AppendByte(unsigned char byte);
void REPLY_AppendBytes(const void* bytes, int length);
void REPLY_AppendInt16(int16_t value);
void REPLY_AppendInt32(int32_t value);
void REPLY_AppendDouble(double value);

// Empties and releases the reply buffer. Only tests call it.
void REPLY_ResetForTest();

// Formats printf-style into a string of any length (empty when the format
// produces nothing).
[[gnu::format(printf, 1, 2)]] std::string WIRE_Format(const char* format, ...);

// ---------------------------------------------------------------------------
// Token reading
//
// Each step takes the current offset into the message and returns the next
// offset, or TOKEN_FAILED with the reason in *detail. The detail is empty
// when the message simply ended where a token was due; a handler then joins
// its own message, "\n" and the detail (REPLY_ErrorDetail).

inline constexpr int TOKEN_FAILED = -1;
// Offset of the first token: tokens follow the command letter.
inline constexpr int TOKEN_FIRST = 1;

// Expects the kind byte `kind` at `offset`.
// At the end of the message: TOKEN_FAILED with an empty detail.
// Another kind: "Syntax error: %s expected (found %s)" with display names.
[[nodiscard]] int TOKEN_Expect(const unsigned char* msg, int length, int offset,
                               unsigned char kind, std::string* detail);

// Reads the payload of an 'a', 'f' or 'b' token (u16 L, then L bytes) into
// *text, without its terminating zero. A payload that is cut short fails
// with "Syntax error: <name> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Text(const unsigned char* msg, int length, int offset,
                             std::string* text, std::string* detail);

// TOKEN_Expect followed by TOKEN_Text: the usual way to read a name.
[[nodiscard]] int TOKEN_ExpectText(const unsigned char* msg, int length,
                                   int offset, unsigned char kind,
                                   std::string* text, std::string* detail);

// Reads the name token ('a') at *offset into *name and moves *offset past
// it. On failure writes the error reply "<missing>\n<detail>"
// (REPLY_ErrorDetail) and returns 0.
[[nodiscard]] int TOKEN_ReadName(const unsigned char* msg, int length, int* offset,
                                 std::string_view missing, std::string* name);

// Reads an i32 payload. Fewer than four bytes left fails with
// "Syntax error: <integer value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Int32(const unsigned char* msg, int length, int offset,
                              int32_t* value, std::string* detail);

// Reads an i16 payload ('c'). Fewer than two bytes left fails with
// "Syntax error: <smallint value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Int16(const unsigned char* msg, int length, int offset,
                              int16_t* value, std::string* detail);

// Reads a double payload ('e'). Fewer than eight bytes left fails with
// "Syntax error: <float value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Double(const unsigned char* msg, int length,
                               int offset, double* value, std::string* detail);

// Reads the payload of a typed value of a binary message (u16 L, L bytes):
// *bytes points into the message, *size is L. A payload that is cut short
// fails with "Syntax error: <value> expected (unexpected end of squery)".
[[nodiscard]] int TOKEN_Data(const unsigned char* msg, int length, int offset,
                             const unsigned char** bytes, int* size,
                             std::string* detail);

// Reads one kind byte. At the end of the message the kind read is 'x' (end
// of statement) and the offset stays; this step never fails.
int TOKEN_Kind(const unsigned char* msg, int length, int offset,
               unsigned char* kind);
