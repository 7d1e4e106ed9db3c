#include "ChipModel.h"

#include <algorithm>
#include <cctype>

namespace Sim {

namespace {

// The upper bits identify the part; the low bits carry a plausible silicon revision.
constexpr TChipModel Chips[] = {
    {"PIC16F84A", 0x0563, 1024, 64, cfF84A},
    {"PIC16F870", 0x0D02, 2048, 64, cfF87x},
    {"PIC16F871", 0x0D22, 2048, 64, cfF87x},
    {"PIC16F872", 0x08E4, 2048, 64, cfF87x},
    {"PIC16F873", 0x0964, 4096, 128, cfF87x},
    {"PIC16F874", 0x0926, 4096, 128, cfF87x},
    {"PIC16F876", 0x09E6, 8192, 256, cfF87x},
    {"PIC16F877", 0x09A6, 8192, 256, cfF87x},
    {"PIC16F873A", 0x0E43, 4096, 128, cfF87xA},
    {"PIC16F874A", 0x0E63, 4096, 128, cfF87xA},
    {"PIC16F876A", 0x0E07, 8192, 256, cfF87xA},
    {"PIC16F877A", 0x0E28, 8192, 256, cfF87xA},
    {"PIC16F630", 0x10C3, 1024, 128, cfF630},
};

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::span<const TChipModel> AllChips() { return Chips; }

const TChipModel* FindChip(std::string_view name) {
  for (const auto& chip : Chips)
    if (SameName(chip.Name, name)) return &chip;
  return nullptr;
}

TProgrammingTimes DefaultTimes(TChipFamily family) {
  // Worst-case cycle times from the manufacturer's programming documents for each family.
  switch (family) {
    case cfF84A:
      return {8000, 1, 8000, 8000, 10000};
    case cfF87x:
      return {4000, 1, 4000, 4000, 8000};
    case cfF87xA:
      return {4000, 8, 4000, 4000, 8000};
    case cfF630:
      return {2500, 1, 6000, 2500, 8000};
  }
  return {0, 1, 0, 0, 0};
}

}  // namespace Sim
