#include "image/ImageFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace Image {

namespace {

// "name:line: ", or without a name (a text that came from no file) "line N: ".
std::string Place(const std::string& name, std::size_t line) {
  if (name.empty()) return line ? "line " + std::to_string(line) + ": " : std::string();
  return name + ":" + (line ? std::to_string(line) + ":" : std::string()) + " ";
}

}  // namespace

std::size_t TImageFile::LineOf(std::uint32_t byteAddress) const {
  // A byte given twice was given the same value both times: the first line names it.
  for (const Hex::TRecordPlace& record : Records)
    if (byteAddress >= record.Address && byteAddress - record.Address < record.Length)
      return record.Line;
  return 0;
}

std::string TImageFile::Where(std::uint32_t wordAddress) const {
  std::size_t line = LineOf(wordAddress * 2);
  if (line == 0) line = LineOf(wordAddress * 2 + 1);
  return Place(Name, line);
}

TImageFile ParseImage(std::string_view text, const std::string& name) {
  TImageFile file;
  file.Name = name;
  try {
    file.Bytes = Hex::ReadHex(text, Hex::THexRules::Programmer, &file.Records);
  } catch (const Hex::EHexFormat& e) {
    throw Hex::EHexFormat(Place(name, e.Line()) + e.Detail());
  }
  return file;
}

TImageFile LoadImage(const std::string& path, std::string* text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!in) throw Hex::EHexFormat(path + ": cannot open: " + std::strerror(errno));
  std::string contents;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) contents.append(chunk, got);
  // A folder opens but does not read.
  if (std::ferror(in.get())) throw Hex::EHexFormat(path + ": cannot read: " + std::strerror(errno));
  TImageFile file = ParseImage(contents, path);
  if (text) *text = std::move(contents);
  return file;
}

}  // namespace Image
