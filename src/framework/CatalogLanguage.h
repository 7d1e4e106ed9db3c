#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Reads one environment variable; null when it is not set.
using TEnvironment = std::function<const char*(const char* name)>;

// The language of the catalogs to load: LANG, else the user's locale (LC_ALL before
// LC_MESSAGES). Empty when none is set, for the untranslated "C" and "POSIX" locales, and
// for a value that could lead out of the catalog folder.
std::string CatalogLanguage(const TEnvironment& environment);

// The folder names to try for a language, most specific first, in the order gettext uses:
// "de_DE.UTF-8" gives "de_DE.UTF-8", "de_DE.utf8", "de_DE", "de.UTF-8", "de.utf8", "de".
std::vector<std::string> LanguageCandidates(std::string_view language);
