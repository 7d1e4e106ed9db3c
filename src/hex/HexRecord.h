#pragma once
#include <cstdint>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "framework/Exception.h"

namespace Hex {

// A HEX text that cannot be used; the message names the line (when known) and the fault.
class EHexFormat : public Exception {
public:
  using Exception::Exception;
  // Message "line N: detail".
  EHexFormat(std::size_t line, std::string detail)
      : Exception("line " + std::to_string(line) + ": " + detail), FLine(line),
        FDetail(std::move(detail)) {}

  std::size_t Line() const { return FLine; }  // 0 when the fault is not on one line
  const std::string& Detail() const { return FLine ? FDetail : Message(); }

private:
  std::size_t FLine = 0;
  std::string FDetail;
};

enum THexRecordType : std::uint8_t {
  rtData = 0x00,
  rtEndOfFile = 0x01,
  rtExtendedSegmentAddress = 0x02,
  rtStartSegmentAddress = 0x03,
  rtExtendedLinearAddress = 0x04,
  rtStartLinearAddress = 0x05,
};

struct THexRecord {
  std::uint8_t Type = rtData;
  std::uint16_t Address = 0;
  std::vector<std::uint8_t> Data;
};

// Characters a record of `dataLength` bytes takes: ':' LL AAAA TT data CC.
constexpr std::size_t RecordTextLength(std::size_t dataLength) { return 11 + 2 * dataLength; }

// Value of an upper-case or lower-case hex digit, or -1.
int HexDigitValue(char c);

// Parses one record (no line terminator). Throws EHexFormat describing the fault, without a
// line number: the caller knows where the text came from.
THexRecord ParseRecord(std::string_view text);

// What DOS-era tools leave after the end-of-file record: end-of-file marks (Ctrl-Z), blank
// lines and spaces. It is no part of the image.
inline constexpr std::string_view TrailerCharacters{" \t\r\n\x1A", 5};

// When the line (without its break) holds the end-of-file record, where the record ends:
// spaces and tabs may stand before it, and only TrailerCharacters after it. The image ends
// there; nothing after that point is sent to a programmer.
std::optional<std::size_t> EndOfImage(std::string_view line);

// Formats a record with upper-case digits and its checksum, without a line terminator.
std::string FormatRecord(std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
                         std::size_t length);
inline std::string FormatRecord(const THexRecord& record) {
  return FormatRecord(record.Type, record.Address, record.Data.data(), record.Data.size());
}

}  // namespace Hex
