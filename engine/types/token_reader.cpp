// token_reader.cpp: reading the tokens of a command message.
#include "engine/types/token_reader.h"

#include <cstring>

#include "engine/types/reply.h"
#include "engine/types/tokens.h"
#include "engine/types/wire.h"

namespace {

constexpr char kExpectedFound[] = "Syntax error: %s expected (found %s)";
constexpr char kNoName[] = "Syntax error: <name> expected (unexpected end of squery)";
constexpr char kNoInteger[] = "Syntax error: <integer value> expected (unexpected end of squery)";
constexpr char kNoSmallint[] = "Syntax error: <smallint value> expected (unexpected end of squery)";
constexpr char kNoFloat[] = "Syntax error: <float value> expected (unexpected end of squery)";
constexpr char kNoValue[] = "Syntax error: <value> expected (unexpected end of squery)";

uint16_t ReadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

int TOKEN_Expect(const unsigned char* msg, int length, int offset, unsigned char kind,
                 std::string* detail) {
  detail->clear();
  if (offset >= length) return TOKEN_FAILED;
  if (msg[offset] != kind) {
    *detail = WIRE_Format(kExpectedFound, DBTK_Name(kind), DBTK_Name(msg[offset]));
    return TOKEN_FAILED;
  }
  return offset + 1;
}

int TOKEN_Text(const unsigned char* msg, int length, int offset, std::string* text,
               std::string* detail) {
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
  const size_t n =
      zero ? static_cast<const unsigned char*>(zero) - start : static_cast<size_t>(size);
  text->assign(reinterpret_cast<const char*>(start), n);
  return offset + 2 + size;
}

int TOKEN_ExpectText(const unsigned char* msg, int length, int offset, unsigned char kind,
                     std::string* text, std::string* detail) {
  const int next = TOKEN_Expect(msg, length, offset, kind, detail);
  if (next < 0) return TOKEN_FAILED;
  return TOKEN_Text(msg, length, next, text, detail);
}

int TOKEN_ReadName(const unsigned char* msg, int length, int* offset, std::string_view missing,
                   std::string* name) {
  std::string detail;
  const int next = TOKEN_ExpectText(msg, length, *offset, DBTK_IDENT, name, &detail);
  if (next < 0) {
    REPLY_ErrorDetail(missing, detail);
    return 0;
  }
  *offset = next;
  return 1;
}

int TOKEN_Int32(const unsigned char* msg, int length, int offset, int32_t* value,
                std::string* detail) {
  detail->clear();
  if (length - offset < 4) {
    *detail = kNoInteger;
    return TOKEN_FAILED;
  }
  std::memcpy(value, msg + offset, 4);
  return offset + 4;
}

int TOKEN_Int16(const unsigned char* msg, int length, int offset, int16_t* value,
                std::string* detail) {
  detail->clear();
  if (length - offset < 2) {
    *detail = kNoSmallint;
    return TOKEN_FAILED;
  }
  std::memcpy(value, msg + offset, 2);
  return offset + 2;
}

int TOKEN_Double(const unsigned char* msg, int length, int offset, double* value,
                 std::string* detail) {
  detail->clear();
  if (length - offset < 8) {
    *detail = kNoFloat;
    return TOKEN_FAILED;
  }
  std::memcpy(value, msg + offset, 8);
  return offset + 8;
}

int TOKEN_Data(const unsigned char* msg, int length, int offset, const unsigned char** bytes,
               int* size, std::string* detail) {
  detail->clear();
  if (length - offset < 2 || length - offset - 2 < ReadU16(msg + offset)) {
    *detail = kNoValue;
    return TOKEN_FAILED;
  }
  *size = ReadU16(msg + offset);
  *bytes = msg + offset + 2;
  return offset + 2 + *size;
}

int TOKEN_Kind(const unsigned char* msg, int length, int offset, unsigned char* kind) {
  if (offset >= length) {
    *kind = 'x';
    return offset;
  }
  *kind = msg[offset];
  return offset + 1;
}
