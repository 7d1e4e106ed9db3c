#include "config/ConfigOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "Unit1/TempDir.h"
#include "hex/HexImage.h"
#include "image/ChipLayout.h"
#include "link/ChipTable.h"

using namespace ChipConfig;

namespace {

const TConfigTable& TableOf(const char* chip) {
  const TConfigTable* table = ConfigTableOf(chip);
  if (!table) throw std::runtime_error(std::string("no settings for ") + chip);
  return *table;
}

std::map<std::string, std::uint16_t> Masks(const TConfigTable& table) {
  std::map<std::string, std::uint16_t> masks;
  for (const TConfigField& field : table.Fields) masks[field.Name] = field.Mask;
  return masks;
}

}  // namespace

// The bits of each setting as the chips' data sheets give them.
TEST(ConfigTable, SettingsSitWhereTheDataSheetsPutThem) {
  using M = std::map<std::string, std::uint16_t>;
  EXPECT_EQ(Masks(TableOf("PIC16F84A")), (M{{"FOSC", 0x0003}, {"WDTE", 0x0004}, {"PWRTE", 0x0008}, {"CP", 0x3FF0}}));
  EXPECT_EQ(Masks(TableOf("PIC16F877")),
            (M{{"FOSC", 0x0003}, {"WDTE", 0x0004}, {"PWRTE", 0x0008}, {"CP", 0x3030}, {"BOREN", 0x0040},
               {"LVP", 0x0080}, {"CPD", 0x0100}, {"WRT", 0x0200}, {"DEBUG", 0x0800}}));
  EXPECT_EQ(Masks(TableOf("PIC16F877A")),
            (M{{"FOSC", 0x0003}, {"WDTE", 0x0004}, {"PWRTE", 0x0008}, {"BOREN", 0x0040}, {"LVP", 0x0080},
               {"CPD", 0x0100}, {"WRT", 0x0600}, {"DEBUG", 0x0800}, {"CP", 0x2000}}));
  EXPECT_EQ(Masks(TableOf("PIC16F630")), (M{{"FOSC", 0x0007}, {"WDTE", 0x0008}, {"PWRTE", 0x0010}, {"MCLRE", 0x0020},
                                            {"BOREN", 0x0040}, {"CP", 0x0080}, {"CPD", 0x0100}}));
  const TConfigField* fosc = nullptr;
  ASSERT_NE(TableOf("PIC16F630").Find("INTRC_OSC_NOCLKOUT", &fosc), nullptr);
  EXPECT_EQ(TableOf("PIC16F630").Find("INTRC_OSC_NOCLKOUT")->Name, "FOSC_INTRCIO");  // the alias's option
}

// gpasm assembles one word per option combination from the same header; decoding each gives
// back the options it was made of, and applying them by name gives the same word.
TEST(ConfigTable, DecodesWhatGpasmAssemblesFromTheSameHeader) {
  TTempDir dir;
  for (const char* chip : {"PIC16F84A", "PIC16F877", "PIC16F877A", "PIC16F630"}) {
    const TConfigTable& table = TableOf(chip);
    std::size_t rows = 0;
    for (const TConfigField& field : table.Fields) rows = std::max(rows, field.Options.size());
    std::string processor = std::string(chip).substr(3), source = "  list p=" + processor + "\n";
    for (char& c : processor) c = static_cast<char>(std::tolower(c));
    source += "  include <p" + processor + ".inc>\n  org 0\n";
    std::vector<std::vector<std::string>> names(rows);
    for (std::size_t row = 0; row < rows; ++row) {
      std::string expression;
      for (const TConfigField& field : table.Fields) {
        const TConfigOption& option = field.Options[row % field.Options.size()];
        // Odd rows use an alias where there is one.
        names[row].push_back(row % 2 && !option.Aliases.empty() ? option.Aliases.back() : option.Name);
        expression += (expression.empty() ? "_" : " & _") + names[row].back();
      }
      source += "  dw " + expression + "\n";
    }
    source += "  end\n";
    const std::string hex = dir.File(processor + ".hex");
    const std::string command = std::string(TOLVANE_GPASM) + " -q -p " + processor + " -o " + hex + " " +
                                dir.Write(processor + ".asm", source);
    ASSERT_EQ(std::system(command.c_str()), 0) << source;
    const Hex::THexImage words = Hex::LoadHexFile(hex);
    for (std::size_t row = 0; row < rows; ++row) {
      const std::uint16_t word = static_cast<std::uint16_t>(words.at(row * 2) | words.at(row * 2 + 1) << 8);
      const std::vector<TSetting> settings = Decode(table, word);
      ASSERT_EQ(settings.size(), table.Fields.size());
      std::uint16_t applied = 0x3FFF;
      for (std::size_t f = 0; f < settings.size(); ++f) {
        const TConfigField& field = table.Fields[f];
        EXPECT_EQ(settings[f].Option, &field.Options[row % field.Options.size()]) << chip << " " << names[row][f];
        applied = Apply(table, applied, names[row][f]);
      }
      EXPECT_EQ(applied, word) << chip << " row " << row;
    }
  }
}

