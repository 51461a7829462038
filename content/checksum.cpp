// checksum.cpp: CRC-32C by the processor's instruction or by tables.
#include "content/checksum.h"

#include <array>
#include <cstring>

namespace {
constexpr uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli

// kTables[0] is the byte-at-a-time table; kTables[k][b] advances the
// register past byte b followed by k zero bytes, so eight table lookups
// take eight bytes at once.
using TABLES = std::array<std::array<uint32_t, 256>, 8>;

constexpr TABLES MakeTables() {
  TABLES t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t crc = b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1u)));
    t[0][b] = crc;
  }
  for (std::size_t k = 1; k < t.size(); ++k) {
    for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  }
  return t;
}
constexpr TABLES kTables = MakeTables();

uint32_t UpdateByTables(uint32_t crc, const unsigned char* p, std::size_t n) {
  for (; n >= 8; p += 8, n -= 8) {
    uint32_t low = 0;
    uint32_t high = 0;
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + 4, 4);
    low ^= crc;  // little-endian: the register meets the first four bytes
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
  }
  for (; n > 0; ++p, --n) crc = (crc >> 8) ^ kTables[0][(crc ^ *p) & 0xFF];
  return crc;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// One stream of eight bytes a step. Three interleaved streams would hide
// the instruction's latency where it is pipelined, but on the processors
// this was measured on (one step per three cycles, pipelined or not) they
// were slower than one, for the cost of joining them.
__attribute__((target("sse4.2"))) uint32_t UpdateByInstruction(uint32_t crc, const unsigned char* p,
                                                               std::size_t n) {
  uint64_t c = crc;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w = 0;
    std::memcpy(&w, p, 8);
    c = __builtin_ia32_crc32di(c, w);
  }
  uint32_t c32 = static_cast<uint32_t>(c);
  for (; n > 0; ++p, --n) c32 = __builtin_ia32_crc32qi(c32, *p);
  return c32;
}

bool HasInstruction() {
  static const bool has = __builtin_cpu_supports("sse4.2");
  return has;
}
#endif
}  // namespace

uint32_t CHECKSUM_Update(uint32_t state, const void* data, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (HasInstruction()) return UpdateByInstruction(state, p, length);
#endif
  return UpdateByTables(state, p, length);
}
