#include "link/ChipTable.h"

#include <gtest/gtest.h>

namespace {

TEST(ChipTable, HexTextAcceptsOnlyUpperCaseHexDigits) {
  EXPECT_TRUE(IsHexText("09A"));
  EXPECT_TRUE(IsHexText("0123456789ABCDEF"));
  EXPECT_FALSE(IsHexText(""));
  EXPECT_FALSE(IsHexText("09a"));
  EXPECT_FALSE(IsHexText("Rea"));
  EXPECT_FALSE(IsHexText("0G0"));
  EXPECT_FALSE(IsHexText(" 09"));
  EXPECT_FALSE(IsHexText(std::string_view("0\0" "9", 3)));
}

// Device ID words as the chips report them, with the sizes of their data sheets.
struct TKnownChip {
  int DeviceId;
  const char* Name;
  int ProgramWords;
  int EepromBytes;
};

constexpr TKnownChip KnownChips[] = {
    {0x0560, "PIC16F84A", 1024, 64},   {0x08E0, "PIC16F872", 2048, 64},
    {0x0920, "PIC16F874", 4096, 128},  {0x0960, "PIC16F873", 4096, 128},
    {0x09A0, "PIC16F877", 8192, 256},  {0x09E6, "PIC16F876", 8192, 256},
    {0x0D00, "PIC16F870", 2048, 64},   {0x0D20, "PIC16F871", 2048, 64},
    {0x0E00, "PIC16F876A", 8192, 256}, {0x0E28, "PIC16F877A", 8192, 256},
    {0x0E40, "PIC16F873A", 4096, 128}, {0x0E60, "PIC16F874A", 4096, 128},
    {0x10C0, "PIC16F630", 1024, 128},
};

TEST(ChipTable, EveryKnownChipIsNamedWithItsSizes) {
  for (const TKnownChip& known : KnownChips) {
    for (int revisionBit : {0, 0x10}) {  // the lowest ID digit kept is a revision bit
      TChip chip;
      chip.SelectChip(((known.DeviceId | revisionBit) >> 4) & 0x3FE);
      SCOPED_TRACE(known.Name);
      EXPECT_EQ(chip.ChipName, known.Name);
      EXPECT_EQ(ProgramKWords(chip.SizeCode) * 1024, known.ProgramWords);
      EXPECT_EQ(EepromBytes(chip.SizeCode), known.EepromBytes);
      EXPECT_EQ(chip.SizeCode[0], '0');
      EXPECT_EQ(chip.SizeCode[2], '0');
    }
  }
}

TEST(ChipTable, UnrecognisedNumbersGetTheSmallestLayout) {
  for (int number : {-1, 1022, 2, 0x058, 0x10F, 0x3FE}) {
    TChip chip{"PIC16F877", "0804"};
    chip.SelectChip(number);
    EXPECT_EQ(chip.ChipName, "Unknown") << number;
    EXPECT_EQ(chip.SizeCode, "0101") << number;
  }
}

TEST(ChipTable, NoChipKeepsTheSizesItHad) {
  TChip chip;
  chip.SelectChip(0);
  EXPECT_EQ(chip.ChipName, "None");
  EXPECT_EQ(chip.SizeCode, "");

  chip.SelectChip(154);
  chip.SelectChip(0);
  EXPECT_EQ(chip.ChipName, "None");
  EXPECT_EQ(chip.SizeCode, "0804");
}

TEST(ChipTable, DerivedFigures) {
  EXPECT_EQ(ReadAnswerLength("0804"), 47586);
  EXPECT_EQ(ReadAnswerLength("0102"), 5760 + 720 + 66);
  EXPECT_EQ(ProgramKWords("0402"), 4);
  EXPECT_EQ(EepromBytes("0402"), 128);
  EXPECT_EQ(ReadSizeCode("0201"), "0201");
  // Without a usable code everything is figured for the smallest chip.
  for (std::string_view bad : {"", "08", "08044", "0A04", "08 4"}) {
    EXPECT_EQ(ReadSizeCode(bad), "0101") << bad;
    EXPECT_EQ(ReadAnswerLength(bad), 5760 + 360 + 66) << bad;
    EXPECT_EQ(ProgramKWords(bad), 1) << bad;
    EXPECT_EQ(EepromBytes(bad), 64) << bad;
  }
}

}  // namespace
