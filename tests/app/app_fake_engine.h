// app_fake_engine.h: the stand-in engine of the application tests. On top
// of the shared one it keeps the chunk rows that BLOBJ inserts send, so
// that the tests can look at the chunks an item was cut into, and answers
// the row counts of KASPO and BLOBJ with what a test set, and an item's
// chunk count with the rows it kept. It can be told to refuse chunk inserts.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "content/blobj_io.h"
#include "engine/types/reply.h"
#include "engine/types/tokens.h"
#include "support/fake_engine.h"

// One chunk row as the insert message carried it.
struct FakeChunkRow {
  std::string fk_id;
  int fk_table = 0;
  int item_number = 0;
  std::vector<unsigned char> data;  // COMPRDATA content, tag included
  char compressed = 0;
};

struct FakeAppEngine {
  std::vector<FakeChunkRow> chunks;
  bool refuse_chunk_inserts = false;
  int item_rows = 0;   // what COUNT(*) of KASPO answers
  int chunk_rows = 0;  // what COUNT(*) of BLOBJ answers
};

inline FakeAppEngine& FakeApp() {
  static FakeAppEngine engine;
  return engine;
}

// The payloads of the tokens of a binary message after its letter.
inline std::vector<std::string> FakeTokens(const unsigned char* msg, int length) {
  std::vector<std::string> tokens;
  for (int i = 1; i + 3 <= length;) {
    const int n = msg[i + 1] | msg[i + 2] << 8;
    if (i + 3 + n > length) break;
    tokens.emplace_back(reinterpret_cast<const char*>(msg + i + 3), static_cast<size_t>(n));
    i += 3 + n;
  }
  return tokens;
}

inline int16_t FakeShort(const std::string& bytes) {
  int16_t v = 0;
  std::memcpy(&v, bytes.data(), std::min(bytes.size(), sizeof v));
  return v;
}

// The answer to inserts ('D'): keeps BLOBJ rows; the tokens are the table
// name and the six fields in column order.
inline void FakeChunkCapture(const Message& msg) {
  FakeAppEngine& fake = FakeApp();
  const std::vector<std::string> t = FakeTokens(msg.data(), static_cast<int>(msg.size()));
  const bool chunk_insert = t.size() == 7 && t[0] == std::string("BLOBJ", 6);
  if (!chunk_insert) {
    REPLY_Success();
    return;
  }
  if (fake.refuse_chunk_inserts) {
    REPLY_Error("(INSERT) refused by the test");
    return;
  }
  FakeChunkRow row;
  row.fk_id = t[2].c_str();
  row.fk_table = FakeShort(t[3]);
  row.item_number = FakeShort(t[4]);
  row.data.assign(t[5].begin() + 2, t[5].end());
  row.compressed = t[6].empty() ? 0 : t[6][0];
  fake.chunks.push_back(row);
  REPLY_Success();
}

// The answer to fetches ('O'): the row count of the table whose count
// cursor is fetched.
inline void FakeCountAnswer(const Message& msg) {
  const std::string text(msg.begin(), msg.end());
  const bool items = text.find("KASPO") != std::string::npos;
  ReplyNumber("COUNT(*)", items ? FakeApp().item_rows : FakeApp().chunk_rows);
}

// The answer to selects ('C'): a count of one item's chunk rows is the
// number kept of that item; other selects succeed without rows.
inline void FakeChunkCountAnswer(const Message& msg) {
  const std::string text(msg.begin(), msg.end());
  if (msg.size() < 2 || msg[1] != DBTK_COUNT || text.find("BLOBJ") == std::string::npos) {
    REPLY_Success();
    return;
  }
  const auto& chunks = FakeApp().chunks;
  const auto of_item = [&text](const FakeChunkRow& row) {
    return text.find(row.fk_id) != std::string::npos;
  };
  ReplyNumber("COUNT(*)",
              static_cast<int32_t>(std::count_if(chunks.begin(), chunks.end(), of_item)));
}

// Everything written to `f` so far.
inline std::string FakeText(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
  return text;
}

// The shared stand-in engine, with the chunk rows kept.
class FakeAppEngineTest : public FakeEngineTest {
 protected:
  void SetUp() override {
    FakeEngineTest::SetUp();
    FakeApp() = FakeAppEngine{};
    Fake().answers['D'] = FakeChunkCapture;
    Fake().answers['O'] = FakeCountAnswer;
    Fake().answers['C'] = FakeChunkCountAnswer;
  }

  // The chunks kept so far, as BLOBJ_Read would have fetched them.
  static std::vector<BLOBJIO_CHUNK> KeptChunks() {
    std::vector<BLOBJIO_CHUNK> chunks;
    for (const FakeChunkRow& row : FakeApp().chunks) chunks.push_back({row.item_number, row.data});
    return chunks;
  }
};
