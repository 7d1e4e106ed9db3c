#include "serial/Stamp.h"

#include "image/ImageCheck.h"

namespace Serial {

using Image::Hex4;

TStamp StampOf(std::uint64_t number, const TSerialLayout& layout) {
  return {std::to_string(number), Place(Encode(number, layout), layout)};
}

TStamp StampOf(const TNumRecord& record) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  TStamp stamp{"", record.Bytes};
  for (const auto& [address, value] : record.Bytes) {
    stamp.Number += Digits[value >> 4];
    stamp.Number += Digits[value & 15];
  }
  return stamp;
}

void CheckStamp(const Hex::THexImage& image, const Image::TChipLayout& chip, const TStamp& stamp, bool overwrite) {
  const std::optional<std::uint32_t> calibration = chip.CalibrationWord();
  Image::ForEachWord(stamp.Bytes, [&](std::uint32_t w, std::uint16_t value, unsigned bytesMask) {
    auto fault = [&](const std::string& why) { return ESerial("number " + stamp.Number + ": " + Hex4(w) + ": " + why); };
    const Image::TRegion region = chip.RegionOf(w);
    if (region == Image::rgOutside) throw fault("outside the " + chip.Name);
    if (w == calibration) throw fault("the " + chip.Name + "'s calibration word, which the chip keeps");
    if (region != Image::rgEeprom && (bytesMask != 3 || value > Image::WordMask))
      throw fault(bytesMask != 3 ? "the number gives only one byte of the word" : "not a 14-bit word");
    if (region == Image::rgEeprom && !(bytesMask & 1)) throw fault("the number gives no data byte here");
    if (!overwrite && (image.count(w * 2) || image.count(w * 2 + 1))) throw fault("the image sets this word itself");
  });
}

Hex::THexImage Stamped(const Hex::THexImage& image, const Image::TChipLayout& chip, const TStamp& stamp,
                       bool overwrite) {
  CheckStamp(image, chip, stamp, overwrite);
  Hex::THexImage stamped = image;
  for (const auto& [address, value] : stamp.Bytes) stamped[address] = value;
  return stamped;
}

TNumberSource::TNumberSource(const TSerialLayout& layout, std::uint64_t start, std::uint64_t step)
    : FSource(TSequence{layout, start, step}) {}

TNumberSource::TNumberSource(std::vector<TNumRecord> list) : FSource(std::move(list)) {}

TStamp TNumberSource::StampFor(std::uint64_t index) const {
  if (const auto* list = std::get_if<std::vector<TNumRecord>>(&FSource)) {
    if (index >= list->size())
      throw ESerial("the number list is used up: its " + std::to_string(list->size()) + " numbers are given");
    return StampOf((*list)[index]);
  }
  const TSequence& s = std::get<TSequence>(FSource);
  if (s.Step && index > (UINT64_MAX - s.Start) / s.Step)
    throw ESerial("the numbers from " + std::to_string(s.Start) + " in steps of " + std::to_string(s.Step) +
                  " pass 2^64 at chip " + std::to_string(index + 1));
  return StampOf(s.Start + index * s.Step, s.Layout);
}

std::optional<std::uint64_t> TNumberSource::Count() const {
  if (const auto* list = std::get_if<std::vector<TNumRecord>>(&FSource)) return list->size();
  return std::nullopt;
}

void TNumberSource::Check(const Hex::THexImage& image, const Image::TChipLayout& chip, bool overwrite) const {
  const std::uint64_t count = Count().value_or(1);
  for (std::uint64_t i = 0; i < count; ++i) CheckStamp(image, chip, StampFor(i), overwrite);
}

std::optional<std::uint64_t> ReadNumber(const Hex::THexImage& image, const TSerialLayout& layout) {
  const std::optional<std::vector<std::uint8_t>> values = Extract(image, layout);
  return values ? Decode(*values, layout) : std::nullopt;
}

}  // namespace Serial
