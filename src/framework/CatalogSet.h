#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Looks for each domain's catalog "<localeDir>/<language>/LC_MESSAGES/<domain>.mo", trying
// the language's candidates from the most specific, and installs the sound ones found as
// the translation of the framework's texts. A catalog that is missing, damaged or truncated
// is passed over as if it were not there. With none found the installed translation is
// left as it was. Returns the domains for which a catalog was installed.
std::vector<std::string> InstallCatalogs(const std::filesystem::path& localeDir,
                                         std::string_view language,
                                         const std::vector<std::string>& domains);
