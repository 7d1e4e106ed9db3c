#include "config/ImagePreparation.h"

#include <cstdio>
#include <map>
#include <optional>

#include "config/ConfigOptions.h"
#include "image/ImageCheck.h"

namespace ChipConfig {

using Image::Hex4;

namespace {

// What a setting of the word is called: its option's name, or its bits when they name none.
std::string Named(const TConfigTable* table, std::string_view field, std::uint16_t word) {
  if (table)
    for (const TSetting& s : Decode(*table, word))
      if (s.Field->Name == field) return s.Option ? s.Option->Name : std::string(field) + " bits " + Hex4(s.Bits);
  return std::string(field);
}

// Whether the word selects this option of the chip's header.
bool Selects(const TConfigTable* table, std::uint16_t word, std::string_view option) {
  const TConfigField* field = nullptr;
  const TConfigOption* o = table ? table->Find(option, &field) : nullptr;
  return o && (word & field->Mask) == (o->Value & field->Mask);
}

}  // namespace

std::vector<std::string> ImageWarnings(const Hex::THexImage& image, const Image::TChipLayout& chip) {
  std::vector<std::string> warnings;
  const std::uint32_t configByte = Image::ConfigWordAddress * 2;
  const bool low = image.count(configByte), high = image.count(configByte + 1);
  if (!low && !high)
    warnings.push_back("no configuration word in the file: the chip keeps or gets whatever is there");
  else if (!low || !high)
    warnings.push_back("0x2007: the file sets only one byte of the configuration word");
  if (const auto calibration = chip.CalibrationWord();
      calibration && (image.count(*calibration * 2) || image.count(*calibration * 2 + 1)))
    warnings.push_back(Hex4(*calibration) + ": the file sets the oscillator calibration word, which the " +
                       chip.Name + " keeps: its own value stays");

  const std::optional<std::uint16_t> config = Image::ConfigWordOf(image);
  if (!config) return warnings;
  const TConfigTable* table = ConfigTableOf(chip.Name);
  const std::string word = "configuration word " + Hex4(*config) + ": ";
  if (chip.ProtectsProgram(*config))
    warnings.push_back(word + "code protection on (" + Named(table, "CP", *config) +
                       "): program memory reads back as zeros, so it cannot be verified or read out");
  // The PIC16F84A has no data protection of its own.
  if (chip.Family != Image::cfF84A && chip.ProtectsData(*config))
    warnings.push_back(word + "data EEPROM code protection on (" + Named(table, "CPD", *config) +
                       "): the EEPROM reads back as zeros");
  if (Selects(table, *config, "LVP_ON"))
    warnings.push_back(word + "low-voltage programming on (LVP_ON): RB3 belongs to programming, not to the program");
  if (Selects(table, *config, "DEBUG_ON"))
    warnings.push_back(word + "in-circuit debugger on (DEBUG_ON): RB6 and RB7 belong to the debugger");
  if (Selects(table, *config, "MCLRE_OFF"))
    warnings.push_back(word + "MCLR off (MCLRE_OFF): RA3/MCLR is a digital input and no longer resets the chip");
  if (const std::uint16_t kept = chip.KeptConfigBits(); (*config & kept) != kept)
    warnings.push_back(word + "sets the band-gap calibration bits 13:12 to " +
                       std::to_string(*config >> 13 & 1) + std::to_string(*config >> 12 & 1) +
                       ", which the " + chip.Name + " keeps: its own values stay");
  return warnings;
}

TPreparedImage PrepareImage(const Hex::THexImage& image, const Image::TChipLayout& chip,
                            const std::vector<std::string>& settings) {
  TPreparedImage prepared{image, {}};
  if (!settings.empty()) {
    const TConfigTable* table = ConfigTableOf(chip.Name);
    if (!table) throw EConfig(settings.front() + ": the " + chip.Name + " has no device header that names its settings");
    std::optional<std::uint16_t> config = Image::ConfigWordOf(image);
    if (!config) throw EConfig(settings.front() + ": the image has no configuration word (0x2007) to change");
    std::map<const TConfigField*, const TConfigOption*> chosen;
    for (const std::string& name : settings) {
      const TConfigField* field = nullptr;
      const TConfigOption* option = table->Find(name, &field);
      if (!option) Apply(*table, *config, name);  // throws, listing the settings
      const auto [it, added] = chosen.emplace(field, option);
      if (!added && it->second != option)
        throw EConfig(name + ": " + field->Name + " is set to " + it->second->Name + " already");
      config = Apply(*table, *config, name);
    }
    const std::uint32_t configByte = Image::ConfigWordAddress * 2;
    prepared.Bytes[configByte] = static_cast<std::uint8_t>(*config & 0xFF);
    prepared.Bytes[configByte + 1] = static_cast<std::uint8_t>(*config >> 8);
  }
  prepared.Warnings = ImageWarnings(prepared.Bytes, chip);
  return prepared;
}

}  // namespace ChipConfig
