#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "hex/HexImage.h"

namespace Serial {

// One device's number in an SQTP list: the bytes its data record gives, at their byte
// addresses (the image's HEX addressing).
struct TNumRecord {
  std::size_t Line;
  Hex::THexImage Bytes;
};

// Reads an SQTP number list: Intel HEX with data records, extended linear address records
// (type 04) and one end-of-file record, last; each data record is the next device's number.
// Throws ESerial "name:line: detail" at the first fault, and for a list without numbers.
std::vector<TNumRecord> ReadNumList(std::string_view text, const std::string& name);

// Reads a file and parses it; throws ESerial "path: reason" when it cannot be read.
std::vector<TNumRecord> LoadNumList(const std::string& path);

}  // namespace Serial
