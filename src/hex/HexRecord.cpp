#include "hex/HexRecord.h"

namespace Hex {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

namespace {

// Shows a character of a faulty record readably, whatever byte it is.
std::string Describe(char c) {
  auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
  static const char digits[] = "0123456789ABCDEF";
  return std::string("byte 0x") + digits[u >> 4] + digits[u & 15];
}

std::uint8_t ByteAt(std::string_view text, std::size_t pos) {
  int hi = HexDigitValue(text[pos]);
  int lo = HexDigitValue(text[pos + 1]);
  if (hi < 0 || lo < 0) {
    std::size_t bad = hi < 0 ? pos : pos + 1;
    throw EHexFormat("invalid character " + Describe(text[bad]) + " at column " +
                     std::to_string(bad + 1));
  }
  return static_cast<std::uint8_t>(hi << 4 | lo);
}

}  // namespace

THexRecord ParseRecord(std::string_view text) {
  if (text.empty() || text[0] != ':') throw EHexFormat("record does not start with ':'");
  if (text.size() < RecordTextLength(0))
    throw EHexFormat("record too short (" + std::to_string(text.size()) + " characters)");

  const std::size_t length = ByteAt(text, 1);
  if (text.size() != RecordTextLength(length))
    throw EHexFormat("record has " + std::to_string(text.size()) + " characters, its length field " +
                     std::to_string(length) + " asks for " +
                     std::to_string(RecordTextLength(length)));

  THexRecord record;
  std::uint8_t sum = static_cast<std::uint8_t>(length);
  const std::uint8_t addrHi = ByteAt(text, 3), addrLo = ByteAt(text, 5);
  record.Address = static_cast<std::uint16_t>(addrHi << 8 | addrLo);
  record.Type = ByteAt(text, 7);
  sum += addrHi + addrLo + record.Type;
  record.Data.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    record.Data.push_back(ByteAt(text, 9 + 2 * i));
    sum += record.Data.back();
  }
  const std::uint8_t checksum = ByteAt(text, 9 + 2 * length);
  const std::uint8_t expected = static_cast<std::uint8_t>(-sum);
  if (checksum != expected) {
    static const char digits[] = "0123456789ABCDEF";
    throw EHexFormat(std::string("checksum ") + digits[expected >> 4] + digits[expected & 15] +
                     ", the record says " + digits[checksum >> 4] + digits[checksum & 15]);
  }

  switch (record.Type) {
    case rtData:
      break;
    case rtEndOfFile:
      if (length != 0) throw EHexFormat("end-of-file record carries data");
      break;
    case rtExtendedSegmentAddress:
    case rtExtendedLinearAddress:
      if (length != 2) throw EHexFormat("extended address record must carry 2 bytes");
      break;
    case rtStartSegmentAddress:
    case rtStartLinearAddress:
      if (length != 4) throw EHexFormat("start address record must carry 4 bytes");
      break;
    default:
      throw EHexFormat("unknown record type " + std::to_string(record.Type));
  }
  return record;
}

std::optional<std::size_t> EndOfImage(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  constexpr std::size_t length = RecordTextLength(0);
  if (start == std::string_view::npos || line[start] != ':' || line.size() - start < length)
    return std::nullopt;
  const std::size_t end = start + length;
  if (line.find_first_not_of(TrailerCharacters, end) != std::string_view::npos) return std::nullopt;
  try {
    if (ParseRecord(line.substr(start, length)).Type != rtEndOfFile) return std::nullopt;
  } catch (const EHexFormat&) {
    return std::nullopt;
  }
  return end;
}

std::string FormatRecord(std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
                         std::size_t length) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(RecordTextLength(length));
  std::uint8_t sum = 0;
  auto put = [&](std::uint8_t b) {
    out += digits[b >> 4];
    out += digits[b & 15];
    sum += b;
  };
  out += ':';
  put(static_cast<std::uint8_t>(length));
  put(static_cast<std::uint8_t>(address >> 8));
  put(static_cast<std::uint8_t>(address));
  put(type);
  for (std::size_t i = 0; i < length; ++i) put(data[i]);
  put(static_cast<std::uint8_t>(-sum));
  return out;
}

}  // namespace Hex
