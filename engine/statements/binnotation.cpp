// binnotation.cpp: decoding the text notation of BINARY constants.
#include "engine/statements/binnotation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned char kEscape = '$';
constexpr unsigned char kRunMark = 0xA7;

// Value of an upper-case hexadecimal digit, or -1.
int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends one byte unless the maximum is reached.
[[nodiscard]] bool Put(std::string* out, int max_bytes, unsigned char byte) {
  if (static_cast<int>(out->size()) >= max_bytes) return false;
  out->push_back(static_cast<char>(byte));
  return true;
}

// A '$' escape at `i`; advances *i past it.
[[nodiscard]] bool Escape(std::string_view text, size_t* i, int max_bytes, std::string* out) {
  if (*i + 1 < text.size() && static_cast<unsigned char>(text[*i + 1]) == kEscape) {
    *i += 2;
    return Put(out, max_bytes, kEscape);
  }
  if (*i + 2 >= text.size()) return false;
  const int high = HexDigit(static_cast<unsigned char>(text[*i + 1]));
  const int low = HexDigit(static_cast<unsigned char>(text[*i + 2]));
  if (high < 0 || low < 0) return false;
  *i += 3;
  return Put(out, max_bytes, static_cast<unsigned char>(high * 16 + low));
}

// A run opened by 0xA7 at `i` (not followed by a second 0xA7): hex pairs up
// to the closing 0xA7, which is consumed.
[[nodiscard]] bool Run(std::string_view text, size_t* i, int max_bytes, std::string* out) {
  size_t k = *i + 1;
  while (k < text.size() && static_cast<unsigned char>(text[k]) != kRunMark) {
    if (k + 1 >= text.size()) return false;
    const int high = HexDigit(static_cast<unsigned char>(text[k]));
    const int low = HexDigit(static_cast<unsigned char>(text[k + 1]));
    if (high < 0 || low < 0) return false;
    if (!Put(out, max_bytes, static_cast<unsigned char>(high * 16 + low))) return false;
    k += 2;
  }
  if (k >= text.size()) return false;  // no closing mark
  *i = k + 1;
  return true;
}

}  // namespace

int BINNOT_Decode(std::string_view text, int max_bytes, std::string* out) {
  out->clear();
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    bool ok;
    if (c == kEscape) {
      ok = Escape(text, &i, max_bytes, out);
    } else if (c == kRunMark && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) == kRunMark) {
      i += 2;
      ok = Put(out, max_bytes, kRunMark);
    } else if (c == kRunMark) {
      ok = Run(text, &i, max_bytes, out);
    } else {
      ++i;
      ok = Put(out, max_bytes, c);
    }
    if (!ok) return 0;
  }
  return 1;
}

int BINNOT_ToField(std::string_view text, int field_size, unsigned char* field) {
  std::string bytes;
  // The length word is 16 bits wide, whatever the field's size.
  const int max_bytes = std::min(field_size - 2, static_cast<int>(INT16_MAX));
  if (field_size < 2 || !BINNOT_Decode(text, max_bytes, &bytes)) return 0;
  const auto n = static_cast<int16_t>(bytes.size());
  std::memset(field, 0, static_cast<size_t>(field_size));
  std::memcpy(field, &n, sizeof n);
  if (n > 0) std::memcpy(field + 2, bytes.data(), bytes.size());
  return 1;
}
