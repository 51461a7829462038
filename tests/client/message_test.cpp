// Tests of the message builder: the byte form of each token kind.
#include "client/message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Message() { return Bytes(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length()); }

TEST(MESSAGE, EachBuilderWritesItsTokenLittleEndian) {
  DBquery_reset();
  DBquery_addcmd('D');
  DBquery_addtok(0xA7);
  DBquery_addtokint('d', -2);
  DBquery_addtokfloat('e', -2.0);  // 0xC000000000000000
  DBquery_addtokstring('a', "AB");
  DBquery_addtokstring('f', "");
  const unsigned char raw[] = {0, 0xFF, 7};
  DBquery_addtokdata(0xA6, raw, 3);
  EXPECT_EQ(Message(),
            (Bytes{'D', 0xA7, 'd', 0xFE, 0xFF, 0xFF, 0xFF, 'e', 0, 0, 0,    0, 0, 0, 0,    0xC0,
                   'a', 3,    0,   'A',  'B',  0,    'f',  1,   0, 0, 0xA6, 3, 0, 0, 0xFF, 7}));
  DBquery_reset();
  DBquery_addcmd('J');
  EXPECT_EQ(Message(), Bytes{'J'});
}

TEST(MESSAGE, PayloadBeyondItsLengthFieldDamagesTheMessage) {
  DBquery_reset();
  const std::string fits(65534, 'x');
  DBquery_addtokstring('f', fits.c_str());
  EXPECT_EQ(MESSAGE_Data()[1] | (MESSAGE_Data()[2] << 8), 65535);
  EXPECT_FALSE(MESSAGE_Damaged());
  const std::string too_long(65535, 'x');
  DBquery_addtokstring('f', too_long.c_str());
  EXPECT_TRUE(MESSAGE_Damaged());
  EXPECT_EQ(MESSAGE_Length(), 3 + 65535);  // the long token is left out
  DBquery_reset();
  EXPECT_FALSE(MESSAGE_Damaged());
  DBquery_addtokdata(0xA6, Bytes(65536, 1).data(), 65536);
  EXPECT_TRUE(MESSAGE_Damaged());
  EXPECT_EQ(MESSAGE_Length(), 0);
}

}  // namespace
