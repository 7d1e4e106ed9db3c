#pragma once
#include <string>
#include <vector>

#include "image/ImageFile.h"

namespace Cli {

// "1 location", "2 locations".
std::string Count(std::size_t n, const std::string& noun);
// The items on lines of their own, indented; the first ten, and a count of the rest.
std::string Listed(const std::vector<std::string>& items);

// The locations the programmer reported during a write, each at the line of the file that
// sets it: "count.hex: the PIC16F877A does not hold the image; the programmer reported
// 1 failed location:\n  count.hex:7: 0x0005: the programmer could not program it".
std::string FailedLocations(const Image::TImageFile& file, const std::string& chip,
                            const std::vector<std::string>& addresses);
// What a read-back comparison found: "count.hex: the PIC16F877A differs in 2 locations:...".
std::string Differences(const Image::TImageFile& file, const std::string& chip,
                        const std::vector<std::string>& differences);

}  // namespace Cli
