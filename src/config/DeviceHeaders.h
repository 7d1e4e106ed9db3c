#pragma once
#include <cstddef>

namespace ChipConfig {

// The configuration options of one chip's gputils device header, as the header gives them
// (copied at build time).
struct THeaderText {
  const char* Chip;           // "PIC16F877A"
  const char* File;           // "p16f877a.inc"
  const char* ConfigOptions;  // the header's lines from "CONFIG Options" to its DEVID section
};

extern const THeaderText HeaderTexts[];
extern const std::size_t HeaderTextCount;

}  // namespace ChipConfig
