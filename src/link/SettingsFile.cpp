#include "link/SettingsFile.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "framework/TextBox.h"

namespace fs = std::filesystem;

std::string SettingsFilePath(const std::string& executableDir, const std::string& userConfigDir) {
  std::error_code error;
  const bool writable = !executableDir.empty() && fs::is_directory(executableDir, error) &&
                        ::access(executableDir.c_str(), W_OK) == 0;
  const fs::path dir = writable ? executableDir : userConfigDir;
  return (dir / SettingsFileName).string();
}

std::string ExecutableDir() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

std::string UserConfigDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return (fs::path(config) / "tolvane").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home && *home ? home : "/") / ".config" / "tolvane").string();
}

std::string DefaultSettingsFilePath() { return SettingsFilePath(ExecutableDir(), UserConfigDir()); }

std::string ReadSavedPort(const std::string& settingsPath) {
  std::error_code error;
  if (!fs::is_regular_file(settingsPath, error)) return {};
  TTextBox box;
  box.LoadFromFile(settingsPath);
  return box.Line(0);
}
