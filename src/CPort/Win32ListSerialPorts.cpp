#include <windows.h>

#include <algorithm>
#include <utility>

#include "CPort/EComPort.h"
#include "CPort/ListSerialPorts.h"
#include "CPort/Win32SerialComm.h"

namespace {

constexpr int RegistryError = 23;  // "Registry error"
// What the registry is asked with for each value: a name of 255 characters and its NUL, data
// of 256 bytes; anything longer fails with ERROR_MORE_DATA.
constexpr DWORD NameCapacity = 256;
constexpr DWORD DataCapacity = 256;

[[noreturn]] void RaiseRegistryError(LONG code) {
  throw EComPort::CreateFromSystemError(RegistryError, static_cast<int>(code));
}

// The root and the sub-key of a key named with its root.
std::pair<HKEY, std::string> SplitKey(const std::string& key) {
  static const std::pair<const char*, HKEY> Roots[] = {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                                       {"HKEY_CURRENT_USER", HKEY_CURRENT_USER}};
  const std::size_t separator = key.find('\\');
  const std::string root = key.substr(0, separator);
  for (const auto& [name, handle] : Roots)
    if (root == name)
      return {handle, separator == std::string::npos ? std::string() : key.substr(separator + 1)};
  RaiseRegistryError(ERROR_FILE_NOT_FOUND);
}

// Closed on every way out once opened.
struct TOpenKey {
  HKEY Key = nullptr;
  ~TOpenKey() {
    if (Key) ::RegCloseKey(Key);
  }
};

// Text order in the user's locale, letter case ignored: COM1, COM10, com2, COM3.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_LESS_THAN;
}

}  // namespace

std::vector<TSerialCommEntry> ReadSerialComm(const TSerialPortSources& sources) {
  const auto [root, subKey] = SplitKey(sources.RegistryKey);
  TOpenKey key;
  const LONG opened = ::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key.Key);
  if (opened != ERROR_SUCCESS) {
    key.Key = nullptr;
    RaiseRegistryError(opened);
  }
  std::vector<TSerialCommEntry> entries;
  for (DWORD index = 0;; ++index) {
    char name[NameCapacity];
    DWORD nameLength = NameCapacity;
    BYTE data[DataCapacity];
    DWORD dataLength = DataCapacity;
    DWORD type = 0;
    const LONG result = ::RegEnumValueA(key.Key, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) RaiseRegistryError(result);
    // The name up to its NUL; data written without one ends at its length.
    const char* text = reinterpret_cast<const char*>(data);
    entries.push_back({std::string(name, nameLength), std::string(text, std::find(text, text + dataLength, '\0'))});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const TSerialCommEntry& a, const TSerialCommEntry& b) {
    return LessIgnoringCase(a.Port, b.Port);
  });
  return entries;
}

TSerialPortSources TSerialPortSources::Machine() { return TSerialPortSources(); }

std::string TSerialPortSources::ListOrigin() const { return RegistryKey; }

void ListSerialPorts(std::vector<std::string>& target, const TSerialPortSources& sources) {
  std::vector<std::string> names;
  for (TSerialCommEntry& entry : ReadSerialComm(sources)) names.push_back(std::move(entry.Port));
  target = std::move(names);
}
