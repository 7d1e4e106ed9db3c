#include "framework/CatalogLanguage.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Variable(const TEnvironment& environment, const char* name) {
  const char* value = environment(name);
  return value ? std::string(value) : std::string();
}

// The language becomes a folder name: it must stay one.
bool IsSafeFolderName(std::string_view name) {
  return name != "." && name != ".." && name.find_first_of(std::string_view("/\\\0", 3)) ==
                                            std::string_view::npos;
}

// ".UTF-8" gives ".utf8", ".8859-1" gives ".iso88591": letters and digits only, in lower case.
std::string NormalisedCodeset(std::string_view codeset) {
  std::string normalised;
  bool digitsOnly = true;
  for (char c : codeset) {
    const auto byte = static_cast<unsigned char>(c);
    if (!std::isalnum(byte)) continue;
    digitsOnly &= std::isdigit(byte) != 0;
    normalised += static_cast<char>(std::tolower(byte));
  }
  if (normalised.empty()) return {};
  return (digitsOnly ? ".iso" : ".") + normalised;
}

}  // namespace

std::string CatalogLanguage(const TEnvironment& environment) {
  std::string language = Variable(environment, "LANG");
  for (const char* name : {"LC_ALL", "LC_MESSAGES"})
    if (language.empty()) language = Variable(environment, name);
  if (language == "C" || language == "POSIX" || language.rfind("C.", 0) == 0 ||
      !IsSafeFolderName(language))
    return {};
  return language;
}

std::vector<std::string> LanguageCandidates(std::string_view language) {
  std::vector<std::string> candidates;
  if (language.empty()) return candidates;
  // language[_territory][.codeset][@modifier]
  std::string_view rest = language, modifier, codeset, territory;
  if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
    modifier = rest.substr(at);
    rest = rest.substr(0, at);
  }
  if (const std::size_t at = rest.find('.'); at != std::string_view::npos) {
    codeset = rest.substr(at);
    rest = rest.substr(0, at);
  }
  if (const std::size_t at = rest.find('_'); at != std::string_view::npos) {
    territory = rest.substr(at);
    rest = rest.substr(0, at);
  }
  if (rest.empty()) return candidates;
  const std::string normalised = NormalisedCodeset(codeset);

  // Every combination of the parts, the modifier weighing most, then the territory, then
  // the codeset as written before its normalised form.
  for (int mask = 15; mask >= 0; --mask) {
    const bool withCodeset = mask & 2, withNormalised = mask & 1;
    if (withCodeset && withNormalised) continue;
    std::string candidate(rest);
    if (mask & 4) candidate += territory;
    if (withCodeset) candidate += codeset;
    if (withNormalised) candidate += normalised;
    if (mask & 8) candidate += modifier;
    if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end())
      candidates.push_back(std::move(candidate));
  }
  return candidates;
}
