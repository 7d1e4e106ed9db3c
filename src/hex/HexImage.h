#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "hex/HexRecord.h"

namespace Hex {

// Memory contents keyed by byte address; absent addresses hold nothing.
using THexImage = std::map<std::uint32_t, std::uint8_t>;

// Reads Intel HEX text (record types 00 to 05; lines ended by CR LF, LF or CR; blank lines
// ignored; anything after the end-of-file record ignored). Throws EHexFormat naming the line
// on any malformed record, a missing end-of-file record, or a byte given twice with different
// values.
THexImage ReadHex(std::string_view text);

// Writes the image as 16-byte data records that never cross a 16-byte boundary or a gap, each
// followed by `eol`, an extended linear address record whenever the upper 16 address bits
// change from zero, and the end-of-file record.
std::string WriteHex(const THexImage& image, std::string_view eol = "\r\n");

// File forms of the two; failures to open, read or write throw EHexFormat naming the file.
THexImage LoadHexFile(const std::string& path);
void SaveHexFile(const std::string& path, const THexImage& image);

}  // namespace Hex
