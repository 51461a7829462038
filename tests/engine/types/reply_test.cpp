// Tests of the reply buffer.
#include "engine/types/reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/types/wire.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReplyBytes() { return Bytes(REPLY_Data(), REPLY_Data() + REPLY_Length()); }

// 'b' token payload: u16 length counting the zero, the text, the zero.
Bytes ErrorReply(const std::string& text) {
  Bytes b = {'0', 'b', static_cast<unsigned char>((text.size() + 1) & 0xFF),
             static_cast<unsigned char>((text.size() + 1) >> 8)};
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  return b;
}

TEST(REPLY, WholeRepliesReplaceWhatWasWritten) {
  REPLY_RowsBegin('2', 1, 3);
  REPLY_Column("A", '2', 4);
  REPLY_ErrorDetail("(CONNECT) Database-name missing", "");
  EXPECT_EQ(ReplyBytes(), ErrorReply("(CONNECT) Database-name missing\n"));
  REPLY_Success();
  EXPECT_EQ(ReplyBytes(), Bytes{'1'});
  REPLY_Wait();
  EXPECT_EQ(ReplyBytes(), Bytes{'-'});
  REPLY_Count(-7);
  EXPECT_EQ(ReplyBytes(), (Bytes{'3', 0xF9, 0xFF, 0xFF, 0xFF}));
  REPLY_RowsBegin('4', 1, 0);
  REPLY_SetRowCount(258);
  EXPECT_EQ(ReplyBytes(), (Bytes{'4', 1, 0, 0, 0, 2, 1, 0, 0}));
}

TEST(REPLY, ErrorTextsOfAnyLengthComeOutWhole) {
  const std::string name(12000, 'N');
  REPLY_Errorf("(DROP TABLE) Table '%s' does not exist", name.c_str());
  EXPECT_EQ(ReplyBytes(), ErrorReply("(DROP TABLE) Table '" + name + "' does not exist"));
  // Beyond what a u16 length can count, the text is cut, never wrapped.
  REPLY_Error(std::string(70000, 'x'));
  EXPECT_EQ(ReplyBytes(), ErrorReply(std::string(WIRE_MAXTEXT, 'x')));
}

// 'X' 'a'(DB) 'd'(-2) 'e'(1.5) 'c'(7) '0'(3 bytes "hi\0"); offsets:
// 1 'a', 2 len, 4 text, 7 'd', 8 int, 12 'e', 13 double, 21 'c', 22 short,
// 24 '0', 25 len, 27 bytes, 30 end.

}  // namespace
