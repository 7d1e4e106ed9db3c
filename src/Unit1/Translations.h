#pragma once
#include <string>

#include "framework/CatalogLanguage.h"

// Puts the framework's texts and the serial layer's messages into the user's language when
// catalogs for it lie in the catalog folder (CatalogDir: "locale" beside the executable, or
// under the install prefix). Runs once at start-up, before any window or port exists; without
// catalogs nothing changes.
void LoadTranslations(const std::string& executableDir, const TEnvironment& environment);
