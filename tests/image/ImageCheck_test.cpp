#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ChipMemory.h"
#include "firmware/FirmwareFiles.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"

using namespace Image;

namespace {

TChipLayout Layout(int identification) {
  TChip chip;
  chip.SelectChip(identification);
  return LayoutOf(chip);
}

std::string FaultOf(std::string_view text) {
  try {
    ParseImage(text, "count.hex");
  } catch (const Hex::EHexFormat& e) {
    return e.Message();
  }
  return "(accepted)";
}

// A read answer as the simulated programmer gives it for the chip's own sizes.
Hex::THexImage ReadOut(const Sim::TChipMemory& memory) {
  return memory.ReadOut(memory.Model().ProgramWords, memory.Model().EepromBytes);
}

}  // namespace

TEST(ImageFile, FaultsNameTheFileAndLine) {
  EXPECT_EQ(FaultOf(":020000000528D1\n:02000200FF3FBE\n:00000001FF\n"), "(accepted)");
  EXPECT_EQ(FaultOf(":020000000528D1\n:02000200FF3FBF\n:00000001FF\n"),
            "count.hex:2: checksum BE, the record says BF");
  // A picture is refused at its first line, before anything could be sent.
  EXPECT_EQ(FaultOf("\x89PNG\r\n\x1a\n"), "count.hex:1: record does not start with ':'");
  EXPECT_EQ(FaultOf(":020000000528D1\n"), "count.hex:1: the text ends without an end-of-file record");
  EXPECT_EQ(FaultOf(""), "count.hex: the text ends without an end-of-file record");
  try {
    LoadImage("/nonexistent/count.hex");
    ADD_FAILURE() << "a missing file was read";
  } catch (const Hex::EHexFormat& e) {
    EXPECT_EQ(e.Message().rfind("/nonexistent/count.hex: cannot open", 0), 0u) << e.Message();
  }
}

TEST(ImageCheck, AssembledFirmwareFitsItsChipAndTheRestIsOutside) {
  for (const auto& firmware : Firmware::Files) {
    const TImageFile file = LoadImage(firmware.Path);
    for (int id : {0x056, 0x0E2, 0x10C}) {
      const TChipLayout layout = Layout(id);
      if (layout.Name == firmware.Chip) {
        EXPECT_TRUE(OutsideChip(file, layout).empty()) << firmware.Name;
      }
    }
  }
  // Program memory ends at P words, EEPROM at D bytes; 0x2004-0x2006 are not in a file.
  const std::string text =
      ":020000000528D1\n"             // word 0
      ":020800000528C9\n"             // word 0x400: past a PIC16F84A's 1K words
      ":0440080000000000B4\n"         // words 0x2004 and 0x2005
      ":02400C00FF3F74\n"             // word 0x2006, the device ID
      ":02400E00F13F80\n"             // configuration
      ":04427E001100220009\n"         // EEPROM bytes 63 and 64
      ":00000001FF\n";
  const TImageFile file = ParseImage(text, "big.hex");
  const std::vector<std::string> outside = OutsideChip(file, Layout(0x056));
  ASSERT_EQ(outside.size(), 5u);
  EXPECT_EQ(outside[0], "big.hex:2: 0x0400: outside the PIC16F84A (value 0x2805)");
  EXPECT_EQ(outside[3], "big.hex:4: 0x2006: outside the PIC16F84A (value 0x3FFF)");
  EXPECT_EQ(outside[4], "big.hex:6: 0x2140: outside the PIC16F84A (value 0x0022)");
  EXPECT_EQ(OutsideChip(file, Layout(0x0E2)).size(), 3u);  // the PIC16F877A has 8K and 256
}

