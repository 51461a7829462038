// wire.h: the bytes of the request channel between client and engine
// (WIRE): the command message and reply formats, their little-endian
// numbers, and the growable buffer that holds a message or a reply.
// Owns the formats; the engine's reply buffer is reply.h, the reading of a
// command message's tokens token_reader.h, the kind bytes tokens.h.
//
// All numbers on the wire are little-endian. A text on the wire is its
// bytes followed by one zero byte.
//
// Command message (built by the client, read by token_reader.h):
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
// Reply (written by reply.h, parsed by the client):
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

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

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
// Buffer

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

// Formats printf-style into a string of any length (empty when the format
// produces nothing).
[[gnu::format(printf, 1, 2)]] std::string WIRE_Format(const char* format, ...);
// The same with the arguments already taken, for printf-style reporters.
[[gnu::format(printf, 1, 0)]] std::string WIRE_FormatV(const char* format, va_list args);
