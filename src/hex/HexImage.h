#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "hex/HexRecord.h"

namespace Hex {

// Memory contents keyed by byte address; absent addresses hold nothing.
using THexImage = std::map<std::uint32_t, std::uint8_t>;

// How much of the Intel HEX variety a reader takes.
enum class THexRules {
  // Record types 00 to 05; lines ended by CR LF, LF or CR; anything after the end-of-file
  // record ignored.
  Lenient,
  // What the programmer takes: record types 00, 01, 02 and 04, the last two with an upper
  // address of 0 (every PIC16 location lies below 64K); lines ended by CR LF or LF; exactly
  // one end-of-file record, with nothing but blank lines after it.
  Programmer,
};

// Where a data record stands: its line, and the bytes it gives.
struct TRecordPlace {
  std::size_t Line;
  std::uint32_t Address;
  std::size_t Length;
};

// Reads Intel HEX text by the given rules; blank lines and spaces or tabs around a record are
// ignored. Throws EHexFormat naming the line on any malformed or refused record, a missing
// end-of-file record, or a byte given twice with different values. `places`, when given,
// receives every data record's place in file order.
THexImage ReadHex(std::string_view text, THexRules rules = THexRules::Lenient,
                  std::vector<TRecordPlace>* places = nullptr);

// Writes the image as 16-byte data records that never cross a 16-byte boundary or a gap, each
// followed by `eol`, an extended linear address record whenever the upper 16 address bits
// change from zero, and the end-of-file record.
std::string WriteHex(const THexImage& image, std::string_view eol = "\r\n");

// File forms of the two; failures to open, read or write throw EHexFormat naming the file.
THexImage LoadHexFile(const std::string& path);
void SaveHexFile(const std::string& path, const THexImage& image);

}  // namespace Hex
