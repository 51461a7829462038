// pelko_fuzz.cpp: the block compressor's reader on arbitrary bytes, and
// the writer and reader together on arbitrary data.
//
// Input: one flag byte, two parameter bytes, then the payload.
//   flag bit 0 clear: the payload is compressed data; the reader decodes
//     it in pieces (bit 1: pieces larger than a block, decoded in place;
//     else pieces of 1 + 37 x the first parameter bytes).
//   flag bit 0 set: the payload is compressed by a writer of the harness's
//     own with comp_min and comp_cache taken from the parameters (bit 2:
//     the mode without shortcuts), read back and compared; compressed
//     again, it must give the same bytes, whatever the writer kept from the
//     inputs before. Inputs stay within one block: the block boundary is a
//     fixed place that the unit tests cover, and coding a full block per
//     input would slow the fuzzer down a hundredfold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compress/pelko.h"

namespace {
// Decoding stops here: a small stream may legally stand for a huge one,
// and what matters is only that the reader copes with the bytes it sees.
constexpr std::size_t kDecodeCap = std::size_t(64) << 20;
constexpr std::size_t kBigPiece = PELKO_BLOCK + 64;  // decoded in place
constexpr int kSmallPieceStep = 37;                  // bytes per parameter step

void Require(bool condition) {
  if (!condition) std::abort();
}

void Decode(const uint8_t* data, size_t size, bool big_pieces, int param) {
  if (!Uncompress_Init(data, size)) return;
  const std::size_t piece = big_pieces ? kBigPiece : 1 + std::size_t(param) * kSmallPieceStep;
  std::vector<unsigned char> buffer(piece);
  std::size_t total = 0;
  std::ptrdiff_t got = 1;
  while (got > 0 && total < kDecodeCap) {
    got = Uncompress_Read(buffer.data(), piece);
    Require(got <= static_cast<std::ptrdiff_t>(piece));
    if (got > 0) total += std::size_t(got);
  }
  if (total < kDecodeCap) {
    // The end and a corruption both stay as they are.
    const std::ptrdiff_t again = Uncompress_Read(buffer.data(), piece);
    Require(got < 0 ? again < 0 : again == 0);
  }
  Uncompress_End();
}

// The harness's writer, kept from input to input as the chunk encoder
// keeps the default one.
PELKO_WRITER& Writer() {
  static PELKO_WRITER writer;
  return writer;
}

// Compresses in two additions, split where `split` says, as a caller that
// adds in pieces would.
std::vector<unsigned char> Pack(const std::vector<unsigned char>& payload, std::size_t split,
                                int mode, int comp_min, int comp_cache) {
  Require(PELKO_WriterInit(&Writer(), mode, comp_min, comp_cache));
  Require(PELKO_WriterAdd(&Writer(), payload.data(), split));
  Require(PELKO_WriterAdd(&Writer(), payload.data() + split, payload.size() - split));
  std::vector<unsigned char> packed;
  Require(PELKO_WriterEnd(&Writer(), &packed));
  return packed;
}

void RoundTrip(const uint8_t* data, size_t size, int flags, int p1, int p2) {
  const std::vector<unsigned char> payload(data, data + size);
  const int mode = (flags & 4) != 0 ? 1 : 0;
  const int comp_min = PELKO_MINMATCH_LOW + p1 % (PELKO_MINMATCH_HIGH - PELKO_MINMATCH_LOW + 1);
  const int comp_cache = PELKO_CACHE_LOW + p2 * 16;
  const std::size_t split = payload.empty() ? 0 : std::size_t(p1) % payload.size();
  const std::vector<unsigned char> packed = Pack(payload, split, mode, comp_min, comp_cache);
  Require(packed.size() >= PELKO_HEADER + 4 && (packed.size() - PELKO_HEADER) % 4 == 0);
  Require(Pack(payload, payload.size() - split, mode, comp_min, comp_cache) == packed);

  Require(Uncompress_Init(packed.data(), packed.size()));
  std::vector<unsigned char> back(payload.size() + 1);
  const std::ptrdiff_t got = Uncompress_Read(back.data(), back.size());
  Require(got == static_cast<std::ptrdiff_t>(payload.size()));
  Require(payload.empty() || std::memcmp(back.data(), payload.data(), payload.size()) == 0);
  Require(Uncompress_Read(back.data(), back.size()) == 0);
  Uncompress_End();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int flags = data[0];
  if ((flags & 1) == 0) {
    Decode(data + 3, size - 3, (flags & 2) != 0, data[1]);
  } else {
    RoundTrip(data + 3, size - 3, flags, data[1], data[2]);
  }
  return 0;
}
