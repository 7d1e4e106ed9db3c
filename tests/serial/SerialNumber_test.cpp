#include "serial/SerialNumber.h"

#include <gtest/gtest.h>

#include <cstring>

#include "serial/Stamp.h"

using namespace Serial;

namespace {

using TValues = std::vector<std::uint8_t>;

std::vector<std::uint8_t> Text(const char* text) { return TValues(text, text + std::strlen(text)); }

}  // namespace

// Each format as its name defines it; what Encode makes, Decode reads back.
TEST(SerialFormat, EncodesEachFormatAsDefinedAndDecodesItBack) {
  struct TCase {
    const char *At, *Format;
    unsigned Width;
    std::uint64_t Number;
    TValues Values;
  };
  const TCase cases[] = {
      {"eeprom:0", "bin", 2, 0x1234, {0x12, 0x34}},
      {"eeprom:0", "le", 3, 0x1234, {0x34, 0x12, 0x00}},
      {"eeprom:0", "dec", 4, 42, Text("0042")},
      {"eeprom:0", "hex", 4, 0x2AF, Text("02AF")},
      {"program:0", "bcd", 2, 1234, {0x12, 0x34}},
      {"id", "hex", 0, 0x1A34, {1, 10, 3, 4}},
      {"id", "bcd", 0, 1234, {1, 2, 3, 4}},
      {"eeprom:0", "bin", 9, UINT64_MAX, {0, 255, 255, 255, 255, 255, 255, 255, 255}},
  };
  for (const TCase& c : cases) {
    const TSerialLayout layout = MakeLayout(c.At, c.Format, c.Width);
    EXPECT_EQ(Encode(c.Number, layout), c.Values) << c.Format;
    EXPECT_EQ(Decode(c.Values, layout), c.Number) << c.Format;
  }
  EXPECT_EQ(Decode(Text("12A4"), MakeLayout("eeprom:0", "dec", 4)), std::nullopt);
  EXPECT_EQ(Decode({0x1A}, MakeLayout("eeprom:0", "bcd", 1)), std::nullopt);
  EXPECT_EQ(Decode({1, 2, 11, 4}, MakeLayout("id", "dec")), std::nullopt);
  EXPECT_EQ(Decode({1, 0, 0, 0, 0, 0, 0, 0, 0}, MakeLayout("eeprom:0", "bin", 9)), std::nullopt);  // past 2^64
}

TEST(SerialFormat, RefusesNumbersThatDoNotFitAndLayoutsThatHoldNone) {
  EXPECT_THROW(Encode(0x10000, MakeLayout("eeprom:0", "bin", 2)), ESerial);
  EXPECT_THROW(Encode(10000, MakeLayout("eeprom:0", "dec", 4)), ESerial);
  EXPECT_THROW(Encode(10000, MakeLayout("id", "dec")), ESerial);
  EXPECT_NO_THROW(Encode(0xFFFF, MakeLayout("id", "bin")));
  for (auto [at, format, width] : {std::tuple{"id", "le", 0u}, {"id", "bin", 2u}, {"flash:0", "bin", 0u},
                                   {"eeprom", "bin", 0u}, {"eeprom:0x", "bin", 0u}, {"eeprom:-1", "bin", 0u},
                                   {"eeprom:0", "octal", 0u}, {"eeprom:0", "bin", 257u}})
    EXPECT_THROW(MakeLayout(at, format, width), ESerial) << at << " " << format << " " << width;
  const TSerialLayout layout = MakeLayout("EEPROM:0x10", "DEC");
  EXPECT_EQ(Describe(layout), "eeprom:0x0010, dec, 4 decimal characters");
}

// An EEPROM byte with its pad byte, a program word as RETLW k, an ID word holding one digit;
// a dump read back gives the number only where each location holds that form.
TEST(SerialPlace, PutsEachValueInItsMemoryAndReadsTheNumberBack) {
  EXPECT_EQ(Place({0xAB, 0xCD}, MakeLayout("program:0x100", "bin", 2)),
            (Hex::THexImage{{0x200, 0xAB}, {0x201, 0x34}, {0x202, 0xCD}, {0x203, 0x34}}));
  EXPECT_EQ(Place({0xAB}, MakeLayout("eeprom:3", "bin", 1)), (Hex::THexImage{{0x4206, 0xAB}, {0x4207, 0x00}}));
  EXPECT_EQ(Place({1, 2, 3, 4}, MakeLayout("id", "bin")),
            (Hex::THexImage{{0x4000, 1}, {0x4001, 0}, {0x4002, 2}, {0x4003, 0}, {0x4004, 3}, {0x4005, 0},
                            {0x4006, 4}, {0x4007, 0}}));

  for (const char* at : {"eeprom:0x20", "program:0x3F0", "id"}) {
    const TSerialLayout layout = MakeLayout(at, "bcd", at[0] == 'i' ? 0 : 3);
    Hex::THexImage dump = StampOf(4321, layout).Bytes;
    EXPECT_EQ(ReadNumber(dump, layout), 4321u) << at;
    dump.erase(std::prev(dump.end()));
    EXPECT_EQ(ReadNumber(dump, layout), at[0] == 'e' ? std::optional<std::uint64_t>(4321) : std::nullopt) << at;
  }
  const TSerialLayout program = MakeLayout("program:0", "bin", 1);
  EXPECT_EQ(ReadNumber({{0, 0x07}, {1, 0x30}}, program), std::nullopt);  // MOVLW, not RETLW
  EXPECT_EQ(ReadNumber({{0x4000, 0xFF}, {0x4001, 0x3F}, {0x4002, 1}, {0x4003, 0}, {0x4004, 2}, {0x4005, 0},
                        {0x4006, 3}, {0x4007, 0}},
                       MakeLayout("id", "hex")),
            std::nullopt);  // a blank ID word
}
