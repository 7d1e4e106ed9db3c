#include "ChipMemory.h"

#include <algorithm>
#include <cstdio>

namespace Sim {

namespace {

// Factory calibration of a PIC16F630: RETLW with the oscillator trim, and the band-gap bits.
constexpr std::uint16_t F630CalibrationWord = 0x3480;
constexpr std::uint16_t F630BandGapMask = 0x3000;
constexpr std::uint16_t F630FactoryBandGap = 0x2000;

void PutWord(Hex::THexImage& image, std::uint32_t wordAddress, std::uint16_t value) {
  image[wordAddress * 2] = static_cast<std::uint8_t>(value);
  image[wordAddress * 2 + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

TChipMemory::TChipMemory(const TChipModel& model)
    : FModel(&model),
      FProgram(model.ProgramWords, BlankWord),
      FConfig(BlankWord),
      FEeprom(model.EepromBytes, BlankEepromByte) {
  FId.fill(BlankWord);
  if (model.Family == cfF630) {
    FProgram[model.ProgramWords - 1] = F630CalibrationWord;
    FConfig = (BlankWord & ~F630BandGapMask) | F630FactoryBandGap;
  }
}

TRegion TChipMemory::RegionOf(std::uint32_t w) const {
  if (w < FProgram.size()) return rgProgram;
  if (w >= IdWordAddress && w < IdWordAddress + IdWords) return rgId;
  if (w == ConfigWordAddress) return rgConfig;
  if (w >= EepromWordAddress && w < EepromWordAddress + FEeprom.size()) return rgEeprom;
  return rgNone;
}

std::uint16_t TChipMemory::Word(std::uint32_t w) const {
  switch (RegionOf(w)) {
    case rgProgram: return FProgram[w];
    case rgId: return FId[w - IdWordAddress];
    case rgConfig: return FConfig;
    case rgEeprom: return FEeprom[w - EepromWordAddress];
    case rgNone: break;
  }
  return 0;
}

void TChipMemory::SetWord(std::uint32_t w, std::uint16_t value) {
  switch (RegionOf(w)) {
    case rgProgram: FProgram[w] = value & 0x3FFF; break;
    case rgId: FId[w - IdWordAddress] = value & 0x3FFF; break;
    case rgConfig: FConfig = value & 0x3FFF; break;
    case rgEeprom: FEeprom[w - EepromWordAddress] = static_cast<std::uint8_t>(value); break;
    case rgNone: break;
  }
}

void TChipMemory::SetByte(std::uint32_t byteAddress, std::uint8_t value) {
  const std::uint32_t w = byteAddress / 2;
  const std::uint16_t old = Word(w);
  SetWord(w, byteAddress % 2 ? std::uint16_t((old & 0x00FF) | value << 8)
                             : std::uint16_t((old & 0xFF00) | value));
}

void TChipMemory::Erase() {
  const bool keepCalibration = FModel->Family == cfF630 && !FProgram.empty();
  const std::uint16_t calibration = keepCalibration ? FProgram.back() : BlankWord;
  const std::uint16_t bandGap = FConfig & F630BandGapMask;
  FProgram.assign(FProgram.size(), BlankWord);
  FId.fill(BlankWord);
  FEeprom.assign(FEeprom.size(), BlankEepromByte);
  FConfig = BlankWord;
  if (keepCalibration) {
    FProgram.back() = calibration;
    FConfig = (BlankWord & ~F630BandGapMask) | bandGap;
  }
}

void TChipMemory::Load(const Hex::THexImage& image) {
  for (const auto& [address, value] : image)
    if (RegionOf(address / 2) == rgNone) {
      char text[80];
      std::snprintf(text, sizeof text, "byte address 0x%X (word 0x%X) is outside the %s",
                    static_cast<unsigned>(address), static_cast<unsigned>(address / 2), FModel->Name);
      throw Hex::EHexFormat(text);
    }
  for (const auto& [address, value] : image) SetByte(address, value);
}

Hex::THexImage TChipMemory::Image() const {
  return ReadOut(FModel->ProgramWords, FModel->EepromBytes, false);
}

Hex::THexImage TChipMemory::ReadOut(unsigned programWords, unsigned eepromBytes,
                                    bool applyProtection) const {
  const bool codeProtected = applyProtection && ProgramProtected();
  const bool dataProtected = applyProtection && DataProtected();
  Hex::THexImage image;
  for (std::uint32_t w = 0; w < programWords; ++w)
    PutWord(image, w, w >= FProgram.size() ? BlankWord : codeProtected ? 0 : FProgram[w]);
  for (unsigned i = 0; i < IdWords; ++i) PutWord(image, IdWordAddress + i, FId[i]);
  PutWord(image, ConfigWordAddress, FConfig);
  for (std::uint32_t i = 0; i < eepromBytes; ++i)
    PutWord(image, EepromWordAddress + i,
            i >= FEeprom.size() ? BlankEepromByte : dataProtected ? 0 : FEeprom[i]);
  return image;
}

// A cleared protection bit protects. The PIC16F84A protects program memory (CP, bit 4);
// the others protect data EEPROM separately (CPD, bit 8).
bool TChipMemory::ProgramProtected() const {
  return FModel->Family == cfF84A && !(FConfig & 0x0010);
}

bool TChipMemory::DataProtected() const {
  return FModel->Family != cfF84A && !(FConfig & 0x0100);
}

}  // namespace Sim
