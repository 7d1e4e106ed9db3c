#pragma once
#include <cstdint>
#include <span>
#include <string_view>

namespace Sim {

// Chips that program alike: timing, block size, erase and protection rules follow the family.
enum TChipFamily { cfF84A, cfF87x, cfF87xA, cfF630 };

struct TChipModel {
  const char* Name;
  std::uint16_t DeviceId;  // as the chip reads it: family bits and silicon revision
  unsigned ProgramWords;
  unsigned EepromBytes;
  TChipFamily Family;
};

// Self-timed programming cycles of a family, in microseconds.
struct TProgrammingTimes {
  unsigned WordUs;       // one program cycle: a word, or a block on block-programmed parts
  unsigned BlockWords;   // program memory words one cycle writes (1 = word by word)
  unsigned EepromUs;     // one data EEPROM byte
  unsigned ConfigUs;     // one ID or configuration word
  unsigned EraseUs;      // bulk erase of the whole chip
};

std::span<const TChipModel> AllChips();

// Finds a chip by name, ignoring case; nullptr when there is none.
const TChipModel* FindChip(std::string_view name);

TProgrammingTimes DefaultTimes(TChipFamily family);

}  // namespace Sim
