// tolvane-hexcmp FILE CHIP: tells whether the chip dump CHIP holds the Intel HEX image FILE,
// compared as the programmer's verify compares: by address, words in their 14 bits, only the
// locations the file sets. Exit status 0 when it does, 1 when not, 2 on a file that cannot
// be read.
#include <cstdio>
#include <exception>

#include "hex/HexImage.h"
#include "image/ImageCheck.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE CHIP\n", argv[0]);
    return 2;
  }
  Image::TImageFile file;
  Hex::THexImage chip;
  try {
    file = Image::LoadImage(argv[1]);
    chip = Hex::LoadHexFile(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  // A dump does not say which chip it came from: any PIC16's memories, no chip's own rules.
  const Image::TComparison result = Image::Compare(file, chip, Image::AnyChipLayout());
  for (std::size_t i = 0; i < result.Differences.size() && i < 10; ++i)
    std::printf("%s\n", result.Differences[i].c_str());
  if (!result.Holds()) {
    std::printf("The chip differs from %s in %zu locations.\n", argv[1], result.Differences.size());
    return 1;
  }
  std::printf("The chip holds all %zu locations of %s.\n", result.Verified, argv[1]);
  return 0;
}
