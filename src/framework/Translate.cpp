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

// Walks format's placeholders: calls argument for each "%s" or "%d" and copies the rest,
// "%%" as "%". Returns the number of placeholders.
template <typename TArgument>
std::size_t Expand(std::string_view format, std::string* out, TArgument argument) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (format[i] == '%' && (next == 's' || next == 'd')) {
      if (out) *out += argument(count);
      ++count;
      ++i;
    } else if (format[i] == '%' && next == '%') {
      if (out) *out += '%';
      ++i;
    } else if (out) {
      *out += format[i];
    }
  }
  return count;
}

std::size_t PlaceholderCount(std::string_view format) {
  return Expand(format, nullptr, [](std::size_t) { return std::string_view(); });
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

std::string TranslateFormat(std::string_view format, std::initializer_list<std::string_view> args,
                            std::string_view domain) {
  std::string translated = Translate(format, domain);
  const std::string_view used = PlaceholderCount(translated) == PlaceholderCount(format)
                                    ? std::string_view(translated)
                                    : format;
  std::string result;
  Expand(used, &result, [&args](std::size_t index) {
    return index < args.size() ? args.begin()[index] : std::string_view();
  });
  return result;
}
