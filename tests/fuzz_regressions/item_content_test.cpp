// Inputs the fuzzers found, kept as ordinary cases: item content whose
// chunk rows came from a container file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "content/blobj_io.h"
#include "content/chunk_read.h"
#include "content/chunk_write.h"
#include "records/blobj_data.h"
#include "records/record.h"

namespace {
// The chunks an item of `content` is cut into, "#01" coded.
std::vector<BLOBJIO_CHUNK> Chunks(const std::string& content) {
  ARRAY list;
  Blobj_Data_List_Init(&list);
  auto record = Blobj_Data_New();
  record->bin_data.length = static_cast<uint16_t>(content.size());
  std::memcpy(record->bin_data.data, content.data(), content.size());
  ARRAY_Add(&list, &record->header);
  COMPR encoder;
  COMPR_Init(&encoder, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
  EXPECT_EQ(add_struct(&encoder, list), 1);
  std::vector<BLOBJIO_CHUNK> chunks;
  RECORD_BINARY chunk;
  while (COMPR_GetBin(&encoder, &chunk)) {
    const int number = static_cast<int>(chunks.size()) + 1;
    chunks.push_back({number, std::vector<unsigned char>(chunk.data, chunk.data + chunk.length)});
  }
  COMPR_Free(&encoder);
  return chunks;
}

// A container may hold a chunk row whose COMPRDATA is empty. Reading the
// item copied the empty chunk from a null pointer (UBSan: "null pointer
// passed as argument 2" in BLOBJIO_Decode). An empty chunk adds nothing:
// alone it leaves a damaged item, among others it changes nothing.
// Found by container_fuzz (fuzz/corpus/container/empty_chunk_row.container).
TEST(FuzzRegressions, EmptyChunkRowOfAnItem) {
  std::vector<BLOBJIO_CHUNK> alone = {{1, {}}};
  std::vector<unsigned char> content = {'x'};
  BLOBJIO_FAULT fault;
  EXPECT_EQ(BLOBJIO_Decode(&alone, false, 5, &content, &fault), 0);
  EXPECT_TRUE(content.empty());
  EXPECT_EQ(fault.message, "(BLOBJ_Read) Corrupted BLOBJ data-header\n");

  std::vector<BLOBJIO_CHUNK> among = Chunks("hello");
  among.push_back({2, {}});
  EXPECT_EQ(BLOBJIO_Decode(&among, false, 5, &content, &fault), 1);
  EXPECT_EQ(std::string(content.begin(), content.end()), "hello");
}
}  // namespace
