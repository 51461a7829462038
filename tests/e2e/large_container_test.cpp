// A container with more chunk rows than a query returns by default (30000)
// opens, shows them all in the status line and saves whole; one whose
// items' sizes pass 2^31 kb shows them in the status line without
// wrapping.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "e2e/session.h"

namespace {

constexpr int kChunks = 40000;
constexpr int kChunkRecordSize = 4048;
constexpr char kKaspoSection[] =
    "00000,1000,280|KASPO_Id,11,9,20|Filename,11,81,29|Description,11,161,110|Size,4,4,272|"
    "Compressed,1,1,276";
constexpr char kBlobjDescriptor[] =
    "100,4048|BLOBJ_Id,11,9,20|FK_Id,11,9,29|FK_Table,2,2,38|ItemNumber,2,2,40|"
    "ComprData,18,4002,42|Compressed,1,1,4045";

std::string ChunkRecord(int n) {
  std::string record(kChunkRecordSize, '\0');
  const int32_t size = kChunkRecordSize;
  const int32_t table_id = 100;
  const int16_t fk_table = 1000;
  std::memcpy(&record[0], &size, 4);
  std::memcpy(&record[8], &table_id, 4);
  std::snprintf(&record[20], 9, "c%07d", n);
  std::memcpy(&record[29], "item0001", 8);
  std::memcpy(&record[38], &fk_table, 2);
  record[4045] = '0';
  return record;
}

std::string Container() {
  std::string file =
      std::string(kKaspoSection) + '\0' + std::to_string(kChunks) + "," + kBlobjDescriptor + '\0';
  file.reserve(file.size() + static_cast<size_t>(kChunks) * kChunkRecordSize);
  for (int n = 0; n < kChunks; ++n) file += ChunkRecord(n);
  return file;
}

// The chunk keys of a container file written by the program.
std::set<std::string> ChunkKeys(const std::string& file, int* out_count) {
  const size_t kaspo_end = file.find('\0');
  const size_t blobj_end = file.find('\0', kaspo_end + 1);
  *out_count = std::stoi(file.substr(kaspo_end + 1, 5));
  std::set<std::string> keys;
  for (size_t at = blobj_end + 1; at + kChunkRecordSize <= file.size(); at += kChunkRecordSize) {
    keys.insert(file.substr(at + 20, 8));
  }
  return keys;
}

using LargeContainer = Session;

TEST_F(LargeContainer, SavesEveryChunkPastTheRowMaximum) {
  scratch_.WriteFile("work/big.ksp", Container());
  KaspoResult result = Run("s\nq\n", {"big.ksp"});
  const std::string p = Prompt();
  EXPECT_EQ(result.out, kBanner + StatusLine("big.ksp", 0, 0, kChunks * 4000 / 1024) + "\n" +
                            kMenu + p + "kaspo-db 'big.ksp' saved!\n" + p);
  EXPECT_EQ(result.err, kStartupErr);
  const std::string saved = scratch_.ReadFile("work/big.ksp");
  int count = 0;
  const std::set<std::string> keys = ChunkKeys(saved, &count);
  EXPECT_EQ(count, kChunks);
  EXPECT_EQ(saved.size(), Container().size());
  ASSERT_EQ(keys.size(), static_cast<size_t>(kChunks));
  EXPECT_EQ(*keys.begin(), "c0000000");
  EXPECT_EQ(*keys.rbegin(), "c0039999");
}

// 1025 items of 2147483647 bytes each (content left out): their sizes
// come to more than 2^31 kb.
TEST_F(LargeContainer, TheStatusLineSumsSizesPastTwoToTheThirtyOneKb) {
  constexpr int kItems = 1025;
  constexpr int kRecordSize = 280;
  constexpr int32_t kSize = 2147483647;
  const std::string kaspo_section = "01025" + std::string(kKaspoSection).substr(5);
  std::string file = kaspo_section + '\0';
  for (int n = 0; n < kItems; ++n) {
    std::string record(kRecordSize, '\0');
    const int32_t size = kRecordSize;
    const int32_t table_id = 1000;
    std::memcpy(&record[0], &size, 4);
    std::memcpy(&record[8], &table_id, 4);
    std::snprintf(&record[20], 9, "k%07d", n);
    std::snprintf(&record[29], 81, "f%d.bin", n);
    std::memcpy(&record[272], &kSize, 4);
    record[276] = '0';
    file += record;
  }
  file += std::string("00000,") + kBlobjDescriptor + '\0';
  scratch_.WriteFile("work/huge.ksp", file);
  KaspoResult result = Run("q\n", {"huge.ksp"});
  const long long kb = static_cast<long long>(kItems) * kSize / 1024;
  ASSERT_GT(kb, 2147483647LL);
  EXPECT_EQ(result.out, kBanner + StatusLine("huge.ksp", kItems, kb, 0) + "\n" + kMenu + Prompt());
  EXPECT_EQ(result.err, kStartupErr);
}

}  // namespace
