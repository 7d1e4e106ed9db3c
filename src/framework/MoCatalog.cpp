#include "framework/MoCatalog.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>

#include "framework/TextEncoding.h"

namespace {

constexpr std::uint32_t Magic = 0x950412de;
constexpr std::uint32_t SwappedMagic = 0xde120495;
// Revision 1 only adds texts that depend on the system after the ordinary tables, which
// stay readable; anything later is a format this reader does not know.
constexpr std::uint32_t LastKnownMajorRevision = 1;
constexpr std::size_t HeaderSize = 28;
constexpr std::uintmax_t LargestCatalog = 64u << 20;

// Reads the 32-bit words of the catalog in the byte order its magic number shows.
class TWordReader {
public:
  explicit TWordReader(std::string_view bytes) : FBytes(bytes) {
    if (bytes.size() < HeaderSize) throw EInvalidCatalog("catalog header is truncated");
    const std::uint32_t magic = Word(0);
    if (magic == SwappedMagic)
      FBigEndian = true;
    else if (magic != Magic)
      throw EInvalidCatalog("not a message catalog");
  }

  // The word at offset, which the caller has checked lies within the bytes.
  std::uint32_t Word(std::uint64_t offset) const {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const auto byte = static_cast<unsigned char>(FBytes[offset + static_cast<unsigned>(i)]);
      value = FBigEndian ? (value << 8) | byte : value | (std::uint32_t{byte} << (8 * i));
    }
    return value;
  }

  // The text that the table entry at offset describes: a length, then the text's offset.
  // The text must lie within the bytes and end in a NUL, as every catalog writer leaves it.
  std::string_view Text(std::uint64_t entry) const {
    const std::uint64_t length = Word(entry);
    const std::uint64_t at = Word(entry + 4);
    if (at + length >= FBytes.size() || FBytes[at + length] != '\0')
      throw EInvalidCatalog("catalog text lies outside the file");
    return FBytes.substr(at, length);
  }

  std::size_t Size() const { return FBytes.size(); }

private:
  std::string_view FBytes;
  bool FBigEndian = false;
};

// The character set named in the catalog's header entry ("...charset=UTF-8\n...").
std::string HeaderCharset(std::string_view header) {
  constexpr std::string_view key = "charset=";
  const std::size_t at = header.find(key);
  if (at == std::string_view::npos) return {};
  const std::size_t start = at + key.size();
  const std::size_t end = header.find_first_of(" \t\r\n;", start);
  return std::string(header.substr(start, end == std::string_view::npos ? end : end - start));
}

}  // namespace

TMoCatalog TMoCatalog::FromBytes(std::string_view bytes) {
  const TWordReader reader(bytes);
  if (reader.Word(4) >> 16 > LastKnownMajorRevision)
    throw EInvalidCatalog("unknown catalog revision");
  const std::uint64_t count = reader.Word(8);
  const std::uint64_t originals = reader.Word(12);
  const std::uint64_t translations = reader.Word(16);
  if (originals + count * 8 > bytes.size() || translations + count * 8 > bytes.size())
    throw EInvalidCatalog("catalog tables lie outside the file");

  // The header entry, the translation of the empty text, names the character set.
  std::optional<TTextEncoding> encoding = TTextEncoding::Utf8;
  TMoCatalog catalog;
  std::map<std::string, std::string_view, std::less<>> raw;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::string_view original = reader.Text(originals + i * 8);
    const std::string_view translation = reader.Text(translations + i * 8);
    if (original.empty()) {
      encoding = EncodingNamed(HeaderCharset(translation));
      continue;
    }
    // A context is joined to its text by EOT, a plural form follows its text after a NUL.
    if (original.find_first_of(std::string_view("\x04\0", 2)) != std::string_view::npos) continue;
    if (translation.empty() || translation.find('\0') != std::string_view::npos) continue;
    raw.emplace(original, translation);
  }
  if (!encoding) throw EInvalidCatalog("catalog character set is not supported");
  for (const auto& [original, translation] : raw)
    if (std::optional<std::string> text = ToUtf8(translation, *encoding))
      catalog.FEntries.emplace(original, std::move(*text));
  return catalog;
}

TMoCatalog TMoCatalog::LoadFromFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw EInvalidCatalog("cannot open catalog " + path);
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<std::uintmax_t>(size) > LargestCatalog)
    throw EInvalidCatalog("cannot read catalog " + path);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  file.seekg(0);
  if (!file.read(bytes.data(), size)) throw EInvalidCatalog("cannot read catalog " + path);
  return FromBytes(bytes);
}

const std::string* TMoCatalog::Find(std::string_view text) const {
  const auto found = FEntries.find(text);
  return found == FEntries.end() ? nullptr : &found->second;
}
