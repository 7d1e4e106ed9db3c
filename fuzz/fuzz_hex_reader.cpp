// Any text given to the Intel HEX reader either fails with its format error or gives an image
// that, written out again, reads back as the same image. What the programmer's stricter rules
// take, the lenient reader takes alike.
#include <cstdlib>
#include <string_view>

#include "hex/HexImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Hex::THexImage image;
  try {
    image = Hex::ReadHex(text);
  } catch (const Hex::EHexFormat&) {
    return 0;
  }
  try {
    if (Hex::ReadHex(text, Hex::THexRules::Programmer) != image) std::abort();
  } catch (const Hex::EHexFormat&) {
  }
  if (Hex::ReadHex(Hex::WriteHex(image)) != image) std::abort();
  if (Hex::ReadHex(Hex::WriteHex(image, "\n")) != image) std::abort();
  return 0;
}
