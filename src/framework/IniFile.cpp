#include "framework/IniFile.h"

#include <fstream>

#include "framework/Convert.h"
#include "framework/Exception.h"
#include "framework/Translate.h"

namespace {

// Section and key names compare without regard to the case of a-z, as such files always have.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Trim(const std::string& text) {
  auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool LineHasKey(const std::string& line, const std::string& key) {
  auto eq = line.find('=');
  return eq != std::string::npos && SameName(Trim(line.substr(0, eq)), key);
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  FSections.push_back({});
  std::ifstream in(FFileName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string trimmed = Trim(line);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']')
      FSections.push_back({trimmed.substr(1, trimmed.size() - 2), {}});
    else if (!trimmed.empty())
      FSections.back().Lines.push_back(line);
  }
}

const std::string* TIniFile::FindValueLine(const std::string& section, const std::string& key) const {
  for (std::size_t s = 1; s < FSections.size(); ++s) {
    if (!SameName(FSections[s].Name, section)) continue;
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
  return TryStrToInt(Trim(line->substr(line->find('=') + 1))).value_or(fallback);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  TSection* target = nullptr;
  for (std::size_t s = 1; s < FSections.size() && !target; ++s)
    if (SameName(FSections[s].Name, section)) target = &FSections[s];
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
