#include "serial/NumList.h"

#include <gtest/gtest.h>

#include "serial/SerialNumber.h"

using namespace Serial;

// One number per data record, in file order, at the address its type 04 records give it.
TEST(NumList, ReadsOneNumberPerDataRecordAtItsAddress) {
  const std::vector<TNumRecord> list = ReadNumList(
      ":02000004740086\r\n:04000000BF7087ED59\r\n:0400000043BD7F3449\r\n\r\n"
      ":020000040000FA\r\n:0242000031008B\r\n:00000001FF\r\n\r\n",
      "list.num");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Line, 2u);
  EXPECT_EQ(list[0].Bytes, (Hex::THexImage{{0x74000000, 0xBF}, {0x74000001, 0x70}, {0x74000002, 0x87}, {0x74000003, 0xED}}));
  EXPECT_EQ(list[1].Bytes.begin()->second, 0x43);
  EXPECT_EQ(list[2].Line, 6u);
  EXPECT_EQ(list[2].Bytes, (Hex::THexImage{{0x4200, 0x31}, {0x4201, 0x00}}));
}

TEST(NumList, RefusesWhatIsNoNumberListNamingTheLine) {
  try {
    ReadNumList(":0400000043BD7F3449\n:04000000BF7087ED58\n:00000001FF\n", "list.num");
    FAIL();
  } catch (const ESerial& e) {
    EXPECT_EQ(e.Message(), "list.num:2: checksum 59, the record says 58");
  }
  for (const char* text : {":020000021000EC\n:0400000043BD7F3449\n:00000001FF\n",  // type 02
                           ":0400000043BD7F3449\n",                                 // cut short
                           ":0400000043BD7F3449\n:00000001FF\n:0400000043BD7F3449\n",
                           ":020000040000FA\n:00000001FF\n",                        // no numbers
                           ":00000000\n:00000001FF\n"})
    EXPECT_THROW(ReadNumList(text, "list.num"), ESerial) << text;
}
