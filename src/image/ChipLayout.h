#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "hex/HexImage.h"

struct TChip;

namespace Image {

// PIC16 word addresses beside program memory. A HEX file holds each word at twice its word
// address, low byte first; a data EEPROM byte takes a whole word whose high byte is 0.
constexpr std::uint32_t IdWordAddress = 0x2000;
constexpr unsigned IdWords = 4;
constexpr std::uint32_t ConfigWordAddress = 0x2007;
constexpr std::uint32_t EepromWordAddress = 0x2100;
constexpr std::uint16_t WordMask = 0x3FFF;  // a flash word has 14 bits
constexpr std::uint16_t BlankWord = 0x3FFF;
constexpr std::uint8_t BlankEepromByte = 0xFF;

enum TRegion { rgOutside, rgProgram, rgId, rgConfig, rgEeprom };

// Chips that program and protect alike.
enum TChipFamily { cfOther, cfF84A, cfF87x, cfF87xA, cfF630 };

// What the image checks need to know of a chip.
struct TChipLayout {
  std::string Name;
  unsigned ProgramWords = 0;
  unsigned EepromBytes = 0;
  TChipFamily Family = cfOther;

  TRegion RegionOf(std::uint32_t wordAddress) const;

  // The PIC16F630 keeps its oscillator calibration in its last program word and its
  // band-gap calibration in configuration bits 13:12, whatever is written there.
  std::optional<std::uint32_t> CalibrationWord() const;
  std::uint16_t KeptConfigBits() const;

  // Whether a configuration word turns on read protection: protected memory reads as zeros.
  bool ProtectsProgram(std::uint16_t config) const;
  bool ProtectsData(std::uint16_t config) const;

  // Worst-case self-timed programming of the image's locations, and of a bulk erase.
  double ProgrammingSeconds(const Hex::THexImage& image) const;
  double EraseSeconds() const;
};

// The identified chip: sizes from its size code, rules from its name.
TChipLayout LayoutOf(const TChip& chip);

// The largest memories any supported chip has, with no chip's own rules: for comparing a
// file with a dump of an unknown chip.
TChipLayout AnyChipLayout();

// Calls fn(wordAddress, value, bytesMask) for every word the image touches, in address order;
// bytesMask has bit 0 for the low byte, bit 1 for the high byte; a missing byte reads 0.
template <typename Fn>
void ForEachWord(const Hex::THexImage& image, Fn&& fn) {
  for (auto it = image.begin(); it != image.end();) {
    const std::uint32_t word = it->first / 2;
    std::uint16_t value = 0;
    unsigned mask = 0;
    for (; it != image.end() && it->first / 2 == word; ++it) {
      const bool high = it->first % 2;
      value |= static_cast<std::uint16_t>(it->second << (high ? 8 : 0));
      mask |= high ? 2u : 1u;
    }
    fn(word, value, mask);
  }
}

}  // namespace Image
