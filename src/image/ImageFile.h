#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hex/HexImage.h"

namespace Image {

// An Intel HEX image as the programmer takes it, with the place of each of its data records.
struct TImageFile {
  std::string Name;  // how messages name it: the path as given; empty for a text from no file
  Hex::THexImage Bytes;
  std::vector<Hex::TRecordPlace> Records;  // data records in file order

  // The line that sets the byte at this address; 0 when no line does.
  std::size_t LineOf(std::uint32_t byteAddress) const;
  // "name:line: " for the line that sets the word ("line N: " without a name), or "name: ".
  std::string Where(std::uint32_t wordAddress) const;
};

// Reads the text by the programmer's rules (Hex::THexRules::Programmer). Throws
// Hex::EHexFormat "name:line: detail" at the first fault ("line N: detail" without a name).
TImageFile ParseImage(std::string_view text, const std::string& name);

// Reads a whole file and parses it; `text` receives its bytes. Throws Hex::EHexFormat
// "path: reason" when it cannot be read.
TImageFile LoadImage(const std::string& path, std::string* text = nullptr);

}  // namespace Image
