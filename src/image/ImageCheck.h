#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hex/HexImage.h"
#include "image/ChipLayout.h"
#include "image/ImageFile.h"

namespace Image {

// An address or word as every message of this program writes it: 0x and four hexadecimal digits.
std::string Hex4(std::uint32_t value);

// The configuration word an image gives, when it gives both of its bytes.
std::optional<std::uint16_t> ConfigWordOf(const Hex::THexImage& image);

// The file's locations that the chip does not have, one message each, in address order:
// "count.hex:12: 0x2006: outside the PIC16F877A (value 0x3FFF)".
std::vector<std::string> OutsideChip(const TImageFile& file, const TChipLayout& chip);

// The image without the locations the chip does not have.
Hex::THexImage WithinChip(const Hex::THexImage& image, const TChipLayout& chip);

// A chip's read answer set against the file that was written, location by location.
struct TComparison {
  // "count.hex:7: 0x0123: file 0x3FF2, chip 0x3FF0", in address order.
  std::vector<std::string> Differences;
  std::size_t Verified = 0;
  // Locations read back as zeros where the configuration turns on code protection.
  std::size_t Unverifiable = 0;
  // Locations the chip does not have, or keeps whatever is written (PIC16F630 calibration).
  std::size_t NotCompared = 0;

  bool Holds() const { return Differences.empty(); }
};

// Compares only the locations the file sets: program, ID and configuration words in their
// 14 bits, data EEPROM as bytes.
TComparison Compare(const TImageFile& file, const Hex::THexImage& read, const TChipLayout& chip);

// What keeps a read answer from being a blank chip: program, ID and configuration words other
// than 0x3FFF in their 14 bits (the PIC16F630's calibration word and band-gap bits excepted)
// and data EEPROM bytes other than 0xFF, one message each ("0x0123: 0x2805"), in address order.
std::vector<std::string> NotBlank(const Hex::THexImage& read, const TChipLayout& chip);

}  // namespace Image
