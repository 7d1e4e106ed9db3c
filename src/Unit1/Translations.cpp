#include "Unit1/Translations.h"

#include <algorithm>
#include <vector>

#include "CPort/EComPort.h"
#include "framework/CatalogSet.h"
#include "framework/ProgramFolders.h"
#include "framework/Translate.h"

void LoadTranslations(const std::string& executableDir, const TEnvironment& environment) {
  // The framework's own domain, and those the units registered while they were set up.
  std::vector<std::string> domains = {"default"};
  for (std::string& domain : Translation::RegisteredDomains())
    if (std::find(domains.begin(), domains.end(), domain) == domains.end())
      domains.push_back(std::move(domain));
  const std::vector<std::string> installed = InstallCatalogs(
      CatalogDir(executableDir), CatalogLanguage(environment), domains);
  // The serial layer filled its table before the catalogs were there.
  if (!installed.empty()) LoadPortErrorMessages();
}
