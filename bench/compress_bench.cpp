// compress_bench.cpp: speed of the block compressor and the chunk encoder
// on the benchmark corpus (many.tar and big.tar below $KASPO_CORPUS,
// default /tmp/corpus; bench/compress_compare.sh builds it and sets the
// figures beside gzip, zstd and lz4).
//
// Throughput counts uncompressed bytes in both directions; "ratio" is
// compressed size / original size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "compress/pelko.h"
#include "content/checksum.h"
#include "content/chunk_read.h"
#include "content/chunk_write.h"

namespace {
using Bytes = std::vector<unsigned char>;

// The corpus files, read once; an empty vector when a file is missing.
const Bytes& Corpus(const std::string& name) {
  static std::map<std::string, Bytes> files;
  auto found = files.find(name);
  if (found != files.end()) return found->second;
  const char* dir = std::getenv("KASPO_CORPUS");
  std::ifstream in(std::string(dir != nullptr ? dir : "/tmp/corpus") + "/" + name,
                   std::ios::binary);
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return files.emplace(name, std::move(data)).first->second;
}

const char* FileName(const benchmark::State& state) {
  return state.range(0) == 0 ? "many.tar" : "big.tar";
}

bool Compress(const Bytes& data, Bytes* out) {
  return Compress_Init(0, 5, 64) && Compress_Add(data.data(), data.size()) && Compress_End(out);
}

void BM_PelkoCompress(benchmark::State& state) {
  const Bytes& data = Corpus(FileName(state));
  if (data.empty()) return state.SkipWithError("corpus file missing");
  Bytes out;
  for (auto _ : state) {
    if (!Compress(data, &out)) return state.SkipWithError("compression failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] = static_cast<double>(out.size()) / static_cast<double>(data.size());
  state.SetLabel(FileName(state));
}

bool CompressWith(PELKO_WRITER* writer, const unsigned char* data, std::size_t size, Bytes* out) {
  return PELKO_WriterInit(writer, 0, 5, 64) && PELKO_WriterAdd(writer, data, size) &&
         PELKO_WriterEnd(writer, out);
}

// The corpus file in two halves on two threads, each with a writer of its
// own: the wall time two cores take (the ratio counts both outputs).
void BM_PelkoCompressTwoWriters(benchmark::State& state) {
  const Bytes& data = Corpus(FileName(state));
  if (data.empty()) return state.SkipWithError("corpus file missing");
  const std::size_t half = data.size() / 2;
  PELKO_WRITER writers[2];
  Bytes out[2];
  bool ok[2] = {true, true};
  for (auto _ : state) {
    std::thread second([&] {
      ok[1] = CompressWith(&writers[1], data.data() + half, data.size() - half, &out[1]);
    });
    ok[0] = CompressWith(&writers[0], data.data(), half, &out[0]);
    second.join();
    if (!ok[0] || !ok[1]) return state.SkipWithError("compression failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] =
      static_cast<double>(out[0].size() + out[1].size()) / static_cast<double>(data.size());
  state.SetLabel(FileName(state));
}

void BM_PelkoUncompress(benchmark::State& state) {
  const Bytes& data = Corpus(FileName(state));
  if (data.empty()) return state.SkipWithError("corpus file missing");
  Bytes packed;
  if (!Compress(data, &packed)) return state.SkipWithError("compression failed");
  Bytes out(data.size() + 1);
  for (auto _ : state) {
    if (!Uncompress_Init(packed.data(), packed.size())) return state.SkipWithError("bad header");
    const std::ptrdiff_t got = Uncompress_Read(out.data(), out.size());
    Uncompress_End();
    if (got != static_cast<std::ptrdiff_t>(data.size())) return state.SkipWithError("bad data");
  }
  if (std::memcmp(out.data(), data.data(), data.size()) != 0) state.SkipWithError("bad data");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(data.size());
  state.SetLabel(FileName(state));
}

// The whole item path of the chunk encoder: the stream into 4000-byte
// chunks and back (mode 1 "#01", mode 2 "#50").
void BM_ComprChunks(benchmark::State& state) {
  const Bytes& data = Corpus("many.tar");
  if (data.empty()) return state.SkipWithError("corpus file missing");
  const int mode = static_cast<int>(state.range(0));
  std::vector<RECORD_BINARY> chunks;
  std::size_t packed = 0;
  for (auto _ : state) {
    COMPR obj;
    COMPR_Init(&obj, 4000, 100000, 1000000, 100000, 1000000);
    COMPR_Set_Mode(&obj, mode);
    obj.buffer = data;
    if (!COMPR_Reset(&obj)) return state.SkipWithError("reset failed");
    chunks.clear();
    RECORD_BINARY bin;
    packed = 0;
    while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin), packed += bin.length;
    COMPR back;
    COMPR_Init(&back, 4000, 100000, 1000000, 100000, 1000000);
    COMPR_Set_Mode(&back, mode);
    for (const RECORD_BINARY& c : chunks) {
      if (!COMPR_AddBin(&back, c)) return state.SkipWithError("bad chunk");
    }
    if (!COMPR_Reset(&back) || back.buffer.size() != data.size()) {
      return state.SkipWithError("bad read-back");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(data.size());
  state.SetLabel(mode == 1 ? "#01 many.tar" : "#50 many.tar");
}

// The "#01" coding alone as an add makes it: the stream handed to the
// chunker in pieces of 16 payload records, the chunks kept in blocks.
void BM_RleChunker(benchmark::State& state) {
  const Bytes& data = Corpus("many.tar");
  if (data.empty()) return state.SkipWithError("corpus file missing");
  constexpr std::size_t kPiece = 16 * 4024;
  std::size_t chunks = 0;
  for (auto _ : state) {
    COMPR_CHUNKS out;
    COMPR_CHUNKER chunker(COMPR_MODE_RLE, 4000, &out);
    for (std::size_t at = 0; at < data.size(); at += kPiece) {
      chunker.Add(data.data() + at, std::min(kPiece, data.size() - at));
    }
    chunker.Finish();
    chunks = out.lengths.size();
    benchmark::DoNotOptimize(out.blocks.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["chunks"] = static_cast<double>(chunks);
  state.SetLabel("#01 many.tar");
}

// Items the size of a typical archived file, each through its own encoder
// and decoder as the archive stores and exports them: the cost per item
// (buffers set up and torn down) shows here, not in one large stream.
void BM_ComprSmallItems(benchmark::State& state) {
  const Bytes& data = Corpus("many.tar");
  const std::size_t item = static_cast<std::size_t>(state.range(0));
  const std::size_t items = std::min<std::size_t>(200, data.size() / item);
  if (items == 0) return state.SkipWithError("corpus file missing");
  std::vector<RECORD_BINARY> chunks;
  for (auto _ : state) {
    for (std::size_t k = 0; k < items; ++k) {
      const unsigned char* from = data.data() + k * item;
      COMPR obj;
      COMPR_Init(&obj, 4000, 100000, 1000000, 100000, 1000000);
      COMPR_Set_Mode(&obj, COMPR_MODE_PELKO);
      obj.buffer.assign(from, from + item);
      if (!COMPR_Reset(&obj)) return state.SkipWithError("reset failed");
      chunks.clear();
      RECORD_BINARY bin;
      while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin);
      COMPR_Free(&obj);
      COMPR back;
      COMPR_Init(&back, 4000, 100000, 1000000, 100000, 1000000);
      COMPR_Set_Mode(&back, COMPR_MODE_PELKO);
      for (const RECORD_BINARY& c : chunks) {
        if (!COMPR_AddBin(&back, c)) return state.SkipWithError("bad chunk");
      }
      if (!COMPR_Reset(&back) || back.buffer.size() != item ||
          std::memcmp(back.buffer.data(), from, item) != 0) {
        return state.SkipWithError("bad read-back");
      }
      COMPR_Free(&back);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * items * item));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * items));
  state.SetLabel("#50 items of many.tar");
}

// The checksum an add and an export compute over every item's content,
// in pieces of one payload record's size (4000 bytes) as the export's
// reader hands them out.
void BM_Checksum(benchmark::State& state) {
  const Bytes& data = Corpus(FileName(state));
  if (data.empty()) return state.SkipWithError("corpus file missing");
  uint32_t sum = 0;
  for (auto _ : state) {
    uint32_t crc = CHECKSUM_START;
    for (std::size_t at = 0; at < data.size(); at += 4000) {
      crc = CHECKSUM_Update(crc, data.data() + at, std::min<std::size_t>(4000, data.size() - at));
    }
    sum = CHECKSUM_Value(crc);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.SetLabel(FileName(state));
}
}  // namespace

BENCHMARK(BM_Checksum)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PelkoCompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PelkoCompressTwoWriters)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PelkoUncompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RleChunker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComprChunks)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComprSmallItems)->Arg(4000)->Arg(30000)->Arg(300000)->Unit(benchmark::kMillisecond);
