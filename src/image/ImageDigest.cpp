#include "image/ImageDigest.h"

#include <cstdio>

#include "image/Sha256.h"

namespace Image {

std::string ImageDigest(const Hex::THexImage& image) {
  std::string lines;
  lines.reserve(image.size() * 12);
  char line[16];
  for (const auto& [address, value] : image) {
    const int n = std::snprintf(line, sizeof line, "%08X %02X\n", static_cast<unsigned>(address),
                                static_cast<unsigned>(value));
    lines.append(line, static_cast<std::size_t>(n));
  }
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : Sha256(lines)) {
    hex += Digits[byte >> 4];
    hex += Digits[byte & 15];
  }
  return hex;
}

}  // namespace Image
