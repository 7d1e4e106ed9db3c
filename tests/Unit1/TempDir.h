#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A folder under /tmp that is removed with everything in it when the test is done.
class TTempDir {
public:
  TTempDir() {
    char name[] = "/tmp/tolvane-window-XXXXXX";
    if (char* made = ::mkdtemp(name)) FPath = made;
  }
  ~TTempDir() {
    std::error_code ignored;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

private:
  std::string FPath;
};
