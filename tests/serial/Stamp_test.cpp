#include "serial/Stamp.h"

#include <gtest/gtest.h>

#include "link/ChipTable.h"

using namespace Serial;

namespace {

const Image::TChipLayout F630 = Image::LayoutOf(ChipNamed("PIC16F630"));  // 1K words, 128 EEPROM bytes

// The file's own data: program word 0x010 and EEPROM byte 0.
const Hex::THexImage Data{{0x20, 0x05}, {0x21, 0x28}, {0x4200, 0x42}, {0x4201, 0x00}};

std::string Refusal(const TStamp& stamp, bool overwrite = false) {
  try {
    Stamped(Data, F630, stamp, overwrite);
  } catch (const ESerial& e) {
    return e.Message();
  }
  return "";
}

}  // namespace

TEST(Stamp, GoesOnlyInsideTheChipAndBesideTheImagesOwnData) {
  EXPECT_EQ(Refusal(StampOf(1234, MakeLayout("eeprom:0x7E", "dec"))), "number 1234: 0x2180: outside the PIC16F630");
  EXPECT_EQ(Refusal(StampOf(7, MakeLayout("program:0x3FC", "bin"))),
            "number 7: 0x03FF: the PIC16F630's calibration word, which the chip keeps");
  EXPECT_EQ(Refusal(StampOf(7, MakeLayout("program:0x00E", "bin"))), "number 7: 0x0010: the image sets this word itself");
  EXPECT_EQ(Refusal(StampOf({1, {{0x4000, 0x01}}})), "number 01: 0x2000: the number gives only one byte of the word");

  const Hex::THexImage over = Stamped(Data, F630, StampOf(0x31, MakeLayout("eeprom:0", "bin", 1)), true);
  EXPECT_EQ(over.at(0x4200), 0x31);
  const Hex::THexImage beside = Stamped(Data, F630, StampOf(0x0102, MakeLayout("eeprom:1", "bin", 2)), false);
  EXPECT_EQ(beside.size(), Data.size() + 4);
  EXPECT_EQ(beside.at(0x4200), 0x42);
  EXPECT_EQ(beside.at(0x4202), 0x01);
  EXPECT_EQ(beside.at(0x4204), 0x02);
}

TEST(NumberSource, GivesTheNthChipItsNumberUntilTheNumbersRunOut) {
  const TSerialLayout layout = MakeLayout("eeprom:0", "dec");
  const TNumberSource sequence(layout, 100, 5);
  EXPECT_EQ(sequence.StampFor(3).Number, "115");
  EXPECT_EQ(sequence.StampFor(3).Bytes, StampOf(115, layout).Bytes);
  EXPECT_EQ(sequence.Count(), std::nullopt);
  EXPECT_THROW(TNumberSource(layout, 9999, 1).StampFor(1), ESerial);                             // 5 digits
  EXPECT_THROW(TNumberSource(MakeLayout("eeprom:0", "bin", 8), UINT64_MAX - 1, 2).StampFor(1), ESerial);  // 2^64

  const TNumberSource list({{2, {{0x4200, 0x31}, {0x4201, 0}}}, {3, {{0x4300, 0x32}, {0x4301, 0}}}});
  EXPECT_EQ(list.StampFor(1).Number, "3200");
  try {
    list.StampFor(2);
    FAIL();
  } catch (const ESerial& e) {
    EXPECT_EQ(std::string(e.what()).rfind("the number list is used up", 0), 0u);
  }
  // The check before the first chip finds the record that does not fit, not only the first.
  EXPECT_THROW(list.Check({}, F630, false), ESerial);
  EXPECT_THROW(TNumberSource(layout, 1, 1).Check(Data, F630, false), ESerial);  // EEPROM byte 0 is taken
  EXPECT_NO_THROW(TNumberSource(MakeLayout("eeprom:1", "dec"), 1, 1).Check(Data, F630, false));
}
