#include "framework/Translate.h"

#include <algorithm>
#include <mutex>

namespace {

struct TTranslationState {
  std::mutex Lock;
  Translation::TCatalog Catalog;
  std::vector<std::string> Domains;
};

// Made on first use, so that units filling their tables at start-up can use it.
TTranslationState& State() {
  static TTranslationState state;
  return state;
}

}  // namespace

namespace Translation {

void InstallCatalog(TCatalog catalog) {
  std::lock_guard lock(State().Lock);
  State().Catalog = std::move(catalog);
}

void RegisterDomain(std::string_view domain) {
  std::lock_guard lock(State().Lock);
  auto& domains = State().Domains;
  if (std::find(domains.begin(), domains.end(), domain) == domains.end())
    domains.emplace_back(domain);
}

std::vector<std::string> RegisteredDomains() {
  std::lock_guard lock(State().Lock);
  return State().Domains;
}

}  // namespace Translation

std::string Translate(std::string_view text, std::string_view domain) {
  Translation::TCatalog catalog;
  {
    std::lock_guard lock(State().Lock);
    catalog = State().Catalog;
  }
  return catalog ? catalog(domain, text) : std::string(text);
}
