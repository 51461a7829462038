// wire.cpp: the reply buffer and the token-reading steps of the engine side.
#include "engine/types/wire.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/types/tokens.h"

static_assert(std::endian::native == std::endian::little,
              "the wire and the row forms are little-endian host order");

namespace {

constexpr char kExpectedFound[] = "Syntax error: %s expected (found %s)";
constexpr char kNoName[] =
    "Syntax error: <name> expected (unexpected end of squery)";
constexpr char kNoInteger[] =
    "Syntax error: <integer value> expected (unexpected end of squery)";
constexpr char kNoSmallint[] =
    "Syntax error: <smallint value> expected (unexpected end of squery)";
constexpr char kNoFloat[] =
    "Syntax error: <float value> expected (unexpected end of squery)";
constexpr char kNoValue[] =
    "Syntax error: <value> expected (unexpected end of squery)";

// Offsets inside a row reply: code, column count, then the row count.
constexpr int kRowCountOffset = 5;

struct REPLYSTATE {
  WIREBUF buf;
};

REPLYSTATE& Reply() {
  static REPLYSTATE state;
  return state;
}

void Put(const void* bytes, int length) {
  WIRE_Append(&Reply().buf, bytes, length);
}

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
  return text.size() > static_cast<size_t>(WIRE_MAXTEXT)
             ? WIRE_MAXTEXT
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

uint16_t ReadU16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Formats printf-style into a string of any length.
std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

std::string WIRE_Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = FormatV(format, args);
  va_end(args);
  return out;
}

// ---------------------------------------------------------------------------
// Growable buffer

void WIRE_Reserve(WIREBUF* buf, int length) {
  const size_t needed = static_cast<size_t>(buf->used) + static_cast<size_t>(std::max(length, 0));
  if (needed <= buf->bytes.size()) return;
  size_t capacity;
  if (buf->bytes.empty()) {
    capacity = needed > WIRE_FIRSTALLOC ? needed : WIRE_FIRSTALLOC;
  } else {
    capacity = buf->bytes.size() + WIRE_GROWSTEP;
    if (capacity < needed) capacity = needed;
  }
  buf->bytes.resize(capacity);
}

void WIRE_Append(WIREBUF* buf, const void* bytes, int length) {
  if (length <= 0) return;
  WIRE_Reserve(buf, length);
  std::memcpy(buf->bytes.data() + buf->used, bytes, length);
  buf->used += length;
}

void WIRE_PatchInt32(WIREBUF* buf, int offset, int32_t value) {
  if (offset < 0 || offset + 4 > buf->used) return;
  std::memcpy(buf->bytes.data() + offset, &value, 4);
}

// ---------------------------------------------------------------------------
// Reply buffer

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
  const std::string text = FormatV(format, args);
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

void REPLY_SetRowCount(int32_t rows) {
  WIRE_PatchInt32(&Reply().buf, kRowCountOffset, rows);
}

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

void REPLY_AppendBytes(const void* bytes, int length) { Put(bytes, length); }

void REPLY_AppendInt16(int16_t value) { Put(&value, 2); }

void REPLY_AppendInt32(int32_t value) { Put(&value, 4); }

void REPLY_AppendDouble(double value) { Put(&value, 8); }

void REPLY_ResetForTest() { Reply() = REPLYSTATE(); }

// ---------------------------------------------------------------------------
// Token reading

int TOKEN_Expect(const unsigned char* msg, int length, int offset,
                 unsigned char kind, std::string* detail) {
  detail->clear();
  if (offset >= length) return TOKEN_FAILED;
  if (msg[offset] != kind) {
    *detail = WIRE_Format(kExpectedFound, DBTK_Name(kind), DBTK_Name(msg[offset]));
    return TOKEN_FAILED;
  }
  return offset + 1;
}

int TOKEN_Text(const unsigned char* msg, int length, int offset,
               std::string* text, std::string* detail) {
  detail->clear();
  if (length - offset < 2) {
    *detail = kNoName;
    return TOKEN_FAILED;
  }
  const int size = ReadU16(msg + offset);
  // A length that runs past the message would read foreign memory.
  if (length - offset - 2 < size) {
    *detail = kNoName;
    return TOKEN_FAILED;
  }
  const unsigned char* start = msg + offset + 2;
  const void* zero = std::memchr(start, 0, size);
  const size_t n = zero ? static_cast<const unsigned char*>(zero) - start
                        : static_cast<size_t>(size);
  text->assign(reinterpret_cast<const char*>(start), n);
  return offset + 2 + size;
}

int TOKEN_ExpectText(const unsigned char* msg, int length, int offset,
                     unsigned char kind, std::string* text,
                     std::string* detail) {
  const int next = TOKEN_Expect(msg, length, offset, kind, detail);
  if (next < 0) return TOKEN_FAILED;
  return TOKEN_Text(msg, length, next, text, detail);
}

int TOKEN_ReadName(const unsigned char* msg, int length, int* offset,
                   std::string_view missing, std::string* name) {
  std::string detail;
  const int next = TOKEN_ExpectText(msg, length, *offset, DBTK_IDENT, name, &detail);
  if (next < 0) {
    REPLY_ErrorDetail(missing, detail);
    return 0;
  }
  *offset = next;
  return 1;
}

int TOKEN_Int32(const unsigned char* msg, int length, int offset,
                int32_t* value, std::string* detail) {
  detail->clear();
  if (length - offset < 4) {
    *detail = kNoInteger;
    return TOKEN_FAILED;
  }
  std::memcpy(value, msg + offset, 4);
  return offset + 4;
}

int TOKEN_Int16(const unsigned char* msg, int length, int offset,
                int16_t* value, std::string* detail) {
  detail->clear();
  if (length - offset < 2) {
    *detail = kNoSmallint;
    return TOKEN_FAILED;
  }
  std::memcpy(value, msg + offset, 2);
  return offset + 2;
}

int TOKEN_Double(const unsigned char* msg, int length, int offset,
                 double* value, std::string* detail) {
  detail->clear();
  if (length - offset < 8) {
    *detail = kNoFloat;
    return TOKEN_FAILED;
  }
  std::memcpy(value, msg + offset, 8);
  return offset + 8;
}

int TOKEN_Data(const unsigned char* msg, int length, int offset,
               const unsigned char** bytes, int* size, std::string* detail) {
  detail->clear();
  if (length - offset < 2 || length - offset - 2 < ReadU16(msg + offset)) {
    *detail = kNoValue;
    return TOKEN_FAILED;
  }
  *size = ReadU16(msg + offset);
  *bytes = msg + offset + 2;
  return offset + 2 + *size;
}

int TOKEN_Kind(const unsigned char* msg, int length, int offset,
               unsigned char* kind) {
  if (offset >= length) {
    *kind = 'x';
    return offset;
  }
  *kind = msg[offset];
  return offset + 1;
}
