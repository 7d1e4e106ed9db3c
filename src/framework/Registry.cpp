#include "framework/Registry.h"

std::optional<std::string> TRegistryKey::ReadString(const std::string& name) const {
  auto it = FValues.find(name);
  if (it == FValues.end() || !std::holds_alternative<std::string>(it->second)) return std::nullopt;
  return std::get<std::string>(it->second);
}

std::optional<int> TRegistryKey::ReadInteger(const std::string& name) const {
  auto it = FValues.find(name);
  if (it == FValues.end() || !std::holds_alternative<int>(it->second)) return std::nullopt;
  return std::get<int>(it->second);
}
