#include "image/ImageCheck.h"

#include <cstdio>
#include <optional>

namespace Image {

std::string Hex4(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
  return text;
}

namespace {

std::string Hex2(std::uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value & 0xFF));
  return text;
}

// The bytes of word w that the read answer holds, as bytesMask asks for them; nothing when
// one of them is missing.
std::optional<std::uint16_t> ReadWord(const Hex::THexImage& read, std::uint32_t w, unsigned bytesMask) {
  std::uint16_t value = 0;
  for (unsigned b = 0; b < 2; ++b) {
    if (!(bytesMask & (1u << b))) continue;
    const auto it = read.find(w * 2 + b);
    if (it == read.end()) return std::nullopt;
    value |= static_cast<std::uint16_t>(it->second << (8 * b));
  }
  return value;
}

// Bits of word w that a comparison looks at, given the bytes the file sets.
std::uint16_t ComparedBits(const TChipLayout& chip, TRegion region, unsigned bytesMask) {
  if (region == rgEeprom) return bytesMask & 1 ? 0x00FF : 0;
  std::uint16_t bits = WordMask;
  if (region == rgConfig) bits &= static_cast<std::uint16_t>(~chip.KeptConfigBits());
  if (!(bytesMask & 1)) bits &= 0xFF00;
  if (!(bytesMask & 2)) bits &= 0x00FF;
  return bits;
}

}  // namespace

std::optional<std::uint16_t> ConfigWordOf(const Hex::THexImage& image) {
  const auto low = image.find(ConfigWordAddress * 2), high = image.find(ConfigWordAddress * 2 + 1);
  if (low == image.end() || high == image.end()) return std::nullopt;
  return static_cast<std::uint16_t>(low->second | high->second << 8);
}

std::vector<std::string> OutsideChip(const TImageFile& file, const TChipLayout& chip) {
  std::vector<std::string> outside;
  ForEachWord(file.Bytes, [&](std::uint32_t w, std::uint16_t value, unsigned bytesMask) {
    if (chip.RegionOf(w) != rgOutside) return;
    const std::string shown = bytesMask == 3 ? Hex4(value) : Hex2(bytesMask & 1 ? value : value >> 8);
    outside.push_back(file.Where(w) + Hex4(w) + ": outside the " + chip.Name + " (value " + shown + ")");
  });
  return outside;
}

Hex::THexImage WithinChip(const Hex::THexImage& image, const TChipLayout& chip) {
  Hex::THexImage inside;
  for (const auto& [address, value] : image)
    if (chip.RegionOf(address / 2) != rgOutside) inside.emplace_hint(inside.end(), address, value);
  return inside;
}

TComparison Compare(const TImageFile& file, const Hex::THexImage& read, const TChipLayout& chip) {
  // Protected memory reads as zeros, and either configuration may be the one in force: the
  // one written, or the one the chip holds if that write did not take.
  const std::optional<std::uint16_t> written = ConfigWordOf(file.Bytes), held = ConfigWordOf(read);
  auto protects = [&](bool (TChipLayout::*rule)(std::uint16_t) const) {
    return (written && (chip.*rule)(*written)) || (held && (chip.*rule)(*held));
  };
  const bool programProtected = protects(&TChipLayout::ProtectsProgram);
  const bool dataProtected = protects(&TChipLayout::ProtectsData);
  const std::optional<std::uint32_t> calibration = chip.CalibrationWord();

  TComparison result;
  ForEachWord(file.Bytes, [&](std::uint32_t w, std::uint16_t value, unsigned bytesMask) {
    const TRegion region = chip.RegionOf(w);
    if (region == rgOutside || w == calibration) {
      ++result.NotCompared;
      return;
    }
    const std::uint16_t bits = ComparedBits(chip, region, bytesMask);
    const std::optional<std::uint16_t> got = ReadWord(read, w, bytesMask);
    if (got && (*got & bits) == (value & bits)) {
      ++result.Verified;
      return;
    }
    const bool isProtected = region == rgProgram ? programProtected : region == rgEeprom && dataProtected;
    if (got && isProtected && (*got & bits) == 0) {
      ++result.Unverifiable;
      return;
    }
    const bool eeprom = region == rgEeprom;
    const std::string inFile = eeprom ? Hex2(value) : Hex4(value & WordMask);
    const std::string onChip = !got ? "not in the read answer" : eeprom ? Hex2(*got) : Hex4(*got & WordMask);
    result.Differences.push_back(file.Where(w) + Hex4(w) + ": file " + inFile + ", chip " + onChip);
  });
  return result;
}

std::vector<std::string> NotBlank(const Hex::THexImage& read, const TChipLayout& chip) {
  std::vector<std::string> found;
  auto check = [&](std::uint32_t w, unsigned bytesMask, std::uint16_t bits, std::uint16_t blank) {
    const std::optional<std::uint16_t> got = ReadWord(read, w, bytesMask);
    if (!got)
      found.push_back(Hex4(w) + ": not in the read answer");
    else if ((*got & bits) != blank)
      found.push_back(Hex4(w) + ": " + (bytesMask == 1 ? Hex2(*got) : Hex4(*got & WordMask)));
  };
  const std::optional<std::uint32_t> calibration = chip.CalibrationWord();
  for (std::uint32_t w = 0; w < chip.ProgramWords; ++w)
    if (w != calibration) check(w, 3, WordMask, BlankWord);
  // A configuration written (code protection, say) or an ID written is no blank chip.
  for (std::uint32_t i = 0; i < IdWords; ++i) check(IdWordAddress + i, 3, WordMask, BlankWord);
  const auto configBits = static_cast<std::uint16_t>(WordMask & ~chip.KeptConfigBits());
  check(ConfigWordAddress, 3, configBits, BlankWord & configBits);
  for (std::uint32_t i = 0; i < chip.EepromBytes; ++i)
    check(EepromWordAddress + i, 1, 0x00FF, BlankEepromByte);
  return found;
}

}  // namespace Image
