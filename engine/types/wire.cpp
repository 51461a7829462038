// wire.cpp: the growable buffer and formatting of the request channel.
#include "engine/types/wire.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "the wire and the row forms are little-endian host order");

std::string WIRE_FormatV(const char* format, va_list args) {
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

std::string WIRE_Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = WIRE_FormatV(format, args);
  va_end(args);
  return out;
}

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
