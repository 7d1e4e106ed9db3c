#include "framework/TextBox.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "framework/Exception.h"
#include "framework/Translate.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

bool EndsWithBreak(std::string_view text) { return text.ends_with(CRLF); }

// Every CR LF, lone CR and lone LF becomes CR LF; the text ends at the first NUL.
std::string NormaliseBreaks(std::string_view raw) {
  raw = raw.substr(0, raw.find('\0'));
  std::string text;
  text.reserve(raw.size() + raw.size() / 32);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\r') {
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
      text += CRLF;
    } else if (c == '\n') {
      text += CRLF;
    } else {
      text += c;
    }
  }
  return text;
}

// The framework's file error: the text names the file and the system's reason.
Exception FileError(std::string_view format, const std::string& path) {
  const std::string reason = std::strerror(errno);
  return Exception(TranslateFormat(format, {path, reason}));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void TTextBox::SetText(std::string_view text) {
  if (text == FText) return;
  FText.assign(text);
  FLinesValid = false;
  if (OnChange) OnChange();
}

void TTextBox::Clear() {
  FText.clear();
  FLineStarts.clear();
  FLinesValid = true;
}

void TTextBox::Append(std::string_view text) {
  if (text.empty()) return;
  const std::size_t oldSize = FText.size();
  FText.append(text);
  if (FLinesValid) IndexFrom(oldSize);
}

void TTextBox::IndexFrom(std::size_t oldSize) const {
  if (oldSize == 0) {
    FLineStarts.clear();
    if (!FText.empty()) FLineStarts.push_back(0);
  }
  // A break may straddle the old end (CR before, LF after), and a break that closed the old
  // text starts a line once something follows it: both lie within the last two old bytes.
  std::size_t from = oldSize >= 2 ? oldSize - 2 : 0;
  for (std::size_t pos = FText.find(CRLF, from); pos != std::string::npos;
       pos = FText.find(CRLF, pos + 2)) {
    if (pos + 2 < FText.size() && pos + 2 > oldSize) FLineStarts.push_back(pos + 2);
    // A break ending exactly at the old end was not counted then: count it now.
    else if (pos + 2 == oldSize && oldSize < FText.size()) FLineStarts.push_back(oldSize);
  }
  FLinesValid = true;
}

int TTextBox::Count() const {
  if (!FLinesValid) IndexFrom(0);
  return static_cast<int>(FLineStarts.size());
}

std::string TTextBox::Line(int index) const {
  if (index < 0 || index >= Count()) return {};
  const std::size_t start = FLineStarts[index];
  std::size_t end = FText.find(CRLF, start);
  if (end == std::string::npos) end = FText.size();
  const std::size_t length = std::min<std::size_t>(end - start, MaxLineLength);
  return FText.substr(start, length);
}

void TTextBox::Add(std::string_view line) {
  // A box whose text does not end in a break gets one before the new line.
  if (!FText.empty() && !EndsWithBreak(FText)) {
    Append(CRLF);
    Append(line);
  } else {
    Append(line);
    Append(CRLF);
  }
  if (OnChange) OnChange();
}

void TTextBox::SetLine(int index, std::string_view line) {
  if (FText.empty()) {
    if (index == 0) SetText(line);
    return;
  }
  if (index < 0 || index >= Count()) return;
  const std::size_t start = FLineStarts[index];
  std::size_t end = FText.find(CRLF, start);
  if (end == std::string::npos) end = FText.size();
  std::string text = FText;
  text.replace(start, end - start, line);
  SetText(text);
}

void TTextBox::LoadFromFile(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) throw FileError("Cannot open file \"%s\". %s", path);
  std::string raw;
  char chunk[65536];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    raw.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  // A directory opens but cannot be read; neither can a file on a failing disk.
  if (std::ferror(file.get()))
    throw FileError("Cannot read file \"%s\". %s", path);
  LoadFromText(raw);
}

void TTextBox::LoadFromText(std::string_view raw) { SetText(NormaliseBreaks(raw)); }

void TTextBox::SaveToFile(const std::string& path) const {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) throw FileError("Cannot create file \"%s\". %s", path);
  const bool written = std::fwrite(FText.data(), 1, FText.size(), file.get()) == FText.size();
  // Closing flushes; a full disk may only show up there.
  if (!written || std::fclose(file.release()) != 0)
    throw FileError("Cannot write file \"%s\". %s", path);
}
