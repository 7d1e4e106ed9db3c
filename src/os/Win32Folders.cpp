#include "os/Folders.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace Os {

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: a long path
  }
}

std::string UserConfigDir() {
  char folder[MAX_PATH];
  if (::SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    return {};
  return std::string(folder) + "\\Tolvane";
}

// Access rights on Windows are lists the process would have to evaluate against its token;
// creating a file tells for certain. The file goes when its handle does.
bool MayWriteIn(const std::string& folder) {
  const std::string probe = folder + "\\tolvane-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
  const HANDLE file = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

}  // namespace Os
