// Serial numbers from any bytes: a layout and a number from the first eleven, an SQTP number
// list from the rest. A number either does not fit its layout (ESerial) or reads back as
// itself from the locations its stamp sets; a list either fails with ESerial or gives stamps
// whose checks against a chip pass or fail with ESerial.
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/ChipTable.h"
#include "serial/Stamp.h"

using namespace Serial;

namespace {

constexpr const char* Formats[] = {"bin", "le", "dec", "hex", "bcd"};
constexpr const char* Places[] = {"eeprom:", "program:", "id"};

void CheckNumber(const std::uint8_t* data) {
  const unsigned place = data[0] % 3, format = data[0] / 3 % 5;
  const std::string at = Places[place] + (place == 2 ? std::string() : std::to_string(data[1] | data[2] << 8));
  TSerialLayout layout;
  try {
    layout = MakeLayout(at, Formats[format], data[3]);
  } catch (const ESerial&) {
    return;
  }
  std::uint64_t number = 0;
  for (int i = 0; i < 7; ++i) number = number << 8 | data[4 + i];
  number >>= data[0] % 57;  // small numbers too, which fit narrow layouts
  std::vector<std::uint8_t> values;
  try {
    values = Encode(number, layout);
  } catch (const ESerial&) {
    return;
  }
  if (Decode(values, layout) != number) std::abort();
  const Hex::THexImage image = Place(values, layout);
  if (Extract(image, layout) != values || ReadNumber(image, layout) != number) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t Head = 11;
  if (size < Head) return 0;
  CheckNumber(data);
  static const Image::TChipLayout chip = Image::LayoutOf(ChipNamed("PIC16F630"));
  try {
    const TNumberSource list(ReadNumList(std::string_view(reinterpret_cast<const char*>(data) + Head, size - Head), "fuzz.num"));
    for (std::uint64_t i = 0; i < *list.Count() && i < 16; ++i) {
      const TStamp stamp = list.StampFor(i);
      try {
        const Hex::THexImage stamped = Stamped({}, chip, stamp, false);
        if (stamped != stamp.Bytes) std::abort();
      } catch (const ESerial&) {
      }
    }
  } catch (const ESerial&) {
  }
  return 0;
}