// The chip rules that tell protected memory from a mismatch (typed from the data sheets)
// agree with every chip's header.
TEST(ConfigTable, ProtectionSettingsAgreeWithTheChipRules) {
  for (const std::string& name : ChipNames()) {
    const TConfigTable* table = ConfigTableOf(name);
    ASSERT_NE(table, nullptr) << name;
    const Image::TChipLayout chip = Image::LayoutOf(ChipNamed(name));
    for (const TConfigField& field : table->Fields)
      for (const TConfigOption& option : field.Options) {
        if (field.Name == "CP") {
          EXPECT_EQ(chip.ProtectsProgram(option.Value), option.Name != "CP_OFF") << name << " " << option.Name;
        } else if (field.Name == "CPD") {
          EXPECT_EQ(chip.ProtectsData(option.Value), option.Name == "CPD_ON") << name;
        } else {
          EXPECT_FALSE(chip.ProtectsProgram(option.Value) || chip.ProtectsData(option.Value)) << name << " " << option.Name;
        }
      }
  }
}

TEST(ConfigTable, AppliesASettingByNameAndListsTheSettingsForAnUnknownOne) {
  const TConfigTable& table = TableOf("PIC16F877A");
  EXPECT_EQ(Apply(table, 0x3F72, "WDTE_ON"), 0x3F76);
  EXPECT_EQ(Apply(table, 0x3F76, "_wdt_off"), 0x3F72);  // an alias, any case, the header's "_"
  try {
    Apply(table, 0x3F72, "WDTE_OF");
    FAIL();
  } catch (const EConfig& e) {
    EXPECT_EQ(e.Message().rfind("WDTE_OF: the PIC16F877A has no such setting; its settings (p16f877a.inc):\n"
                                "  FOSC: FOSC_LP, FOSC_XT, FOSC_HS, FOSC_EXTRC\n  WDTE: WDTE_OFF, WDTE_ON\n", 0), 0u)
        << e.Message();
  }
}

TEST(ConfigTable, RefusesHeadersWhoseSettingsAreNotSeparateBits) {
  // B shares bit 0 with A; a name twice; a value beyond 14 bits; a setting that clears nothing.
  for (const char* text : {"_A_ON EQU H'3FFE'\n_A_OFF EQU H'3FFF'\n\n_B_ON EQU H'3FFC'\n",
                           "_A_ON EQU H'3FFE'\n\n_A_ON EQU H'3FFD'\n", "_A_ON EQU H'7FFE'\n",
                           "_A_OFF EQU H'3FFF'\n"})
    EXPECT_THROW(ParseConfigOptions(text, "x.inc"), EConfig) << text;
  EXPECT_EQ(ParseConfigOptions("; comment\r\n_A_ON EQU H'3FFE' ; on\r\n_A_OFF EQU H'3FFF'\r\n", "x.inc").Fields.size(), 1u);
}
