#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "ChipModel.h"
#include "hex/HexImage.h"

namespace Sim {

// PIC16 word addresses of the memories beside program memory; a byte address in a HEX file is
// twice the word address, each word stored low byte first.
constexpr std::uint32_t IdWordAddress = 0x2000;
constexpr unsigned IdWords = 4;
constexpr std::uint32_t ConfigWordAddress = 0x2007;
constexpr std::uint32_t EepromWordAddress = 0x2100;
constexpr std::uint16_t BlankWord = 0x3FFF;
constexpr std::uint8_t BlankEepromByte = 0xFF;

enum TRegion { rgNone, rgProgram, rgId, rgConfig, rgEeprom };

// The flash and EEPROM contents of one chip.
class TChipMemory {
public:
  explicit TChipMemory(const TChipModel& model);

  const TChipModel& Model() const { return *FModel; }

  TRegion RegionOf(std::uint32_t wordAddress) const;

  // Stored value of a location: a 14-bit word, or the EEPROM byte. The location must exist.
  std::uint16_t Word(std::uint32_t wordAddress) const;
  // Programs a location, keeping the bits the chip has (14 per word, 8 per EEPROM byte).
  void SetWord(std::uint32_t wordAddress, std::uint16_t value);
  // Replaces one byte of the word at byteAddress / 2, as a HEX record delivers them.
  void SetByte(std::uint32_t byteAddress, std::uint8_t value);

  // Bulk erase: everything blank except the factory calibration a PIC16F630 keeps.
  void Erase();

  // Programs every byte of the image; throws Hex::EHexFormat naming the first address outside
  // the chip, before anything is changed.
  void Load(const Hex::THexImage& image);

  // The whole chip as a HEX file holds it, with no read protection applied.
  Hex::THexImage Image() const;

  // What reading programWords and eepromBytes gives through the programming interface:
  // locations past the chip's memories read blank, protected memory reads zeros.
  Hex::THexImage ReadOut(unsigned programWords, unsigned eepromBytes, bool applyProtection = true) const;

  bool ProgramProtected() const;
  bool DataProtected() const;

private:
  const TChipModel* FModel;
  std::vector<std::uint16_t> FProgram;
  std::array<std::uint16_t, IdWords> FId;
  std::uint16_t FConfig;
  std::vector<std::uint8_t> FEeprom;
};

}  // namespace Sim
