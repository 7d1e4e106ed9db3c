#include "os/Folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace Os {

std::string ExecutablePath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
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

bool MayWriteIn(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

}  // namespace Os
