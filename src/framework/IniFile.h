#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An INI-style settings file: "[Section]" lines and "Key=Value" lines under them. The whole
// file is read when the object is made and written back by UpdateFile; sections, keys and
// lines this program does not know are kept as they were.
class TIniFile {
public:
  explicit TIniFile(std::string fileName);  // a missing file reads as empty
  // The same reading of bytes already at hand; the result belongs to no file, so UpdateFile
  // fails.
  static TIniFile FromText(std::string_view text);

  const std::string& FileName() const { return FFileName; }

  bool ValueExists(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  int ReadInteger(const std::string& section, const std::string& key, int fallback) const;
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);

  // Raises Exception ("Cannot create file <name>") when the file cannot be written.
  void UpdateFile() const;

private:
  struct TSection {
    std::string Name;
    std::vector<std::string> Lines;  // as read or written, "Key=Value" or anything else
  };
  TIniFile() = default;
  void Parse(std::string_view text);
  const std::string* FindValueLine(const std::string& section, const std::string& key) const;

  std::string FFileName;
  std::vector<TSection> FSections;  // the first one, unnamed, holds lines before any section
};
