#include "framework/CatalogSet.h"

#include <map>
#include <memory>
#include <optional>
#include <system_error>

#include "framework/CatalogLanguage.h"
#include "framework/MoCatalog.h"
#include "framework/Translate.h"

namespace {

using TCatalogs = std::map<std::string, TMoCatalog, std::less<>>;

std::optional<TMoCatalog> FirstSoundCatalog(const std::filesystem::path& localeDir,
                                            const std::vector<std::string>& languages,
                                            const std::string& domain) {
  for (const std::string& language : languages) {
    const std::filesystem::path path = localeDir / language / "LC_MESSAGES" / (domain + ".mo");
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) continue;
    try {
      return TMoCatalog::LoadFromFile(path.string());
    } catch (const EInvalidCatalog&) {
      // A damaged catalog must not keep the program from starting: the next one may do.
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> InstallCatalogs(const std::filesystem::path& localeDir,
                                         std::string_view language,
                                         const std::vector<std::string>& domains) {
  const std::vector<std::string> languages = LanguageCandidates(language);
  auto catalogs = std::make_shared<TCatalogs>();
  std::vector<std::string> installed;
  for (const std::string& domain : domains) {
    if (std::optional<TMoCatalog> catalog = FirstSoundCatalog(localeDir, languages, domain)) {
      catalogs->insert_or_assign(domain, std::move(*catalog));
      installed.push_back(domain);
    }
  }
  if (installed.empty()) return installed;
  Translation::InstallCatalog([catalogs = std::shared_ptr<const TCatalogs>(std::move(catalogs))](
                                  std::string_view domain, std::string_view text) {
    if (const auto found = catalogs->find(domain); found != catalogs->end())
      if (const std::string* translation = found->second.Find(text)) return *translation;
    return std::string(text);
  });
  return installed;
}
