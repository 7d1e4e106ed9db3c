#include "hex/HexImage.h"

#include <cstdio>
#include <vector>

#include "framework/TextBox.h"

namespace Hex {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string HexText(std::uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(value));
  return buf;
}

}  // namespace

THexImage ReadHex(std::string_view text, THexRules rules, std::vector<TRecordPlace>* places) {
  const bool strict = rules == THexRules::Programmer;
  THexImage image;
  std::uint32_t base = 0;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(pos, end - pos);
    const std::string_view line = Trim(raw);
    ++lineNo;
    // The image is sent line by line as the window's text box holds it, which keeps only
    // this much of a line: a longer one would not be sent whole.
    if (strict && raw.size() > TTextBox::MaxLineLength)
      throw EHexFormat(lineNo, "the line has " + std::to_string(raw.size()) +
                                   " characters; the programmer's image takes at most " +
                                   std::to_string(TTextBox::MaxLineLength));
    if (EndOfImage(line)) {
      // Nothing after it is sent. The programmer's rules allow there only what DOS-era tools
      // append: end-of-file marks, blank lines and spaces.
      if (strict) {
        const std::size_t junk = text.find_first_not_of(TrailerCharacters, end);
        if (junk != std::string_view::npos) {
          std::size_t at = lineNo;
          for (std::size_t i = end; i < junk; ++i)
            if (text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n')) ++at;
          throw EHexFormat(at, "text after the end-of-file record");
        }
      }
      return image;
    }
    pos = end;
    if (pos < text.size() && text[pos] == '\r') {
      ++pos;
      if (strict && (pos == text.size() || text[pos] != '\n'))
        throw EHexFormat(lineNo, "the line ends in a lone CR; the programmer takes CR LF or LF");
    }
    if (pos < text.size() && text[pos] == '\n') ++pos;
    if (line.empty()) continue;

    THexRecord record;
    try {
      record = ParseRecord(line);
    } catch (const EHexFormat& e) {
      throw EHexFormat(lineNo, e.Message());
    }
    switch (record.Type) {
      case rtData: {
        const std::uint64_t first = std::uint64_t(base) + record.Address;
        if (first + record.Data.size() > 0x100000000ull)
          throw EHexFormat(lineNo, "data runs past the 4 GB address space");
        for (std::size_t i = 0; i < record.Data.size(); ++i) {
          const auto address = static_cast<std::uint32_t>(first + i);
          auto [it, inserted] = image.emplace(address, record.Data[i]);
          if (!inserted && it->second != record.Data[i])
            // The programmer's images are PIC16 words: named by word address, as elsewhere.
            throw EHexFormat(lineNo, strict ? "0x" + HexText(address / 2, 4) + " given twice with different values"
                                            : "address 0x" + HexText(address, 1) +
                                                  " given twice with different values");
        }
        if (places && !record.Data.empty())
          places->push_back({lineNo, static_cast<std::uint32_t>(first), record.Data.size()});
        break;
      }
      case rtExtendedSegmentAddress:
      case rtExtendedLinearAddress: {
        const std::uint32_t upper = std::uint32_t(record.Data[0] << 8 | record.Data[1]);
        if (strict && upper != 0)
          throw EHexFormat(lineNo, "extended address 0x" + HexText(upper, 1) +
                                       "; the programmer takes only 0 (PIC16 memory lies below 64K)");
        base = record.Type == rtExtendedSegmentAddress ? upper << 4 : upper << 16;
        break;
      }
      default:  // start addresses mean nothing to a PIC
        if (strict)
          throw EHexFormat(lineNo, "record type 0" + std::to_string(record.Type) +
                                       " (start address); the programmer takes 00, 01, 02 and 04");
        break;
    }
  }
  constexpr const char* missing = "the text ends without an end-of-file record";
  if (lineNo == 0) throw EHexFormat(missing);
  throw EHexFormat(lineNo, missing);
}

std::string WriteHex(const THexImage& image, std::string_view eol) {
  std::string out;
  std::uint32_t upper = 0;
  std::vector<std::uint8_t> data;
  data.reserve(16);
  auto it = image.begin();
  while (it != image.end()) {
    const std::uint32_t start = it->first;
    if (start >> 16 != upper) {
      upper = start >> 16;
      const std::uint8_t ext[2] = {std::uint8_t(upper >> 8), std::uint8_t(upper)};
      out += FormatRecord(rtExtendedLinearAddress, 0, ext, 2);
      out += eol;
    }
    data.clear();
    std::uint32_t next = start;
    do {
      data.push_back(it->second);
      ++it;
      ++next;
    } while (it != image.end() && it->first == next && next % 16 != 0);
    out += FormatRecord(rtData, static_cast<std::uint16_t>(start), data.data(), data.size());
    out += eol;
  }
  out += FormatRecord(rtEndOfFile, 0, nullptr, 0);
  out += eol;
  return out;
}

}  // namespace Hex
