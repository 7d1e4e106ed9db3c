#include "serial/SerialNumber.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "framework/Convert.h"
#include "hex/HexRecord.h"
#include "image/ChipLayout.h"
#include "image/ImageCheck.h"

namespace Serial {

using Image::Hex4;

namespace {

constexpr unsigned MaxWidth = 256;  // an SQTP number's limit as well
constexpr unsigned IdDigits = Image::IdWords;
constexpr std::uint8_t Retlw = 0x34;  // high byte of RETLW k
constexpr const char* FormatNames[] = {"bin", "le", "dec", "hex", "bcd"};
constexpr char HexDigits[] = "0123456789ABCDEF";

// Digit values, most significant first, and their base; each digit is one location, but bcd
// packs two into a byte.
unsigned BaseOf(const TSerialLayout& layout) {
  if (layout.Memory == smId) return layout.Format == sfDec || layout.Format == sfBcd ? 10 : 16;
  switch (layout.Format) {
    case sfBin:
    case sfLe: return 256;
    case sfDec:
    case sfBcd: return 10;
    case sfHex: return 16;
  }
  return 256;
}

unsigned DigitCount(const TSerialLayout& layout) {
  if (layout.Memory == smId) return IdDigits;
  return layout.Format == sfBcd ? 2 * layout.Width : layout.Width;
}

std::string Units(const TSerialLayout& layout) {
  if (layout.Memory == smId) return "four ID digits";
  const std::string count = std::to_string(layout.Width);
  switch (layout.Format) {
    case sfDec: return count + " decimal characters";
    case sfHex: return count + " hexadecimal characters";
    case sfBcd: return count + " BCD bytes";
    default: return count + " bytes";
  }
}

std::uint32_t FirstWord(const TSerialLayout& layout) {
  switch (layout.Memory) {
    case smEeprom: return Image::EepromWordAddress + layout.Address;
    case smProgram: return layout.Address;
    case smId: break;
  }
  return Image::IdWordAddress;
}

int CharDigit(std::uint8_t c, unsigned base) {
  const int value = Hex::HexDigitValue(static_cast<char>(c));
  return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

// The values' digits, most significant first; nothing when one is not a digit of the base.
std::optional<std::vector<unsigned>> DigitsOf(const std::vector<std::uint8_t>& values, const TSerialLayout& layout) {
  std::vector<unsigned> digits;
  const unsigned base = BaseOf(layout);
  for (std::uint8_t v : values) {
    if (layout.Memory == smId || layout.Format == sfBin || layout.Format == sfLe) {
      if (v >= base) return std::nullopt;
      digits.push_back(v);
    } else if (layout.Format == sfBcd) {
      if ((v >> 4) > 9 || (v & 15) > 9) return std::nullopt;
      digits.push_back(v >> 4);
      digits.push_back(v & 15);
    } else {
      const int d = CharDigit(v, base);
      if (d < 0) return std::nullopt;
      digits.push_back(static_cast<unsigned>(d));
    }
  }
  if (layout.Memory != smId && layout.Format == sfLe) std::reverse(digits.begin(), digits.end());
  return digits;
}

}  // namespace

std::uint64_t ParseNumber(std::string_view text, std::string_view what) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string_view digits = hex ? text.substr(2) : text;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    throw ESerial(std::string(what) + ": not a number: \"" + std::string(text) + "\" (decimal or 0x-hexadecimal)");
  return value;
}

TSerialLayout MakeLayout(std::string_view at, std::string_view format, unsigned width) {
  TSerialLayout layout;
  const std::size_t colon = at.find(':');
  const std::string_view memory = at.substr(0, colon);
  if (SameTextAscii(memory, "id") && colon == std::string_view::npos) {
    layout.Memory = smId;
  } else if (colon != std::string_view::npos && (SameTextAscii(memory, "eeprom") || SameTextAscii(memory, "program"))) {
    layout.Memory = SameTextAscii(memory, "eeprom") ? smEeprom : smProgram;
    const std::uint64_t address = ParseNumber(at.substr(colon + 1), at);
    if (address > 0xFFFF) throw ESerial(std::string(at) + ": no PIC16 memory goes that far");
    layout.Address = static_cast<std::uint32_t>(address);
  } else {
    throw ESerial(std::string(at) + ": not a place for a number; eeprom:ADDR, program:ADDR or id");
  }
  const auto name = std::find_if(std::begin(FormatNames), std::end(FormatNames),
                                 [&](const char* n) { return SameTextAscii(n, format); });
  if (name == std::end(FormatNames))
    throw ESerial(std::string(format) + ": not a number format; bin, le, dec, hex or bcd");
  layout.Format = static_cast<TSerialFormat>(name - std::begin(FormatNames));
  if (width > MaxWidth) throw ESerial("a number takes at most " + std::to_string(MaxWidth) + " locations");
  if (layout.Memory == smId) {
    if (layout.Format == sfLe) throw ESerial("id: the ID words hold their digits most significant first; le does not go there");
    if (width != 0 && width != IdDigits) throw ESerial("id: the ID words hold four digits, not " + std::to_string(width));
  }
  layout.Width = width ? width : IdDigits;
  return layout;
}

std::string Describe(const TSerialLayout& layout) {
  const std::string at = layout.Memory == smId ? "id" : (layout.Memory == smEeprom ? "eeprom:" : "program:") + Hex4(layout.Address);
  return at + ", " + FormatNames[layout.Format] + ", " + Units(layout);
}

std::vector<std::uint8_t> Encode(std::uint64_t number, const TSerialLayout& layout) {
  const unsigned base = BaseOf(layout), count = DigitCount(layout);
  std::vector<unsigned> digits(count, 0);
  std::uint64_t rest = number;
  for (unsigned i = count; i-- > 0 && rest;) {
    digits[i] = static_cast<unsigned>(rest % base);
    rest /= base;
  }
  if (rest) throw ESerial("the number " + std::to_string(number) + " does not fit " + Units(layout));
  std::vector<std::uint8_t> values;
  if (layout.Memory != smId && layout.Format == sfBcd) {
    for (unsigned i = 0; i < count; i += 2) values.push_back(static_cast<std::uint8_t>(digits[i] << 4 | digits[i + 1]));
  } else if (layout.Memory != smId && (layout.Format == sfDec || layout.Format == sfHex)) {
    for (unsigned d : digits) values.push_back(static_cast<std::uint8_t>(HexDigits[d]));
  } else {
    for (unsigned d : digits) values.push_back(static_cast<std::uint8_t>(d));
    if (layout.Memory != smId && layout.Format == sfLe) std::reverse(values.begin(), values.end());
  }
  return values;
}

std::optional<std::uint64_t> Decode(const std::vector<std::uint8_t>& values, const TSerialLayout& layout) {
  const std::optional<std::vector<unsigned>> digits = DigitsOf(values, layout);
  if (!digits) return std::nullopt;
  const unsigned base = BaseOf(layout);
  std::uint64_t number = 0;
  for (unsigned d : *digits) {
    if (number > (UINT64_MAX - d) / base) return std::nullopt;
    number = number * base + d;
  }
  return number;
}

Hex::THexImage Place(const std::vector<std::uint8_t>& values, const TSerialLayout& layout) {
  // An EEPROM byte's word has a high byte of 0; a program word is RETLW k.
  const std::uint8_t high = layout.Memory == smProgram ? Retlw : 0;
  Hex::THexImage bytes;
  for (std::uint32_t i = 0; i < values.size(); ++i) {
    const std::uint32_t word = FirstWord(layout) + i;
    bytes[word * 2] = values[i];
    bytes[word * 2 + 1] = high;
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> Extract(const Hex::THexImage& image, const TSerialLayout& layout) {
  const std::uint32_t first = FirstWord(layout);
  const unsigned count = layout.Memory == smId ? IdDigits : layout.Width;
  std::vector<std::uint8_t> values;
  for (std::uint32_t w = first; w < first + count; ++w) {
    const auto low = image.find(w * 2), high = image.find(w * 2 + 1);
    if (low == image.end()) return std::nullopt;
    if (layout.Memory == smEeprom) {
      values.push_back(low->second);
      continue;
    }
    if (high == image.end()) return std::nullopt;
    const unsigned word = (low->second | high->second << 8) & Image::WordMask;
    if (layout.Memory == smProgram ? word >> 8 != Retlw : word > 0x000F) return std::nullopt;
    values.push_back(static_cast<std::uint8_t>(word & 0xFF));
  }
  return values;
}

}  // namespace Serial
