#pragma once
#include <string>

// The settings file holds the last used port name. It lives beside the executable; an
// installed program whose folder the user cannot write keeps it in the user's configuration
// folder instead, so that it can still save its port and close.
inline constexpr const char* SettingsFileName = "Tolvane.ini";

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir);

// The path for this run: the executable's folder, else $XDG_CONFIG_HOME/tolvane (or the
// platform's per-user configuration folder).
std::string DefaultSettingsFilePath();
