#include "framework/TextBox.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "framework/Exception.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

bool EndsWithBreak(const std::string& text) {
  return text.size() >= 2 && text.compare(text.size() - 2, 2, CRLF) == 0;
}

// Every CR LF, lone CR and lone LF becomes CR LF; the text ends at the first NUL.
std::string NormaliseBreaks(std::string_view raw) {
  std::string text;
  text.reserve(raw.size() + raw.size() / 32);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\0') break;
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

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

void TTextBox::SetText(std::string_view text) {
  if (text == FText) return;
  FText.assign(text);
  FLinesValid = false;
  if (OnChange) OnChange();
}

void TTextBox::AppendText(std::string_view text) {
  if (text.empty()) return;
  FText.append(text);
  FLinesValid = false;
}

void TTextBox::Clear() {
  FText.clear();
  FLinesValid = false;
}

int TTextBox::Count() const {
  if (!FLinesValid) {
    FLineStarts.clear();
    if (!FText.empty()) {
      FLineStarts.push_back(0);
      for (std::size_t pos = FText.find(CRLF); pos != std::string::npos;
           pos = FText.find(CRLF, pos + 2)) {
        if (pos + 2 < FText.size()) FLineStarts.push_back(pos + 2);
      }
    }
    FLinesValid = true;
  }
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
    FText += CRLF;
    FText += line;
  } else {
    FText += line;
    FText += CRLF;
  }
  FLinesValid = false;
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
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Exception("Cannot open file \"" + path + "\". " + SystemReason());
  const std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw Exception("Cannot read file \"" + path + "\". " + SystemReason());
  SetText(NormaliseBreaks(raw));
}

void TTextBox::SaveToFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Exception("Cannot create file \"" + path + "\". " + SystemReason());
  out.write(FText.data(), static_cast<std::streamsize>(FText.size()));
  out.flush();
  if (!out) throw Exception("Cannot write file \"" + path + "\". " + SystemReason());
}
