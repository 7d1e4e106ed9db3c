#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Exception.h"
#include "hex/HexImage.h"

namespace Serial {

// A serial-number layout, number or list that cannot be used; the message says why.
class ESerial : public Exception {
public:
  using Exception::Exception;
};

// How a number is written: bin big-endian and le little-endian binary, dec and hex ASCII
// digits (upper-case), bcd packed decimal, two digits a byte, most significant first.
enum TSerialFormat { sfBin, sfLe, sfDec, sfHex, sfBcd };

// Where it goes: data EEPROM bytes; program words, each byte as a RETLW (0x34kk) for a table
// the firmware calls; or the four ID words, one digit each, most significant first.
enum TSerialMemory { smEeprom, smProgram, smId };

struct TSerialLayout {
  TSerialMemory Memory = smEeprom;
  std::uint32_t Address = 0;  // EEPROM byte or program word address; 0 for the ID words
  TSerialFormat Format = sfBin;
  // Locations the number takes: bytes (bin, le, bcd) or characters (dec, hex), one each; the
  // ID words always take four digits, hexadecimal for bin and hex, decimal for dec and bcd.
  unsigned Width = 4;
};

// The layout of "eeprom:ADDR", "program:ADDR" (decimal or 0x-hexadecimal) or "id", a format
// name and a width (0: the default, 4). Throws ESerial for text it cannot take, and for a
// layout that holds no number: le in the ID words (their digits go most significant first),
// a width other than 4 there, a width above 256.
TSerialLayout MakeLayout(std::string_view at, std::string_view format, unsigned width = 0);

// "eeprom:0x0010, dec, 4 characters".
std::string Describe(const TSerialLayout& layout);

// A number in decimal or 0x-hexadecimal; throws ESerial naming `what` otherwise.
std::uint64_t ParseNumber(std::string_view text, std::string_view what);

// The values a number takes, one per location: bytes, or the ID words' digits. Throws
// ESerial when it does not fit the width.
std::vector<std::uint8_t> Encode(std::uint64_t number, const TSerialLayout& layout);
// The number the values give, or nothing when they are not one in this format.
std::optional<std::uint64_t> Decode(const std::vector<std::uint8_t>& values, const TSerialLayout& layout);

// The image bytes the values take: an EEPROM byte with its 00 pad byte, a program word
// 0x34kk, an ID word 0x000d.
Hex::THexImage Place(const std::vector<std::uint8_t>& values, const TSerialLayout& layout);
// The values an image holds where the layout puts them; nothing when a location is missing or
// holds no value of that form (a program word that is no RETLW, an ID word above 0x000F).
std::optional<std::vector<std::uint8_t>> Extract(const Hex::THexImage& image, const TSerialLayout& layout);

}  // namespace Serial
