#pragma once
// Writes small message catalogs in the GNU .mo layout for the tests.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace test {

using TMoEntries = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* Utf8Header =
    "Project-Id-Version: tolvane\nContent-Type: text/plain; charset=UTF-8\n";

// The catalog's bytes: header, table of originals, table of translations, then the texts,
// each followed by a NUL. No hash table.
inline std::string MoBytes(const TMoEntries& entries, bool bigEndian = false) {
  std::string bytes;
  const auto word = [&bytes, bigEndian](std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
      const int shift = bigEndian ? 24 - 8 * i : 8 * i;
      bytes += static_cast<char>((value >> shift) & 0xFF);
    }
  };
  const auto count = static_cast<std::uint32_t>(entries.size());
  const std::uint32_t originals = 28;
  const std::uint32_t translations = originals + 8 * count;
  std::uint32_t text = translations + 8 * count;
  word(0x950412de);
  word(0);
  word(count);
  word(originals);
  word(translations);
  word(0);
  word(text);
  std::string texts;
  for (int side = 0; side < 2; ++side)
    for (const auto& entry : entries) {
      const std::string& s = side == 0 ? entry.first : entry.second;
      word(static_cast<std::uint32_t>(s.size()));
      word(text + static_cast<std::uint32_t>(texts.size()));
      texts += s;
      texts += '\0';
    }
  return bytes + texts;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// "<localeDir>/<language>/LC_MESSAGES/<domain>.mo"
inline std::filesystem::path CatalogPath(const std::filesystem::path& localeDir,
                                         const std::string& language, const std::string& domain) {
  return localeDir / language / "LC_MESSAGES" / (domain + ".mo");
}

}  // namespace test
