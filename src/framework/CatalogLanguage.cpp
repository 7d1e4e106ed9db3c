#include "framework/CatalogLanguage.h"

#include <algorithm>

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
  std::string_view modifier;
  if (const std::size_t at = language.find('@'); at != std::string_view::npos)
    modifier = language.substr(at);
  const std::string_view base = language.substr(0, language.size() - modifier.size());
  const std::string_view territory = base.substr(0, base.find('.'));
  const std::string_view bare = territory.substr(0, territory.find('_'));

  const auto add = [&candidates](std::string candidate) {
    if (!candidate.empty() && candidate.front() != '@' &&
        std::find(candidates.begin(), candidates.end(), candidate) == candidates.end())
      candidates.push_back(std::move(candidate));
  };
  add(std::string(language));
  add(std::string(territory) + std::string(modifier));
  add(std::string(territory));
  add(std::string(bare) + std::string(modifier));
  add(std::string(bare));
  return candidates;
}
