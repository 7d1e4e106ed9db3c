#pragma once
#include <filesystem>
#include <random>
#include <string>

// A new, empty folder of the test's own in the system's temporary folder: prefix-<number>.
inline std::string MakeTempFolder(const std::string& prefix) {
  std::random_device random;
  for (;;) {
    const auto path = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random()));
    if (std::filesystem::create_directory(path)) return path.string();
  }
}