TEST(ImageCheck, ComparesTheFilesLocationsByAddressWithTheChipsExceptions) {
  const Sim::TChipModel& model = *Sim::FindChip("PIC16F630");
  Sim::TChipMemory memory(model);
  const TChipLayout chip = Layout(0x10C);
  // Words written with their two spare bits set, a calibration word the chip keeps, a
  // configuration whose band-gap bits the chip keeps, and EEPROM bytes.
  const std::string text =
      ":04000000FFFF0528D1\n"        // words 0 and 1: 0xFFFF (0x3FFF in 14 bits), 0x2805
      ":0207FE00FF34C6\n"             // word 0x3FF: calibration 0x34FF
      ":02400E00C40FDD\n"             // configuration 0x0FC4: band-gap bits 00
      ":044200001200340074\n"         // EEPROM 0x12, 0x34
      ":00000001FF\n";
  const TImageFile file = ParseImage(text, "toggle.hex");
  const std::uint16_t bandGap = memory.Word(0x2007) & 0x3000;
  for (const auto& [address, value] : file.Bytes)
    if (address / 2 != 0x3FF && address / 2 != 0x2007) memory.SetByte(address, value);
  memory.SetWord(0x2007, bandGap | 0x0FC4);
  TComparison same = Compare(file, ReadOut(memory), chip);
  EXPECT_TRUE(same.Holds()) << same.Differences.front();
  EXPECT_EQ(same.Verified, 5u);
  EXPECT_EQ(same.NotCompared, 1u);

  // Only what the file sets counts, and a difference names its line, address and values.
  memory.SetWord(1, 0x2800);
  memory.SetWord(0x2101, 0x77);
  memory.SetWord(0x10, 0x0000);
  const TComparison changed = Compare(file, ReadOut(memory), chip);
  ASSERT_EQ(changed.Differences.size(), 2u);
  EXPECT_EQ(changed.Differences[0], "toggle.hex:1: 0x0001: file 0x2805, chip 0x2800");
  EXPECT_EQ(changed.Differences[1], "toggle.hex:4: 0x2101: file 0x34, chip 0x77");

  // With code and data protection written, zeros read back cannot be verified; they are no
  // mismatch. Memory that reads back otherwise still differs.
  const TImageFile locked = ParseImage(
      ":04000000FFFF0528D1\n:02400E00443E2E\n:044200001200340074\n:00000001FF\n", "locked.hex");
  for (const auto& [address, value] : locked.Bytes) memory.SetByte(address, value);
  Hex::THexImage answer = ReadOut(memory);  // protected EEPROM reads as zeros
  answer[0] = 0x34, answer[1] = 0x12;
  answer[2] = answer[3] = 0;
  const TComparison read = Compare(locked, answer, chip);
  EXPECT_EQ(read.Unverifiable, 3u);
  EXPECT_EQ(read.Differences, std::vector<std::string>{"locked.hex:1: 0x0000: file 0x3FFF, chip 0x1234"});
}

TEST(ImageCheck, BlankIsErasedProgramIdConfigurationAndDataWithTheCalibrationKept) {
  Sim::TChipMemory memory(*Sim::FindChip("PIC16F630"));
  const TChipLayout chip = Layout(0x10C);
  // The factory's calibration word and band-gap bits are part of a blank PIC16F630.
  memory.SetWord(0x2007, (memory.Word(0x2007) & 0x0FFF) | 0x1000);
  EXPECT_TRUE(NotBlank(ReadOut(memory), chip).empty());
  memory.SetWord(0x123, 0x2805);
  memory.SetWord(0x2105, 0x12);
  memory.SetWord(0x2000, 0x0001);
  memory.SetWord(0x2007, memory.Word(0x2007) & ~0x0080);  // code protection on
  EXPECT_EQ(NotBlank(ReadOut(memory), chip),
            (std::vector<std::string>{"0x0123: 0x2805", "0x2000: 0x0001", "0x2007: 0x1F7F", "0x2105: 0x12"}));
  // A read answer short of the chip is not a blank chip.
  Hex::THexImage shortAnswer = ReadOut(Sim::TChipMemory(*Sim::FindChip("PIC16F630")));
  shortAnswer.erase(0x0010);
  EXPECT_EQ(NotBlank(shortAnswer, chip), std::vector<std::string>{"0x0008: not in the read answer"});
}
