#include "image/ImageSummary.h"

#include <gtest/gtest.h>

#include "link/ChipTable.h"

using namespace Image;

// Word and byte addresses as the regions count them; a word counts once, whichever of its
// bytes the image sets.
TEST(ImageSummary, CountsEachMemoryInRangesAndNamesWhatLiesOutside) {
  Hex::THexImage image;
  for (std::uint32_t w : {0u, 1u, 2u, 0x3FEu, 0x3FFu}) image[w * 2] = 0x05;
  image[0x0401 * 2 + 1] = 0x28;                                       // past a PIC16F84A's 1K words
  image[0x2001 * 2] = 0x07;                                           // one ID word
  image[0x400E] = 0x72;                                               // half a configuration word
  for (std::uint32_t b : {0u, 1u, 63u, 64u}) image[(0x2100 + b) * 2] = 0xAA;  // 64 is past its EEPROM

  const TImageSummary s = Summarize(image, LayoutOf(ChipNamed("PIC16F84A")));
  ASSERT_EQ(s.Program.size(), 2u);
  EXPECT_EQ(s.Program[0].First, 0u);
  EXPECT_EQ(s.Program[0].Last, 2u);
  EXPECT_EQ(s.Program[1].First, 0x3FEu);
  EXPECT_EQ(s.Program[1].Last, 0x3FFu);
  EXPECT_EQ(s.ProgramWords, 5u);
  EXPECT_EQ(s.IdWords, (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{0x2001, 0x0007}}));
  EXPECT_FALSE(s.ConfigWord);
  ASSERT_EQ(s.Eeprom.size(), 2u);
  EXPECT_EQ(s.Eeprom[1].First, 63u);
  EXPECT_EQ(s.EepromBytes, 3u);
  EXPECT_EQ(s.Outside, (std::vector<std::uint32_t>{0x0401, 0x2140}));
}
