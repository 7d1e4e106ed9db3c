#include "BenchImage.h"

#include <string_view>

Sim::TChipMemory FullChip() {
  Sim::TChipMemory chip(*Sim::FindChip("PIC16F877A"));
  const Sim::TChipModel& model = chip.Model();
  // Anything that looks like code: no blank words, every digit in use.
  for (std::uint32_t word = 0; word < model.ProgramWords; ++word)
    chip.SetWord(word, static_cast<std::uint16_t>((word * 0x2F1 + 0x123) & 0x3FFF));
  for (std::uint32_t byte = 0; byte < model.EepromBytes; ++byte)
    chip.SetWord(Sim::EepromWordAddress + byte, static_cast<std::uint16_t>((byte * 37 + 5) & 0xFF));
  return chip;
}

std::string ReadImageText(const Sim::TChipMemory& chip) {
  return Hex::WriteHex(chip.ReadOut(chip.Model().ProgramWords, chip.Model().EepromBytes), "\r\n");
}

std::string WriteStream(const std::string& imageText) {
  std::string stream;
  stream.reserve(imageText.size());
  for (char c : imageText)
    if (c != '\r' && c != '\n') stream += c;
  return stream;
}
