// checksum.cpp: CRC-32C by the processor's instruction or by tables.
#include "compress/checksum.h"

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
// Three streams at once hide the instruction's latency of three cycles;
// their registers are joined by shifting the earlier ones past the bytes
// of the later ones, a multiplication in the CRC's field.
constexpr std::size_t kLane = 4096;  // bytes of each of the three streams

// x^(8n) mod P for shifting a register past n zero bytes, as a register
// value: the operator applied to the unit.
constexpr uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  // Reflected multiplication: bit 31 is x^0.
  uint32_t product = 0;
  for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if (a & m) product ^= b;
    b = (b & 1u) ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

constexpr uint32_t PowerOfX(std::size_t bits) {
  uint32_t result = 1u << 31;  // x^0
  uint32_t square = 1u << 30;  // x^1
  for (; bits != 0; bits >>= 1) {
    if (bits & 1u) result = MultiplyModP(result, square);
    square = MultiplyModP(square, square);
  }
  return result;
}
constexpr uint32_t kShiftOneLane = PowerOfX(8 * kLane);
constexpr uint32_t kShiftTwoLanes = PowerOfX(16 * kLane);

// The register after `crc` is moved past n zero bytes, n being fixed by
// the power given: plain CRC arithmetic, no instruction needed.
uint32_t Shift(uint32_t crc, uint32_t power) { return MultiplyModP(crc, power); }

__attribute__((target("sse4.2"))) uint32_t UpdateByInstruction(uint32_t crc,
                                                                 const unsigned char* p,
                                                                 std::size_t n) {
  uint64_t c0 = crc;
  for (; n >= 3 * kLane; p += 3 * kLane, n -= 3 * kLane) {
    uint64_t c1 = 0;
    uint64_t c2 = 0;
    for (std::size_t at = 0; at < kLane; at += 8) {
      uint64_t w0 = 0;
      uint64_t w1 = 0;
      uint64_t w2 = 0;
      std::memcpy(&w0, p + at, 8);
      std::memcpy(&w1, p + kLane + at, 8);
      std::memcpy(&w2, p + 2 * kLane + at, 8);
      c0 = __builtin_ia32_crc32di(c0, w0);
      c1 = __builtin_ia32_crc32di(c1, w1);
      c2 = __builtin_ia32_crc32di(c2, w2);
    }
    c0 = Shift(static_cast<uint32_t>(c0), kShiftTwoLanes) ^
         Shift(static_cast<uint32_t>(c1), kShiftOneLane) ^ c2;
  }
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t w = 0;
    std::memcpy(&w, p, 8);
    c0 = __builtin_ia32_crc32di(c0, w);
  }
  uint32_t c = static_cast<uint32_t>(c0);
  for (; n > 0; ++p, --n) c = __builtin_ia32_crc32qi(c, *p);
  return c;
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
