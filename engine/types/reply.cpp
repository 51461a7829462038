// reply.cpp: the engine's reply buffer.
#include "engine/types/reply.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "engine/types/wire.h"

namespace {

// Offsets inside a row reply: code, column count, then the row count.
constexpr int kRowCountOffset = 5;

struct REPLYSTATE {
  WIREBUF buf;
};

REPLYSTATE& Reply() {
  static REPLYSTATE state;
  return state;
}

void Put(const void* bytes, int length) { WIRE_Append(&Reply().buf, bytes, length); }

// Room for `length` more bytes at the end of the reply, counted as used;
// the caller fills all of them. One reservation per cell instead of one
// append per piece keeps large row replies cheap.
unsigned char* Claim(int length) {
  WIREBUF& buf = Reply().buf;
  WIRE_Reserve(&buf, length);
  unsigned char* at = buf.bytes.data() + buf.used;
  buf.used += length;
  return at;
}

// Texts on the wire carry a u16 length that counts their zero.
int WireTextLength(std::string_view text) {
  return text.size() > static_cast<size_t>(WIRE_MAXTEXT) ? WIRE_MAXTEXT
                                                         : static_cast<int>(text.size());
}

void PutText(std::string_view text) {
  const int n = WireTextLength(text);
  const uint16_t counted = static_cast<uint16_t>(n + 1);
  unsigned char* at = Claim(n + 3);
  std::memcpy(at, &counted, 2);
  if (n > 0) std::memcpy(at + 2, text.data(), static_cast<size_t>(n));
  at[n + 2] = 0;
}

}  // namespace

void REPLY_Reset() { Reply().buf.used = 0; }

const unsigned char* REPLY_Data() { return Reply().buf.bytes.data(); }

int REPLY_Length() { return Reply().buf.used; }

void REPLY_Success() {
  REPLY_Reset();
  REPLY_AppendByte('1');
}

void REPLY_Error(std::string_view text) {
  REPLY_Reset();
  REPLY_AppendByte('0');
  REPLY_AppendByte('b');
  PutText(text);
}

void REPLY_Errorf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = WIRE_FormatV(format, args);
  va_end(args);
  REPLY_Error(text);
}

void REPLY_ErrorDetail(std::string_view message, std::string_view detail) {
  std::string text(message);
  text += '\n';
  text += detail;
  REPLY_Error(text);
}

void REPLY_Count(int32_t count) {
  REPLY_Reset();
  REPLY_AppendByte('3');
  REPLY_AppendInt32(count);
}

void REPLY_Wait() {
  REPLY_Reset();
  REPLY_AppendByte('-');
}

void REPLY_RowsBegin(char code, int32_t columns, int32_t rows) {
  REPLY_Reset();
  REPLY_AppendByte(static_cast<unsigned char>(code));
  REPLY_AppendInt32(columns);
  REPLY_AppendInt32(rows);
}

void REPLY_SetRowCount(int32_t rows) { WIRE_PatchInt32(&Reply().buf, kRowCountOffset, rows); }

void REPLY_Column(std::string_view name, unsigned char type, int32_t size) {
  PutText(name);
  REPLY_AppendByte(type);
  REPLY_AppendInt32(size);
}

void REPLY_Cell(const void* bytes, int length) {
  const uint16_t counted = static_cast<uint16_t>(length);
  const int n = std::max(length, 0);
  unsigned char* at = Claim(n + 2);
  std::memcpy(at, &counted, 2);
  if (n > 0) std::memcpy(at + 2, bytes, static_cast<size_t>(n));
}

void REPLY_CellText(std::string_view text) { PutText(text); }

void REPLY_AppendByte(unsigned char byte) { Put(&byte, 1); }

void REPLY_AppendInt32(int32_t value) { Put(&value, 4); }

void REPLY_ResetForTest() { Reply() = REPLYSTATE(); }
