#include "framework/ProgramFolders.h"

#include <filesystem>
#include <system_error>

#include "os/Folders.h"

namespace fs = std::filesystem;

// The data folder as seen from the program folder, from the install rules (GNUInstallDirs):
// "../share/tolvane" for the usual layout, whatever the prefix.
#ifndef TOLVANE_DATA_FROM_BIN
#define TOLVANE_DATA_FROM_BIN "../share/tolvane"
#endif

std::string ExecutableDir() {
  const std::string self = Os::ExecutablePath();
  return self.empty() ? self : fs::path(self).parent_path().string();
}

std::string InstalledDataDir(const std::string& executableDir) {
  if (executableDir.empty()) return {};
  std::error_code error;
  const fs::path data = (fs::path(executableDir) / TOLVANE_DATA_FROM_BIN).lexically_normal();
  return fs::is_directory(data, error) ? data.string() : std::string();
}

std::string CatalogDir(const std::string& executableDir) {
  const std::string data = InstalledDataDir(executableDir);
  return ((data.empty() ? fs::path(executableDir) : fs::path(data)) / "locale").string();
}
