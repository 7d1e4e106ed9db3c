#pragma once
#include <map>
#include <string>
#include <string_view>

#include "framework/Exception.h"

// Raised for bytes that are not a whole, sound message catalog.
class EInvalidCatalog : public Exception {
public:
  using Exception::Exception;
};

// One message catalog in the GNU .mo format: original texts and their translations, the
// translations held as UTF-8. Texts with a context or with plural forms are left out; the
// program asks for neither.
class TMoCatalog {
public:
  TMoCatalog() = default;

  // Reads a catalog in either byte order. Raises EInvalidCatalog when a table or text lies
  // outside the bytes, the revision is unknown, or the texts' character set cannot be read.
  static TMoCatalog FromBytes(std::string_view bytes);
  // As FromBytes; a file that cannot be read, or is far larger than any catalog, is invalid too.
  static TMoCatalog LoadFromFile(const std::string& path);

  // The translation of text, or null when the catalog has none.
  const std::string* Find(std::string_view text) const;
  std::size_t Count() const { return FEntries.size(); }

private:
  std::map<std::string, std::string, std::less<>> FEntries;
};
