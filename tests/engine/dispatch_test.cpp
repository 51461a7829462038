// Tests of process_sql: the command table and the fixed answers around it.
#include "engine/dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/types/wire.h"

namespace {

// The reply when it is an error reply, else "<not an error>".
std::string ErrorText() {
  const unsigned char* r = REPLY_Data();
  const int n = REPLY_Length();
  if (n < 4 || r[0] != '0' || r[1] != 'b') return "<not an error>";
  const int len = r[2] | (r[3] << 8);
  if (n != 4 + len || r[n - 1] != 0) return "<malformed>";
  return std::string(reinterpret_cast<const char*>(r) + 4, len - 1);
}

std::string Answer(std::vector<unsigned char> msg) {
  process_sql(0, msg.data(), static_cast<int>(msg.size()));
  return ErrorText();
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REPLY_ResetForTest();
    DISPATCH_ResetForTest();
  }
  void TearDown() override { DISPATCH_ResetForTest(); }
};

TEST_F(DispatchTest, RefusesLettersOutsideTheTable) {
  const unsigned char kRefused[] = {'W', 'A', ':', 'B', '@', 'Y', 'Z',
                                    'a', ' ', 0x01, 0xA7, 0xFF, '/'};
  for (unsigned char letter : kRefused) {
    SCOPED_TRACE(static_cast<int>(letter));
    std::string want = "Unknown command '";
    want += static_cast<char>(letter);
    want += "'!";
    EXPECT_EQ(Answer({letter, 'a', 0, 0}), want);
  }
}

TEST_F(DispatchTest, ZeroAndEmptyMessagesHaveNoSql) {
  EXPECT_EQ(Answer({'0'}), "No SQL string to process!");
  EXPECT_EQ(Answer({'0', 'a', 1, 0, 0}), "No SQL string to process!");
  EXPECT_EQ(Answer({}), "No SQL string to process!");
}

TEST_F(DispatchTest, LettersWithoutHandlerNameTheirStatement) {
  struct Case {
    char letter;
    const char* text;
  };
  const Case kCases[] = {
      {'J', "(BEGIN) Statement not available in this build"},
      {'8', "(CREATE UNIQUE INDEX) Statement not available in this build"},
      {'U', "(SET TABLE SECURE) Statement not available in this build"},
      {'X', "(SET DATABASE) Statement not available in this build"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.letter);
    ASSERT_EQ(DISPATCH_SetHandlerForTest(c.letter, nullptr), 1);
    EXPECT_EQ(Answer({static_cast<unsigned char>(c.letter)}), c.text);
  }
  EXPECT_EQ(DISPATCH_SetHandlerForTest('W', nullptr), 0);
  EXPECT_EQ(DISPATCH_SetHandlerForTest('0', nullptr), 0);
}

struct Seen {
  int conn_id = -1;
  std::vector<unsigned char> msg;
};
Seen g_seen;

void Recorder(int conn_id, const unsigned char* msg, int length) {
  g_seen.conn_id = conn_id;
  g_seen.msg.assign(msg, msg + length);
  REPLY_Success();
}

void Silent(int, const unsigned char*, int) {}

TEST_F(DispatchTest, HandlerGetsTheWholeMessageAndLeavesItsReply) {
  ASSERT_EQ(DISPATCH_SetHandlerForTest('K', Recorder), 1);
  // A previous reply must not leak into this one.
  REPLY_Error("stale");
  const std::vector<unsigned char> msg = {'K', 'x'};
  process_sql(7, msg.data(), 2);
  EXPECT_EQ(g_seen.conn_id, 7);
  EXPECT_EQ(g_seen.msg, msg);
  ASSERT_EQ(REPLY_Length(), 1);
  EXPECT_EQ(REPLY_Data()[0], '1');
}

TEST_F(DispatchTest, EmptyHandlerReplyBecomesAnError) {
  ASSERT_EQ(DISPATCH_SetHandlerForTest('C', Silent), 1);
  REPLY_Success();
  EXPECT_EQ(Answer({'C', 'W'}), "No result string from process_sql!");
}

}  // namespace
