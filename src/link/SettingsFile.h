#pragma once
#include <string>

// The settings file holds the last used port name. It lives beside the executable; an
// installed program whose folder the user cannot write keeps it in the user's configuration
// folder instead, so that it can still save its port and close. The window and the
// command-line front end share it.
inline constexpr const char* SettingsFileName = "Tolvane.ini";

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir);

// The folder of the running program's executable; empty when it cannot be told.
std::string ExecutableDir();

// $XDG_CONFIG_HOME/tolvane when that is an absolute path, else $HOME/.config/tolvane.
std::string UserConfigDir();

// The path for this run: SettingsFilePath(ExecutableDir(), UserConfigDir()).
std::string DefaultSettingsFilePath();

// The port name the settings file holds (its first line), or empty when there is none.
std::string ReadSavedPort(const std::string& settingsPath);
