#include "image/ImageSummary.h"

#include "image/ImageCheck.h"

namespace Image {

namespace {

void Extend(std::vector<TAddressRange>& ranges, std::uint32_t address) {
  if (!ranges.empty() && ranges.back().Last + 1 == address)
    ranges.back().Last = address;
  else
    ranges.push_back({address, address});
}

}  // namespace

TImageSummary Summarize(const Hex::THexImage& image, const TChipLayout& chip) {
  TImageSummary summary;
  ForEachWord(image, [&](std::uint32_t w, std::uint16_t value, unsigned) {
    switch (chip.RegionOf(w)) {
      case rgProgram:
        Extend(summary.Program, w);
        ++summary.ProgramWords;
        break;
      case rgId: summary.IdWords.emplace_back(w, value); break;
      case rgConfig: break;
      case rgEeprom:
        Extend(summary.Eeprom, w - EepromWordAddress);
        ++summary.EepromBytes;
        break;
      case rgOutside: summary.Outside.push_back(w); break;
    }
  });
  summary.ConfigWord = ConfigWordOf(image);
  return summary;
}

}  // namespace Image
