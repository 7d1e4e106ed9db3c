#pragma once
#include <string>
#include <vector>

#include "hex/HexImage.h"
#include "image/ChipLayout.h"

namespace ChipConfig {

// What an image's configuration word and special locations will do to a chip that its user
// should hear before the chip is burnt, one sentence each: code protection, low-voltage
// programming, the debugger, MCLR off, a missing configuration word, and locations the
// PIC16F630 keeps whatever is written. A layout without a device header (AnyChipLayout) gets
// only the checks that need no chip.
std::vector<std::string> ImageWarnings(const Hex::THexImage& image, const Image::TChipLayout& chip);

struct TPreparedImage {
  Hex::THexImage Bytes;  // what goes to the chip
  std::vector<std::string> Warnings;
};

// The image as it goes to the chip: its configuration word with each named setting applied
// (device header names such as "WDTE_OFF", in order), and the warnings of the result. Throws
// EConfig, listing the chip's settings, for a name the chip does not have; and for two
// different options of one setting, or settings for an image without a configuration word.
TPreparedImage PrepareImage(const Hex::THexImage& image, const Image::TChipLayout& chip,
                            const std::vector<std::string>& settings = {});

}  // namespace ChipConfig
