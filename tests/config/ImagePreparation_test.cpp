#include "config/ImagePreparation.h"

#include <gtest/gtest.h>

#include "config/ConfigOptions.h"
#include "image/ImageCheck.h"
#include "link/ChipTable.h"

using namespace ChipConfig;

namespace {

Hex::THexImage WithConfig(std::uint16_t word) {
  return {{0x0000, 0x05}, {0x0001, 0x28}, {0x400E, word & 0xFF}, {0x400F, word >> 8}};
}

Image::TChipLayout Chip(const char* name) { return Image::LayoutOf(ChipNamed(name)); }

std::uint16_t Set(const char* chip, std::uint16_t word, std::initializer_list<const char*> names) {
  for (const char* name : names) word = Apply(*ConfigTableOf(chip), word, name);
  return word;
}

// The warnings, each cut to the part in brackets or after the address.
std::vector<std::string> Gist(const std::vector<std::string>& warnings) {
  std::vector<std::string> gist;
  for (const std::string& w : warnings) {
    const std::size_t open = w.find('(');
    gist.push_back(open != std::string::npos ? w.substr(open, w.find(')') - open + 1) : w.substr(0, w.find(':')));
  }
  return gist;
}

using TList = std::vector<std::string>;

}  // namespace

TEST(ImageWarnings, NameEachSettingThatSurprisesAndWhatTheChipKeeps) {
  EXPECT_EQ(ImageWarnings(WithConfig(0x3F72), Chip("PIC16F877A")), TList{});  // HS, no watchdog
  const std::uint16_t risky = Set("PIC16F877A", 0x3F72, {"CP_ALL", "CPD_ON", "LVP_ON", "DEBUG_ON"});
  EXPECT_EQ(Gist(ImageWarnings(WithConfig(risky), Chip("PIC16F877A"))),
            (TList{"(CP_ON)", "(CPD_ON)", "(LVP_ON)", "(DEBUG_ON)"}));  // CP_ALL is an alias
  // Code protection of the PIC16F877 in bits that name none of its options still protects.
  EXPECT_EQ(Gist(ImageWarnings(WithConfig(0x3F4F), Chip("PIC16F877"))), (TList{"(CP bits 0x3000)"}));
  // The PIC16F84A's one protection setting is not told twice.
  EXPECT_EQ(Gist(ImageWarnings(WithConfig(Set("PIC16F84A", 0x3FF1, {"CP_ON"})), Chip("PIC16F84A"))),
            (TList{"(CP_ON)"}));

  Hex::THexImage f630 = WithConfig(Set("PIC16F630", 0x3FFF, {"MCLRE_OFF"}) & 0x1FFF);
  f630[0x3FF * 2] = 0x80;
  f630[0x3FF * 2 + 1] = 0x34;
  const TList warnings = ImageWarnings(f630, Chip("PIC16F630"));
  EXPECT_EQ(Gist(warnings), (TList{"0x03FF", "(MCLRE_OFF)", "configuration word 0x1FDF"}));
  EXPECT_NE(warnings.back().find("band-gap calibration bits 13:12 to 01"), std::string::npos);

  EXPECT_EQ(ImageWarnings({{0x0000, 0x05}}, Image::AnyChipLayout()),
            TList{"no configuration word in the file: the chip keeps or gets whatever is there"});
}

TEST(PrepareImage, SetsTheConfigurationWordByNameAndWarnsOfTheResult) {
  const Image::TChipLayout chip = Chip("PIC16F877A");
  const TPreparedImage prepared = PrepareImage(WithConfig(0x3F72), chip, {"WDTE_ON", "LVP_ON", "WDT_ON"});
  EXPECT_EQ(Image::ConfigWordOf(prepared.Bytes), 0x3FF6);
  EXPECT_EQ(prepared.Bytes.size(), WithConfig(0).size());
  EXPECT_EQ(prepared.Bytes.at(1), 0x28);
  EXPECT_EQ(Gist(prepared.Warnings), TList{"(LVP_ON)"});
  EXPECT_EQ(PrepareImage(WithConfig(0x3F72), chip).Bytes, WithConfig(0x3F72));

  EXPECT_THROW(PrepareImage(WithConfig(0x3F72), chip, {"WDTE_ON", "WDTE_OFF"}), EConfig);
  EXPECT_THROW(PrepareImage(WithConfig(0x3F72), chip, {"MCLRE_OFF"}), EConfig);  // a PIC16F630 setting
  EXPECT_THROW(PrepareImage({{0x0000, 0x05}}, chip, {"WDTE_ON"}), EConfig);      // no word to change
}
