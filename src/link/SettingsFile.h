#pragma once
#include <string>

#include "framework/ProgramFolders.h"

// The settings file holds the last used port name; the window and the command-line front end
// share it. An installed program keeps it in the user's configuration folder. A copy run from
// its build folder or a folder of its own keeps it beside its executable, or in the user's
// configuration folder when it may not write there, so that it can still save its port and
// close.
inline constexpr const char* SettingsFileName = "Tolvane.ini";

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir);

// The user's folder for the program's settings (Os::UserConfigDir): on Linux
// $XDG_CONFIG_HOME/tolvane when that is an absolute path, else $HOME/.config/tolvane; on Windows
// %APPDATA%\Tolvane.
std::string UserConfigDir();

// The path for this run: SettingsFilePath(ExecutableDir(), UserConfigDir()).
std::string DefaultSettingsFilePath();

// The port name the settings file holds (its first line), or empty when there is none.
std::string ReadSavedPort(const std::string& settingsPath);
