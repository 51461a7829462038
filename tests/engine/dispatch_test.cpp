// Tests of process_sql: the command table and the fixed answers around it.
#include "engine/dispatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/types/reply.h"

namespace {

// The text of the reply when it is an error reply.
std::string Answer(std::vector<unsigned char> msg, int conn_id = 0) {
  process_sql(conn_id, msg.data(), static_cast<int>(msg.size()));
  const unsigned char* r = REPLY_Data();
  const int n = REPLY_Length();
  if (n < 4 || r[0] != '0' || r[1] != 'b') return "<not an error>";
  if (n != 4 + (r[2] | (r[3] << 8))) return "<malformed>";
  return std::string(reinterpret_cast<const char*>(r) + 4, n - 5);
}

std::vector<unsigned char> g_seen;
void Recorder(int conn_id, const unsigned char* msg, int length) {
  g_seen.assign(msg, msg + length);
  g_seen.push_back(static_cast<unsigned char>(conn_id));
  REPLY_Success();
}
void Silent(int, const unsigned char*, int) {}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { DISPATCH_ResetForTest(); }
  void TearDown() override { DISPATCH_ResetForTest(); }
};

TEST_F(DispatchTest, AnswersTheFixedTexts) {
  const unsigned char kRefused[] = {'W', 'A', ':', 'B',  '@',  'Y', 'Z',
                                    'a', ' ', '/', 0x01, 0xA7, 0xFF};
  for (unsigned char letter : kRefused) {
    SCOPED_TRACE(static_cast<int>(letter));
    EXPECT_EQ(Answer({letter, 'a', 0, 0}),
              std::string("Unknown command '") + static_cast<char>(letter) + "'!");
  }
  EXPECT_EQ(Answer({'0', 'a', 1, 0, 0}), "No SQL string to process!");
  EXPECT_EQ(Answer({}), "No SQL string to process!");
  ASSERT_EQ(DISPATCH_SetHandlerForTest('C', Silent), 1);
  REPLY_Success();  // a stale reply must not count as the handler's
  EXPECT_EQ(Answer({'C', 'W'}), "No result string from process_sql!");
}

TEST_F(DispatchTest, LettersWithoutHandlerNameTheirStatement) {
  const std::pair<char, const char*> kCases[] = {{'J', "BEGIN"},
                                                 {'8', "CREATE UNIQUE INDEX"},
                                                 {'U', "SET TABLE SECURE"},
                                                 {'X', "SET DATABASE"}};
  for (const auto& [letter, statement] : kCases) {
    ASSERT_EQ(DISPATCH_SetHandlerForTest(letter, nullptr), 1);
    EXPECT_EQ(Answer({static_cast<unsigned char>(letter)}),
              std::string("(") + statement + ") Statement not available in this build");
  }
  EXPECT_EQ(DISPATCH_SetHandlerForTest('W', Silent), 0);
  EXPECT_EQ(DISPATCH_SetHandlerForTest('0', Silent), 0);
}

TEST_F(DispatchTest, HandlerGetsTheWholeMessage) {
  ASSERT_EQ(DISPATCH_SetHandlerForTest('K', Recorder), 1);
  EXPECT_EQ(Answer({'K', 'x'}, 7), "<not an error>");
  EXPECT_EQ(g_seen, (std::vector<unsigned char>{'K', 'x', 7}));
}

TEST_F(DispatchTest, TableReachesTheStatementHandlers) {
  // CONNECT whose message ends after the letter: its own text, "\n" and the
  // empty detail of a token that is simply missing.
  EXPECT_EQ(Answer({'1'}), "(CONNECT) Database-name missing\n");
  // DISCONNECT of a connection the engine does not know.
  EXPECT_EQ(Answer({'2'}, 99), "<not an error>");
  EXPECT_EQ(std::vector<unsigned char>(REPLY_Data(), REPLY_Data() + 1),
            std::vector<unsigned char>{0x5C});
  const std::pair<unsigned char, std::string> kOwn[] = {
      {'J', "(BEGIN)"}, {'K', "(END)"}, {'M', "(ABORT)"}};
  for (const auto& [letter, prefix] : kOwn) {
    const std::string text = Answer({letter}, 98);
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_EQ(text.find("not available"), std::string::npos);
  }
}

}  // namespace
