#include "framework/IniFile.h"

#include <fstream>
#include <sstream>

#include "framework/Convert.h"
#include "framework/Exception.h"
#include "framework/Translate.h"

namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Section and key names compare without regard to the case of a-z, as such files always have.
bool LineHasKey(std::string_view line, const std::string& key) {
  const auto eq = line.find('=');
  return eq != std::string_view::npos && SameTextAscii(Trim(line.substr(0, eq)), key);
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  std::ifstream in(FFileName, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  Parse(text.view());
}

TIniFile TIniFile::FromText(std::string_view text) {
  TIniFile file;
  file.Parse(text);
  return file;
}

// Lines end at LF, a CR before it is dropped; blank lines go, anything else is kept as it was.
void TIniFile::Parse(std::string_view text) {
  FSections.assign(1, {});
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = Trim(line);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']')
      FSections.push_back({std::string(trimmed.substr(1, trimmed.size() - 2)), {}});
    else if (!trimmed.empty())
      FSections.back().Lines.emplace_back(line);
  }
}

const std::string* TIniFile::FindValueLine(const std::string& section, const std::string& key) const {
  for (std::size_t s = 1; s < FSections.size(); ++s) {
    if (!SameTextAscii(FSections[s].Name, section)) continue;
    for (const std::string& line : FSections[s].Lines)
      if (LineHasKey(line, key)) return &line;
  }
  return nullptr;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return FindValueLine(section, key) != nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
  const std::string* line = FindValueLine(section, key);
  return line ? line->substr(line->find('=') + 1) : fallback;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int fallback) const {
  const std::string* line = FindValueLine(section, key);
  if (!line) return fallback;
  return TryStrToInt(Trim(std::string_view(*line).substr(line->find('=') + 1))).value_or(fallback);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  TSection* target = nullptr;
  for (std::size_t s = 1; s < FSections.size() && !target; ++s)
    if (SameTextAscii(FSections[s].Name, section)) target = &FSections[s];
  if (!target) target = &FSections.emplace_back(TSection{section, {}});
  for (std::string& line : target->Lines) {
    if (LineHasKey(line, key)) {
      line = key + "=" + value;
      return;
    }
  }
  target->Lines.push_back(key + "=" + value);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::UpdateFile() const {
  std::ofstream out(FFileName, std::ios::binary | std::ios::trunc);
  for (std::size_t s = 0; s < FSections.size(); ++s) {
    if (s > 0) out << '[' << FSections[s].Name << "]\r\n";
    for (const std::string& line : FSections[s].Lines) out << line << "\r\n";
  }
  out.flush();
  if (!out) throw Exception(TranslateFormat("Cannot create file %s", {FFileName}));
}
