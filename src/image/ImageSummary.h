#pragma once
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "hex/HexImage.h"
#include "image/ChipLayout.h"

namespace Image {

struct TAddressRange {
  std::uint32_t First, Last;  // both included
};

// What an image sets, memory by memory, as a chip divides them. A word counts when the image
// sets either of its bytes.
struct TImageSummary {
  std::vector<TAddressRange> Program;  // word addresses
  std::size_t ProgramWords = 0;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> IdWords;  // word address, value
  std::optional<std::uint16_t> ConfigWord;                       // when both bytes are set
  std::vector<TAddressRange> Eeprom;                             // byte addresses from 0
  std::size_t EepromBytes = 0;
  std::vector<std::uint32_t> Outside;  // word addresses the chip does not have
};

TImageSummary Summarize(const Hex::THexImage& image, const TChipLayout& chip);

}  // namespace Image
