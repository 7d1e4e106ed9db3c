#include "link/SettingsFile.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "framework/TextBox.h"

namespace fs = std::filesystem;

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir) {
  std::error_code error;
  // An installed program never writes beside itself, even for root, who may write in
  // /usr/bin; a copy of its own moves out only when its folder is not writable.
  const bool beside = !executableDir.empty() && InstalledDataDir(executableDir).empty() &&
                      fs::is_directory(executableDir, error) &&
                      ::access(executableDir.c_str(), W_OK) == 0;
  const fs::path dir = beside ? executableDir : userConfigDir;
  return (dir / SettingsFileName).string();
}

std::string UserConfigDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return (fs::path(config) / "tolvane").string();
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* account = ::getpwuid(::getuid());
    home = account && account->pw_dir ? account->pw_dir : "/";
  }
  return (fs::path(home) / ".config" / "tolvane").string();
}

std::string DefaultSettingsFilePath() { return SettingsFilePath(ExecutableDir(), UserConfigDir()); }

std::string ReadSavedPort(const std::string& settingsPath) {
  std::error_code error;
  if (!fs::is_regular_file(settingsPath, error)) return {};
  TTextBox box;
  box.LoadFromFile(settingsPath);
  return box.Line(0);
}
