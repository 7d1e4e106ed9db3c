// tolvane-hexcmp FILE CHIP: tells whether every byte of the Intel HEX file FILE is in CHIP,
// a dump of a whole chip, at the same address. Exit status 0 when it is, 1 when not, 2 on
// a file that cannot be read.
#include <cstdio>
#include <exception>

#include "hex/HexImage.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE CHIP\n", argv[0]);
    return 2;
  }
  Hex::THexImage file, chip;
  try {
    file = Hex::LoadHexFile(argv[1]);
    chip = Hex::LoadHexFile(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  int differences = 0;
  for (const auto& [address, value] : file) {
    const auto found = chip.find(address);
    if (found != chip.end() && found->second == value) continue;
    if (++differences <= 10) {
      if (found == chip.end())
        std::printf("byte 0x%04X: file %02X, chip has none\n", unsigned(address), value);
      else
        std::printf("byte 0x%04X: file %02X, chip %02X\n", unsigned(address), value,
                    found->second);
    }
  }
  if (differences > 0) {
    std::printf("The chip differs from %s in %d of %zu bytes.\n", argv[1], differences,
                file.size());
    return 1;
  }
  std::printf("The chip holds all %zu bytes of %s.\n", file.size(), argv[1]);
  return 0;
}
