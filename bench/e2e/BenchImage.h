#pragma once
#include <string>

#include "ChipMemory.h"

// The largest image there is: a PIC16F877A full of code and data, every location set.
Sim::TChipMemory FullChip();

// The image as a read of that chip puts it into the window: HEX lines, each ended by CR LF.
std::string ReadImageText(const Sim::TChipMemory& chip);

// What a write job of that image sends: every character of every line, no line ends.
std::string WriteStream(const std::string& imageText);
