#include "framework/TextEncoding.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <utility>

namespace {

std::string Folded(std::string_view name) {
  std::string folded;
  for (char c : name)
    if (c != '-' && c != '_')
      folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return folded;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    std::uint32_t code = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0x80) {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if (!IsContinuation(byte)) return false;
      code = (code << 6) | (byte & 0x3F);
    }
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
      return false;
    i += length;
  }
  return true;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Windows-1252 at 0x80-0x9F; 0 marks the five bytes it leaves undefined.
constexpr std::array<std::uint16_t, 32> Windows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The eight places where ISO-8859-15 differs from ISO-8859-1.
constexpr std::array<std::pair<unsigned char, std::uint16_t>, 8> Latin9Changes = {{
    {0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
    {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}}};

std::optional<std::uint32_t> CodePoint(unsigned char byte, TTextEncoding encoding) {
  if (encoding == TTextEncoding::Windows1252 && byte >= 0x80 && byte <= 0x9F) {
    const std::uint16_t code = Windows1252High[byte - 0x80];
    if (code == 0) return std::nullopt;
    return code;
  }
  if (encoding == TTextEncoding::Latin9)
    for (const auto& [from, to] : Latin9Changes)
      if (byte == from) return to;
  return byte;
}

}  // namespace

std::optional<TTextEncoding> EncodingNamed(std::string_view name) {
  const std::string folded = Folded(name);
  if (folded.empty() || folded == "UTF8" || folded == "ASCII" || folded == "USASCII" ||
      folded == "ANSIX3.41968" || folded == "CHARSET")
    return TTextEncoding::Utf8;
  if (folded == "ISO88591" || folded == "LATIN1") return TTextEncoding::Latin1;
  if (folded == "ISO885915" || folded == "LATIN9") return TTextEncoding::Latin9;
  if (folded == "CP1252" || folded == "WINDOWS1252") return TTextEncoding::Windows1252;
  return std::nullopt;
}

std::optional<std::string> ToUtf8(std::string_view text, TTextEncoding encoding) {
  if (encoding == TTextEncoding::Utf8) {
    if (!IsUtf8(text)) return std::nullopt;
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const std::optional<std::uint32_t> code = CodePoint(static_cast<unsigned char>(c), encoding);
    if (!code) return std::nullopt;
    AppendUtf8(out, *code);
  }
  return out;
}
