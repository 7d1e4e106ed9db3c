#include "link/SettingsFile.h"

#include <filesystem>
#include <system_error>

#include "framework/TextBox.h"
#include "os/Folders.h"

namespace fs = std::filesystem;

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir) {
  std::error_code error;
  // An installed program never writes beside itself, even for root, who may write in
  // /usr/bin; a copy of its own moves out only when its folder is not writable.
  const bool beside = !executableDir.empty() && InstalledDataDir(executableDir).empty() &&
                      fs::is_directory(executableDir, error) &&
                      Os::MayWriteIn(executableDir);
  const fs::path dir = beside ? executableDir : userConfigDir;
  return (dir / SettingsFileName).string();
}

std::string UserConfigDir() { return Os::UserConfigDir(); }

std::string DefaultSettingsFilePath() { return SettingsFilePath(ExecutableDir(), UserConfigDir()); }

std::string ReadSavedPort(const std::string& settingsPath) {
  std::error_code error;
  if (!fs::is_regular_file(settingsPath, error)) return {};
  TTextBox box;
  box.LoadFromFile(settingsPath);
  return box.Line(0);
}
