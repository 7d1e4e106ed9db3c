#include "image/ChipLayout.h"

#include <set>
#include <string_view>

#include "link/ChipTable.h"

namespace Image {

namespace {

// Worst-case self-timed cycles from the manufacturer's programming documents, in ms.
struct TCycleTimes {
  double Word;          // one program cycle: a word, or a block on block-programmed parts
  unsigned BlockWords;  // program words one cycle writes
  double EepromByte;
  double IdOrConfig;
  double Erase;
};

TCycleTimes CycleTimes(TChipFamily family) {
  switch (family) {
    case cfF84A: return {8, 1, 8, 8, 10};
    case cfF87x: return {4, 1, 4, 4, 8};
    case cfF87xA: return {8, 8, 8, 8, 8};
    case cfF630: return {2.5, 1, 6, 2.5, 8};
    case cfOther: break;
  }
  return {8, 1, 8, 8, 10};
}

TChipFamily FamilyOf(std::string_view name) {
  if (name == "PIC16F84A") return cfF84A;
  if (name == "PIC16F630") return cfF630;
  if (name.size() == 9 && name.starts_with("PIC16F87")) return cfF87x;
  if (name.size() == 10 && name.starts_with("PIC16F87") && name.back() == 'A') return cfF87xA;
  return cfOther;
}

// Configuration bits whose clearing protects; a cleared bit turns protection on.
constexpr std::uint16_t F84ACodeProtect = 0x3FF0;    // CP, bits 13:4
constexpr std::uint16_t F87xCodeProtect = 0x3030;    // CP1:CP0, bits 13:12 and 5:4
constexpr std::uint16_t F87xACodeProtect = 0x2000;   // CP, bit 13
constexpr std::uint16_t F630CodeProtect = 0x0080;    // CP, bit 7
constexpr std::uint16_t DataProtect = 0x0100;        // CPD, bit 8
constexpr std::uint16_t F630BandGapBits = 0x3000;

bool Cleared(std::uint16_t config, std::uint16_t bits) { return (config & bits) != bits; }

}  // namespace

TRegion TChipLayout::RegionOf(std::uint32_t w) const {
  if (w < ProgramWords) return rgProgram;
  if (w >= IdWordAddress && w < IdWordAddress + IdWords) return rgId;
  if (w == ConfigWordAddress) return rgConfig;
  if (w >= EepromWordAddress && w < EepromWordAddress + EepromBytes) return rgEeprom;
  return rgOutside;
}

std::optional<std::uint32_t> TChipLayout::CalibrationWord() const {
  if (Family == cfF630 && ProgramWords > 0) return ProgramWords - 1;
  return std::nullopt;
}

std::uint16_t TChipLayout::KeptConfigBits() const {
  return Family == cfF630 ? F630BandGapBits : 0;
}

bool TChipLayout::ProtectsProgram(std::uint16_t config) const {
  switch (Family) {
    case cfF84A: return Cleared(config, F84ACodeProtect);
    case cfF87x: return Cleared(config, F87xCodeProtect);
    case cfF87xA: return Cleared(config, F87xACodeProtect);
    case cfF630: return Cleared(config, F630CodeProtect);
    case cfOther: break;
  }
  return false;
}

bool TChipLayout::ProtectsData(std::uint16_t config) const {
  switch (Family) {
    // The PIC16F84A has no separate data protection; its code protection is taken to cover
    // the data EEPROM as well, so that zeros read there are never called a mismatch.
    case cfF84A: return Cleared(config, F84ACodeProtect);
    case cfF87x:
    case cfF87xA:
    case cfF630: return Cleared(config, DataProtect);
    case cfOther: break;
  }
  return false;
}

double TChipLayout::ProgrammingSeconds(const Hex::THexImage& image) const {
  const TCycleTimes t = CycleTimes(Family);
  double ms = 0;
  std::set<std::uint32_t> blocks;
  ForEachWord(image, [&](std::uint32_t w, std::uint16_t, unsigned) {
    switch (RegionOf(w)) {
      case rgProgram: blocks.insert(w / t.BlockWords); break;
      case rgEeprom: ms += t.EepromByte; break;
      case rgId:
      case rgConfig: ms += t.IdOrConfig; break;
      case rgOutside: break;
    }
  });
  ms += static_cast<double>(blocks.size()) * t.Word;
  return ms / 1000;
}

double TChipLayout::EraseSeconds() const { return CycleTimes(Family).Erase / 1000; }

TChipLayout LayoutOf(const TChip& chip) {
  TChipLayout layout;
  layout.Name = chip.ChipName;
  layout.ProgramWords = static_cast<unsigned>(ProgramKWords(chip.SizeCode)) * 1024;
  layout.EepromBytes = static_cast<unsigned>(EepromBytes(chip.SizeCode));
  layout.Family = FamilyOf(chip.ChipName);
  return layout;
}

TChipLayout AnyChipLayout() {
  TChipLayout layout;
  layout.Name = "PIC16";
  layout.ProgramWords = 8192;
  layout.EepromBytes = 256;
  return layout;
}

}  // namespace Image
