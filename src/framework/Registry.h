#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

// An open key of a settings registry: named values, each a text or a 32-bit number. This
// stands in for the system registry on platforms without one.
class TRegistryKey {
public:
  bool ValueExists(const std::string& name) const { return FValues.count(name) != 0; }
  void WriteString(const std::string& name, const std::string& value) { FValues[name] = value; }
  void WriteInteger(const std::string& name, int value) { FValues[name] = value; }
  // Empty when the value is missing or of the other kind.
  std::optional<std::string> ReadString(const std::string& name) const;
  std::optional<int> ReadInteger(const std::string& name) const;

private:
  std::map<std::string, std::variant<std::string, int>> FValues;
};
