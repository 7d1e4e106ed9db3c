#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Exception.h"

namespace ChipConfig {

// A device header that cannot be read as settings, or a setting that a chip does not have;
// the message names the header or the setting.
class EConfig : public Exception {
public:
  using Exception::Exception;
};

// One value of a setting: "_WDTE_OFF EQU H'3FFB' ; WDT disabled". A header's names for the
// same value after the first are its aliases ("_WDT_OFF").
struct TConfigOption {
  std::string Name;
  std::vector<std::string> Aliases;
  std::uint16_t Value;  // the header's word: its setting's bits as they are, every other bit 1
  std::string Description;
};

// A setting of the configuration word: the bits its options differ in.
struct TConfigField {
  std::string Name;  // the first option's name up to its "_": "FOSC", "WDTE", "CP"
  std::uint16_t Mask;
  std::vector<TConfigOption> Options;
};

// One chip's settings, in the header's order.
struct TConfigTable {
  std::string Chip;
  std::string Header;  // "p16f877a.inc"
  std::vector<TConfigField> Fields;

  // The option of this name or alias (case-blind, the header's leading "_" optional), or null.
  const TConfigOption* Find(std::string_view name, const TConfigField** field = nullptr) const;
};

// Reads a header's "CONFIG Options" lines: every run of "_NAME EQU H'hhhh' ; description"
// lines between blank or comment lines is one setting. Throws EConfig when the runs do not
// make settings of separate bits, or a name is given twice.
TConfigTable ParseConfigOptions(std::string_view text, const std::string& header);

// The settings of a known chip ("PIC16F877A"), read once from its header; null for a chip the
// build has no header for.
const TConfigTable* ConfigTableOf(std::string_view chip);

// A setting of a configuration word: the option its bits select, or null when they select
// none of the header's options.
struct TSetting {
  const TConfigField* Field;
  const TConfigOption* Option;
  std::uint16_t Bits;  // the word's bits under the field's mask
};
std::vector<TSetting> Decode(const TConfigTable& table, std::uint16_t word);

// The word with one setting changed to the named option. Throws EConfig listing the chip's
// settings when it has none of this name.
std::uint16_t Apply(const TConfigTable& table, std::uint16_t word, std::string_view name);

// "  FOSC: FOSC_LP, FOSC_XT, FOSC_HS, FOSC_EXTRC", one line per setting, no line end after
// the last.
std::string SettingsList(const TConfigTable& table);

}  // namespace ChipConfig
