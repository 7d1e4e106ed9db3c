#include <gtest/gtest.h>

#include "ChipMemory.h"

using namespace Sim;

TEST(ChipMemory, F630KeepsItsCalibrationAcrossErase) {
  TChipMemory memory(*FindChip("PIC16F630"));
  const std::uint16_t calibration = memory.Word(0x3FF);
  const std::uint16_t bandGap = memory.Word(0x2007) & 0x3000;
  EXPECT_EQ(calibration & 0x3F00, 0x3400) << "a RETLW";
  memory.SetWord(0x2007, 0x01C4 | bandGap);
  memory.SetWord(0x000, 0x1683);
  memory.SetWord(0x2100, 0x30);
  memory.Erase();
  EXPECT_EQ(memory.Word(0x3FF), calibration);
  EXPECT_EQ(memory.Word(0x2007), 0x0FFF | bandGap);
  EXPECT_EQ(memory.Word(0x000), 0x3FFF);
  EXPECT_EQ(memory.Word(0x2100), 0xFF);

  // Other chips erase completely.
  TChipMemory other(*FindChip("PIC16F84A"));
  other.SetWord(0x3FF, 0x3480);
  other.SetWord(0x2007, 0x3FF1);
  other.Erase();
  EXPECT_EQ(other.Word(0x3FF), 0x3FFF);
  EXPECT_EQ(other.Word(0x2007), 0x3FFF);
}

TEST(ChipMemory, ProtectedMemoryReadsZeros) {
  TChipMemory f84a(*FindChip("PIC16F84A"));
  f84a.SetWord(0, 0x2805);
  f84a.SetWord(0x2100, 0x42);
  f84a.SetWord(0x2007, 0x000F);  // CP bits cleared
  Hex::THexImage read = f84a.ReadOut(1024, 64);
  EXPECT_EQ(read.at(0), 0);
  EXPECT_EQ(read.at(1), 0);
  EXPECT_EQ(read.at(0x4200), 0x42);
  EXPECT_EQ(read.at(0x400E), 0x0F) << "the configuration word stays readable";
  EXPECT_EQ(f84a.Image().at(0), 0x05) << "the contents themselves are intact";

  TChipMemory f877a(*FindChip("PIC16F877A"));
  f877a.SetWord(0, 0x2805);
  f877a.SetWord(0x2100, 0x42);
  f877a.SetWord(0x2007, 0x3EFF);  // CPD cleared
  read = f877a.ReadOut(8192, 256);
  EXPECT_EQ(read.at(0), 0x05);
  EXPECT_EQ(read.at(0x4200), 0);
  EXPECT_EQ(f877a.Image().at(0x4200), 0x42);
}

TEST(ChipMemory, KeepsOnlyTheBitsTheChipHas) {
  TChipMemory memory(*FindChip("PIC16F877"));
  memory.SetByte(0x0001, 0xFF);
  memory.SetByte(0x0000, 0x12);
  EXPECT_EQ(memory.Word(0), 0x3F12);
  memory.SetByte(0x4201, 0x77);  // the high byte of an EEPROM word holds nothing
  memory.SetByte(0x4200, 0x99);
  EXPECT_EQ(memory.Word(0x2100), 0x99);
  EXPECT_EQ(memory.RegionOf(0x2000), rgId);
  EXPECT_EQ(memory.RegionOf(0x2004), rgNone);
  EXPECT_EQ(memory.RegionOf(0x2006), rgNone);
  EXPECT_EQ(memory.RegionOf(0x2007), rgConfig);
  EXPECT_EQ(memory.RegionOf(0x21FF), rgEeprom);
  EXPECT_EQ(memory.RegionOf(0x2200), rgNone);
  EXPECT_EQ(memory.RegionOf(0x2000 - 1), rgProgram);
}

TEST(ChipMemory, LoadRejectsAddressesOutsideTheChipBeforeChangingAnything) {
  TChipMemory memory(*FindChip("PIC16F84A"));
  const Hex::THexImage image = {{0x0000, 0x05}, {0x0001, 0x28}, {0x0800, 0x00}};
  try {
    memory.Load(image);
    ADD_FAILURE() << "accepted";
  } catch (const Hex::EHexFormat& e) {
    EXPECT_EQ(e.Message(), "byte address 0x800 (word 0x400) is outside the PIC16F84A");
  }
  EXPECT_EQ(memory.Word(0), 0x3FFF);
  memory.Load({{0x0000, 0x05}, {0x0001, 0x28}, {0x400E, 0xF1}, {0x400F, 0x3F}});
  EXPECT_EQ(memory.Word(0), 0x2805);
  EXPECT_EQ(memory.Word(0x2007), 0x3FF1);
}
